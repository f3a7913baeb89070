#include "widgets/trans_bitmap.h"

#include <QPainter>

#include "widgets/skin_images.h"

namespace locket {

TransBitmap::TransBitmap(QWidget* parent) : QWidget(parent) {}

void TransBitmap::SetBitmap(const QImage& image) {
    m_image = image;
    m_keyed = image.isNull() ? QImage() : ApplyColorKey(image, RgbFromColorRef(m_transColor));
    updateGeometry();
    update();
}

bool TransBitmap::SetBitmapId(int id) {
    SetBitmap(LoadSkinImage(id));
    return !m_image.isNull();
}

void TransBitmap::SetTransColor(std::uint32_t colorRef) {
    m_transColor = colorRef;
    SetBitmap(m_image);
}

QSize TransBitmap::sizeHint() const {
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

void TransBitmap::paintEvent(QPaintEvent*) {
    if (m_keyed.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_keyed);
}

}  // namespace locket
