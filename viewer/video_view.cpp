#include "viewer/video_view.h"

#include <QMetaObject>
#include <QPainter>

#include <cstring>

namespace locket {

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

void CVideoView::Draw(const unsigned char* bgr, int width, int height, int stride) {
    if (!bgr || width <= 0 || height <= 0 || stride < width * 3)
        return;
    // The painter may still share the spare picture: then it gets a buffer of its own, so a
    // picture being painted is never written.
    if (m_back.width() != width || m_back.height() != height || !m_back.isDetached())
        m_back = QImage(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        std::memcpy(m_back.scanLine(y), bgr + static_cast<size_t>(y) * stride,
                    static_cast<size_t>(width) * 3);
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
