#include "widgets/skin_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "widgets/skin_images.h"
#include "widgets/window_messages.h"

namespace locket {

CxSkinButton::CxSkinButton(Kind kind, QWidget* parent)
    : QAbstractButton(parent), m_kind(kind), m_textColor(palette().color(QPalette::ButtonText)) {
    // The over state needs moves without a button held.
    setMouseTracking(true);
}

bool CxSkinButton::SetSkin(int normalId, int downId, int overId, int disabledId, int focusId,
                           int maskId, int drawMode, int border, int margin) {
    auto load = [](int id) { return id ? LoadSkinImage(id) : QImage(); };
    return SetSkinImages(load(normalId), load(downId), load(overId), load(disabledId),
                         load(focusId), load(maskId), drawMode, border, margin);
}

bool CxSkinButton::SetSkinImages(const QImage& normal, const QImage& down, const QImage& over,
                                 const QImage& disabled, const QImage& focus, const QImage& mask,
                                 int drawMode, int border, int margin) {
    m_normal = normal;
    m_downImage = down;
    m_overImage = over;
    m_disabled = disabled.isNull() ? normal : disabled;
    m_focus = focus;
    m_drawMode = std::clamp(drawMode, int(kDrawNormal), int(kDrawTile));
    m_border = std::max(border, 0);
    m_margin = std::max(margin, 0);

    m_mask = QImage();
    if (!mask.isNull()) {
        if (RegionFromMask(mask).isEmpty())
            printf("[CxSkinButton] mask without a black pixel ignored\n");
        else
            m_mask = mask.convertToFormat(QImage::Format_RGB32);
    }
    if (!m_mask.isNull() && m_drawMode == kDrawNormal)
        resize(m_mask.size());
    ApplyRegion();
    updateGeometry();
    update();
    return !m_normal.isNull();
}

void CxSkinButton::SetTextColor(std::uint32_t colorRef) {
    m_textColor = QColor(RgbFromColorRef(colorRef));
    update();
}

void CxSkinButton::SetCheck(bool checked) {
    m_checked = checked && m_kind != kPushButton;
    if (m_kind == kRadioButton && m_checked && parentWidget()) {
        const auto siblings =
            parentWidget()->findChildren<CxSkinButton*>(QString(), Qt::FindDirectChildrenOnly);
        for (CxSkinButton* other : siblings) {
            if (other != this && other->m_group == m_group)
                PostWindowMessage(other, WM_SKIN_UNCHECK);
        }
    }
    update();
}

QSize CxSkinButton::sizeHint() const {
    if (!m_mask.isNull() && m_drawMode == kDrawNormal)
        return m_mask.size();
    return m_normal.isNull() ? QSize(0, 0) : m_normal.size();
}

// The window shape: the mask's black pixels, stretched with the picture in kDrawStretch.
void CxSkinButton::ApplyRegion() {
    if (m_mask.isNull()) {
        m_region = QRegion();
        clearMask();
        return;
    }
    m_region =
        m_drawMode == kDrawStretch && !size().isEmpty()
            ? RegionFromMask(m_mask.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation))
            : RegionFromMask(m_mask);
    setMask(m_region);
}

void CxSkinButton::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    if (!m_mask.isNull() && m_drawMode == kDrawStretch)
        ApplyRegion();
}

bool CxSkinButton::event(QEvent* event) {
    if (event->type() == WM_SKIN_UNCHECK) {
        m_checked = false;
        update();
        return true;
    }
    return QAbstractButton::event(event);
}

bool CxSkinButton::hitButton(const QPoint& pos) const {
    return m_region.isEmpty() ? rect().contains(pos) : m_region.contains(pos);
}

void CxSkinButton::Click() {
    if (m_kind == kCheckBox)
        SetCheck(!m_checked);
    else if (m_kind == kRadioButton)
        SetCheck(true);
}

void CxSkinButton::leaveEvent(QEvent* event) {
    m_over = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CxSkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_over = false;
        QAbstractButton::mousePressEvent(event);
        m_down = isDown();
        return;
    }
    QAbstractButton::mousePressEvent(event);
}

void CxSkinButton::mouseMoveEvent(QMouseEvent* event) {
    if (m_down && (event->buttons() & Qt::LeftButton)) {
        // The base class lets the pushed look follow the cursor while the button is held.
        QAbstractButton::mouseMoveEvent(event);
        update();
        return;
    }
    if (!m_over) {
        m_over = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CxSkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_down) {
        if (m_kind != kPushButton && hitButton(event->position().toPoint()))
            Click();
        m_down = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CxSkinButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && isDown() &&
        m_kind != kPushButton)
        Click();
    QAbstractButton::keyReleaseEvent(event);
}

void CxSkinButton::focusOutEvent(QFocusEvent* event) {
    if (m_down) {
        m_down = false;
        setDown(false);
    }
    QAbstractButton::focusOutEvent(event);
}

const QImage& CxSkinButton::ChooseImage() const {
    if (!isEnabled())
        return m_disabled;
    if ((isDown() || m_checked) && !m_downImage.isNull())
        return m_downImage;
    if (m_over && !m_overImage.isNull())
        return m_overImage;
    if (hasFocus() && !m_focus.isNull())
        return m_focus;
    return m_normal;
}

// The chosen image as it covers the client area, the masked-out pixels transparent.
QImage CxSkinButton::Compose(const QImage& image) const {
    if (m_drawMode == kDrawStretch) {
        const QImage stretched =
            image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (m_mask.isNull())
            return stretched;
        return ApplyMask(stretched,
                         m_mask.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
    return m_mask.isNull() ? image : ApplyMask(image, m_mask);
}

void CxSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& image = ChooseImage();
    if (!image.isNull() && !size().isEmpty()) {
        if (m_drawMode == kDrawTile)
            painter.drawTiledPixmap(rect(), QPixmap::fromImage(image));
        else
            painter.drawImage(QPoint(0, 0), Compose(image));
    }
    if (m_border > 0 && hasFocus() && m_focus.isNull()) {
        QPen pen(m_textColor, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.drawRect(rect().adjusted(m_border, m_border, -m_border - 1, -m_border - 1));
    }
    if (!text().isEmpty()) {
        painter.setPen(m_textColor);
        painter.drawText(rect().adjusted(m_margin, m_margin, -m_margin, -m_margin),
                         Qt::AlignCenter | Qt::TextWordWrap, text());
    }
}

}  // namespace locket
