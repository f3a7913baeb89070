// A seek, volume or brightness slider drawn from a channel and a thumb skin image; it posts
// WM_BITMAPSLIDER_MOVING / WM_BITMAPSLIDER_MOVED to its parent.
#pragma once

#include <QEvent>
#include <QImage>
#include <QMargins>
#include <QWidget>

#include <cstdint>

namespace locket {

class CBitmapSlider : public QWidget {
    Q_OBJECT
public:
    explicit CBitmapSlider(int controlId = 0, QWidget* parent = nullptr);

    // Channel and optional active channel (id 0 for none). With transparent set, the key colour
    // (0x00BBGGRR, or kKeyFromPixel for the colour of pixel (x, y)) is cut out of both images.
    // The slider takes the channel's size. False when the channel does not load.
    bool SetBitmapChannel(int channelId, int activeId = 0, bool transparent = false,
                          std::uint32_t transColor = 0, int x = 0, int y = 0);
    bool SetBitmapThumb(int thumbId, int activeId = 0, bool transparent = false,
                        std::uint32_t transColor = 0, int x = 0, int y = 0);
    // The same with images at hand.
    bool SetChannelImages(const QImage& channel, const QImage& active = {},
                          bool transparent = false, std::uint32_t transColor = 0, int x = 0,
                          int y = 0);
    bool SetThumbImages(const QImage& thumb, const QImage& active = {}, bool transparent = false,
                        std::uint32_t transColor = 0, int x = 0, int y = 0);

    void SetRange(int min, int max, bool redraw = false);
    void SetRangeMin(int min, bool redraw = false) { SetRange(min, m_max, redraw); }
    void SetRangeMax(int max, bool redraw = false) { SetRange(m_min, max, redraw); }
    int GetRangeMin() const { return m_min; }
    int GetRangeMax() const { return m_max; }
    // Clamps to the range.
    void SetPos(int pos);
    int GetPos() const { return m_pos; }
    void SetPageSize(int page) { m_page = page; }
    int GetPageSize() const { return m_page; }
    void SetMargin(int left, int top, int right, int bottom);
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_vertical; }
    void DrawFocusRect(bool draw = true, bool redraw = false);
    void Enable(bool enable = true);
    bool IsSliderEnabled() const { return m_enabled; }
    bool IsDragging() const { return m_dragging; }
    int GetControlId() const { return m_controlId; }

    // Centre pixel of the thumb along the slider for a position, and the position a thumb
    // centre pixel stands for (both truncated); the axis is x, or y when vertical.
    int PixelFromPos(int pos) const;
    int PosFromPixel(int pixel) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Keyed {
        QImage plain;
        QImage active;
    };
    static Keyed MakeKeyed(const QImage& plain, const QImage& active, bool transparent,
                           std::uint32_t transColor, int x, int y);

    int ThumbLength() const;  // along the axis
    int LengthAlongAxis() const;
    int MarginBefore() const { return m_vertical ? m_margins.top() : m_margins.left(); }
    int MarginAfter() const { return m_vertical ? m_margins.bottom() : m_margins.right(); }
    int Track() const;
    void DragTo(int pressPixel);
    void Post(QEvent::Type type);

    int m_controlId;
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
    int m_page = 20;
    bool m_vertical = false;
    QMargins m_margins;
    Keyed m_channel;
    Keyed m_thumb;
    bool m_dragging = false;
    int m_mouseOffset = 0;
    bool m_drawFocusRect = true;
    bool m_enabled = true;
};

}  // namespace locket
