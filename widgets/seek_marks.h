// Marks drawn over the seek bar: a tick at each knock and a band between the clip's start and
// end marks. A child of the bar that lets every mouse event through to it.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace locket {

class CBitmapSlider;

class CSeekMarks : public QWidget {
    Q_OBJECT
public:
    // Skin colours: the event category's red for knocks, the bar's active orange for the band.
    static constexpr QRgb kKnockColour = 0xffff453a;
    static constexpr QRgb kBandColour = 0x70ff8a63;
    // A press this close to a tick (pixels along the bar) means the tick.
    static constexpr int kTickReach = 4;

    // The bar's position unit is the second; the marks are in ms.
    explicit CSeekMarks(CBitmapSlider* bar);

    void SetKnocks(const std::vector<uint32_t>& knocksMs);
    const std::vector<uint32_t>& Knocks() const { return m_knocks; }
    // -1 for an end without a mark.
    void SetBand(int64_t fromMs, int64_t toMs);

    // The bar's pixel (along it) of a time, between whole seconds as well.
    double PixelOf(int64_t ms) const;
    // The knock whose tick is within reach of pixel `x`; -1 when none.
    int KnockNear(int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CBitmapSlider* m_bar;
    std::vector<uint32_t> m_knocks;
    int64_t m_bandFrom = -1;
    int64_t m_bandTo = -1;
};

}  // namespace locket
