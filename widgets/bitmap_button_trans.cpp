#include "widgets/bitmap_button_trans.h"

#include <QPainter>

namespace locket {

// No background fill of its own: the parent shows through the keyed pixels.
CBitmapButtonTrans::CBitmapButtonTrans(QWidget* parent) : QAbstractButton(parent) {}

bool CBitmapButtonTrans::LoadBitmaps(int normalId, int selectedId, int focusId, int disabledId) {
    auto load = [](int id) { return id ? LoadSkinImage(id) : QImage(); };
    SetBitmaps(load(normalId), load(selectedId), load(focusId), load(disabledId));
    return !m_images[kNormal].isNull();
}

void CBitmapButtonTrans::SetBitmaps(const QImage& normal, const QImage& selected,
                                    const QImage& focus, const QImage& disabled) {
    m_images[kNormal] = normal;
    m_images[kSelected] = selected;
    m_images[kFocus] = focus;
    m_images[kDisabled] = disabled;
    RebuildKeyed();
    updateGeometry();
    update();
}

void CBitmapButtonTrans::SizeToContent() {
    if (!m_images[kNormal].isNull())
        resize(m_images[kNormal].size());
}

void CBitmapButtonTrans::SetTransColor(std::uint32_t colorRef) {
    if (colorRef == m_transColor)
        return;
    m_transColor = colorRef;
    RebuildKeyed();
    update();
}

QSize CBitmapButtonTrans::sizeHint() const {
    return m_images[kNormal].isNull() ? QSize(0, 0) : m_images[kNormal].size();
}

CBitmapButtonTrans::State CBitmapButtonTrans::ChooseState() const {
    if (isDown() && !m_images[kSelected].isNull())
        return kSelected;
    if (hasFocus() && !m_images[kFocus].isNull())
        return kFocus;
    if (!isEnabled() && !m_images[kDisabled].isNull())
        return kDisabled;
    return kNormal;
}

void CBitmapButtonTrans::RebuildKeyed() {
    const QRgb key = RgbFromColorRef(m_transColor);
    for (int i = 0; i < kStateCount; ++i)
        m_keyed[i] = m_images[i].isNull() ? QImage() : ApplyColorKey(m_images[i], key);
}

void CBitmapButtonTrans::paintEvent(QPaintEvent*) {
    const QImage& image = m_keyed[ChooseState()];
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image);
}

}  // namespace locket
