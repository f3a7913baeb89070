#include "viewer/video_view.h"

#include <QMetaObject>
#include <QPainter>

namespace locket {

// Format_RGB32 is 0xFFRRGGBB in a native word: blue, green, red, 255 in memory only here.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the pictures are scaled as BGRX bytes");

CVideoView::CVideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CVideoView::Place(int x, int y, int w, int h) {
    m_width.store(w);
    m_height.store(h);
    setGeometry(x, y, w, h);
}

WindowSize CVideoView::GetSize() const {
    return {m_width.load(), m_height.load()};
}

void CVideoView::setVisible(bool visible) {
    m_shown.store(visible);
    QWidget::setVisible(visible);
}

PictureBuffer CVideoView::BeginPicture(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    // The painter may still share the spare picture: then it gets a buffer of its own, so a
    // picture being painted is never written.
    if (m_back.width() != width || m_back.height() != height || !m_back.isDetached())
        m_back = QImage(width, height, QImage::Format_RGB32);
    if (m_back.isNull())
        return {};
    return {m_back.bits(), static_cast<int>(m_back.bytesPerLine()), PixelLayout::kBgrx32};
}

void CVideoView::EndPicture(bool written) {
    if (!written)
        return;
    {
        std::lock_guard lock(m_lock);
        m_front.swap(m_back);
    }
    m_drawCount.fetch_add(1);
    if (!m_updatePending.exchange(true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_updatePending.store(false);
                update();
            },
            Qt::QueuedConnection);
}

QImage CVideoView::Picture() const {
    std::lock_guard lock(m_lock);
    return m_front;
}

void CVideoView::paintEvent(QPaintEvent*) {
    const QImage picture = Picture();
    QPainter painter(this);
    if (picture.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (picture.size() == size())
        painter.drawImage(0, 0, picture);
    else
        painter.drawImage(rect(), picture);
}

}  // namespace locket
