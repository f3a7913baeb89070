#include "widgets/bitmap_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include "widgets/skin_images.h"
#include "widgets/window_messages.h"

namespace locket {

CBitmapSlider::CBitmapSlider(int controlId, QWidget* parent)
    : QWidget(parent), m_controlId(controlId) {
    setFocusPolicy(Qt::StrongFocus);
}

CBitmapSlider::Keyed CBitmapSlider::MakeKeyed(const QImage& plain, const QImage& active,
                                              bool transparent, std::uint32_t transColor, int x,
                                              int y) {
    Keyed keyed;
    auto prepare = [&](const QImage& image) {
        if (image.isNull() || !transparent)
            return image.convertToFormat(QImage::Format_ARGB32);
        return ApplyColorKey(image, ResolveColorKey(image, transColor, x, y));
    };
    keyed.plain = prepare(plain);
    keyed.active = prepare(active);
    return keyed;
}

bool CBitmapSlider::SetBitmapChannel(int channelId, int activeId, bool transparent,
                                     std::uint32_t transColor, int x, int y) {
    return SetChannelImages(LoadSkinImage(channelId), activeId ? LoadSkinImage(activeId) : QImage(),
                            transparent, transColor, x, y);
}

bool CBitmapSlider::SetBitmapThumb(int thumbId, int activeId, bool transparent,
                                   std::uint32_t transColor, int x, int y) {
    return SetThumbImages(LoadSkinImage(thumbId), activeId ? LoadSkinImage(activeId) : QImage(),
                          transparent, transColor, x, y);
}

bool CBitmapSlider::SetChannelImages(const QImage& channel, const QImage& active, bool transparent,
                                     std::uint32_t transColor, int x, int y) {
    m_channel = MakeKeyed(channel, active, transparent, transColor, x, y);
    if (!m_channel.plain.isNull())
        resize(m_channel.plain.size());
    updateGeometry();
    update();
    return !m_channel.plain.isNull();
}

bool CBitmapSlider::SetThumbImages(const QImage& thumb, const QImage& active, bool transparent,
                                   std::uint32_t transColor, int x, int y) {
    m_thumb = MakeKeyed(thumb, active, transparent, transColor, x, y);
    update();
    return !m_thumb.plain.isNull();
}

void CBitmapSlider::SetRange(int min, int max, bool redraw) {
    m_min = std::min(min, max);
    m_max = std::max(min, max);
    m_pos = std::clamp(m_pos, m_min, m_max);
    if (redraw)
        update();
}

void CBitmapSlider::SetPos(int pos) {
    pos = std::clamp(pos, m_min, m_max);
    if (pos == m_pos)
        return;
    m_pos = pos;
    update();
}

void CBitmapSlider::SetMargin(int left, int top, int right, int bottom) {
    m_margins = QMargins(left, top, right, bottom);
    update();
}

void CBitmapSlider::SetVertical(bool vertical) {
    m_vertical = vertical;
    update();
}

void CBitmapSlider::DrawFocusRect(bool draw, bool redraw) {
    m_drawFocusRect = draw;
    if (redraw)
        update();
}

void CBitmapSlider::Enable(bool enable) {
    m_enabled = enable;
    update();
}

int CBitmapSlider::ThumbLength() const {
    if (m_thumb.plain.isNull())
        return 0;
    return m_vertical ? m_thumb.plain.height() : m_thumb.plain.width();
}

int CBitmapSlider::LengthAlongAxis() const {
    return m_vertical ? height() : width();
}

// Pixels the thumb centre can travel; never negative, so a slider too small for its thumb
// keeps the thumb at the start.
int CBitmapSlider::Track() const {
    return std::max(0, LengthAlongAxis() - MarginBefore() - MarginAfter() - ThumbLength());
}

int CBitmapSlider::PixelFromPos(int pos) const {
    const int start = ThumbLength() / 2 + MarginBefore();
    const long long range = static_cast<long long>(m_max) - m_min;
    if (range <= 0)
        return start;
    const long long offset = static_cast<long long>(std::clamp(pos, m_min, m_max)) - m_min;
    return start + static_cast<int>(offset * Track() / range);
}

int CBitmapSlider::PosFromPixel(int pixel) const {
    const long long range = static_cast<long long>(m_max) - m_min;
    const int track = Track();
    if (range <= 0 || track <= 0)
        return m_min;
    const long long along =
        std::clamp<long long>(pixel - ThumbLength() / 2 - MarginBefore(), 0, track);
    return m_min + static_cast<int>(along * range / track);
}

QSize CBitmapSlider::sizeHint() const {
    return m_channel.plain.isNull() ? QSize(0, 0) : m_channel.plain.size();
}

void CBitmapSlider::Post(QEvent::Type type) {
    PostWindowMessage(parentWidget(), type, m_controlId, m_pos);
}

void CBitmapSlider::DragTo(int pressPixel) {
    const int first = MarginBefore() + ThumbLength() / 2;
    const int last = std::max(first, LengthAlongAxis() - MarginAfter() - ThumbLength() / 2);
    const int pixel = std::clamp(pressPixel - m_mouseOffset, first, last);
    if (pixel == PixelFromPos(m_pos))
        return;
    const int pos = std::clamp(PosFromPixel(pixel), m_min, m_max);
    // Truncation maps several pixels to one position: only real changes are reported.
    if (pos == m_pos)
        return;
    SetPos(pos);
    Post(WM_BITMAPSLIDER_MOVING);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (!m_enabled || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const QPoint at = event->position().toPoint();
    const int press = m_vertical ? at.y() : at.x();
    const int centre = PixelFromPos(m_pos);
    m_mouseOffset = std::abs(press - centre) <= ThumbLength() / 2 ? press - centre : 0;
    DragTo(press);
    update();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    DragTo(m_vertical ? at.y() : at.x());
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_enabled || !m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    update();
    Post(WM_BITMAPSLIDER_MOVED);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
    if (!m_enabled) {
        QWidget::keyPressEvent(event);
        return;
    }
    int pos = m_pos;
    switch (event->key()) {
        case Qt::Key_PageUp:
            pos -= m_page;
            break;
        case Qt::Key_PageDown:
            pos += m_page;
            break;
        case Qt::Key_End:
            pos = m_max;
            break;
        case Qt::Key_Home:
            pos = m_min;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            pos -= 1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            pos += 1;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    SetPos(pos);
    Post(WM_BITMAPSLIDER_MOVED);
    event->accept();
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int centre = PixelFromPos(m_pos);
    if (!m_channel.plain.isNull()) {
        if (!m_channel.active.isNull() && m_enabled) {
            // The stretch from the minimum end to the thumb centre shows the active channel.
            const QRect done =
                m_vertical ? QRect(0, 0, width(), centre) : QRect(0, 0, centre, height());
            const QRect rest = m_vertical ? QRect(0, centre, width(), height() - centre)
                                          : QRect(centre, 0, width() - centre, height());
            painter.save();
            painter.setClipRect(done);
            painter.drawImage(QPoint(0, 0), m_channel.active);
            painter.setClipRect(rest);
            painter.drawImage(QPoint(0, 0), m_channel.plain);
            painter.restore();
        } else {
            painter.drawImage(QPoint(0, 0), m_channel.plain);
        }
    }
    if (!m_thumb.plain.isNull()) {
        const QImage& thumb =
            m_dragging && !m_thumb.active.isNull() ? m_thumb.active : m_thumb.plain;
        QPoint at;
        if (m_vertical) {
            const int free = width() - m_margins.left() - m_margins.right() - thumb.width();
            at = QPoint(m_margins.left() + free / 2, centre - ThumbLength() / 2);
        } else {
            const int free = height() - m_margins.top() - m_margins.bottom() - thumb.height();
            at = QPoint(centre - ThumbLength() / 2, m_margins.top() + free / 2);
        }
        painter.drawImage(at, thumb);
    }
    if (hasFocus() && m_drawFocusRect) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

}  // namespace locket
