// A push, check or radio button drawn from per-state skins, optionally shaped by a mask.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QRegion>

#include <cstdint>

namespace locket {

class CxSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Kind { kPushButton = 0, kCheckBox = 2, kRadioButton = 4 };
    enum DrawMode { kDrawNormal = 0, kDrawStretch = 1, kDrawTile = 2 };

    explicit CxSkinButton(Kind kind = kPushButton, QWidget* parent = nullptr);

    // Skin image ids, 0 for none (a missing disabled image falls back to the normal one).
    // The mask's black pixels make the button's shape; in kDrawNormal the button then takes
    // the mask's size. False when the normal image does not load.
    bool SetSkin(int normalId, int downId = 0, int overId = 0, int disabledId = 0, int focusId = 0,
                 int maskId = 0, int drawMode = kDrawStretch, int border = 0, int margin = 0);
    // The same with images at hand; null images for none.
    bool SetSkinImages(const QImage& normal, const QImage& down = {}, const QImage& over = {},
                       const QImage& disabled = {}, const QImage& focus = {},
                       const QImage& mask = {}, int drawMode = kDrawStretch, int border = 0,
                       int margin = 0);

    void SetTextColor(std::uint32_t colorRef);
    void SetToolTipText(const QString& text) { setToolTip(text); }

    // BM_SETCHECK / BM_GETCHECK. A push button stays unchecked; a radio button that becomes
    // checked posts WM_SKIN_UNCHECK to the other buttons of its group.
    void SetCheck(bool checked);
    bool GetCheck() const { return m_checked; }

    // Buttons with the same parent and the same group number form a radio group.
    void SetGroup(int group) { m_group = group; }
    int GetGroup() const { return m_group; }

    Kind GetKind() const { return m_kind; }
    int GetDrawMode() const { return m_drawMode; }
    bool IsOver() const { return m_over; }
    bool IsHeld() const { return m_down; }
    const QRegion& GetRegion() const { return m_region; }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void Click();
    const QImage& ChooseImage() const;
    QImage Compose(const QImage& image) const;
    void ApplyRegion();

    Kind m_kind;
    int m_group = 0;
    bool m_checked = false;
    bool m_over = false;
    bool m_down = false;
    QImage m_normal, m_downImage, m_overImage, m_disabled, m_focus, m_mask;
    QRegion m_region;
    int m_drawMode = kDrawStretch;
    int m_border = 0;
    int m_margin = 0;
    QColor m_textColor;
};

}  // namespace locket
