// A push button drawn from per-state skin images, with one colour keyed out as transparent.
#pragma once

#include <QAbstractButton>
#include <QImage>

#include <cstdint>

#include "widgets/skin_images.h"

namespace locket {

class CBitmapButtonTrans : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButtonTrans(QWidget* parent = nullptr);

    // Skin image ids for the normal, selected (pressed), focused and disabled states; 0 for
    // none. False when the normal image does not load (the button then draws nothing).
    bool LoadBitmaps(int normalId, int selectedId = 0, int focusId = 0, int disabledId = 0);
    // The same with images at hand.
    void SetBitmaps(const QImage& normal, const QImage& selected = {}, const QImage& focus = {},
                    const QImage& disabled = {});
    // Resizes the button to its normal image.
    void SizeToContent();

    void SetTransColor(std::uint32_t colorRef);
    std::uint32_t GetTransColor() const { return m_transColor; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum State { kNormal, kSelected, kFocus, kDisabled, kStateCount };

    State ChooseState() const;
    void RebuildKeyed();

    QImage m_images[kStateCount];
    QImage m_keyed[kStateCount];  // m_images with m_transColor cut out
    std::uint32_t m_transColor = kMagentaKey;
};

}  // namespace locket
