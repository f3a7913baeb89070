// The magnifier: a small window that shows the screen around the cursor twice as large,
// refreshed every 80 ms, with its own place on the screen painted grey so it never shows itself.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>

namespace locket {

class CZoomDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMagnifyFactor = 2;
    static constexpr int kTimerMs = 80;

    CZoomDlg(int langId, QWidget* owner);

    // Top-left of the source rectangle of `source` size around `cursor`, kept inside a screen
    // of `screen` size (coordinates relative to that screen).
    static QPoint SourceOrigin(QPoint cursor, QSize screen, QSize source);

    // One refresh: grabs the source and repaints. False when the screen cannot be read.
    bool Magnify();
    bool Unavailable() const { return m_unavailable; }
    const QPixmap& Source() const { return m_source; }
    bool IsTimerRunning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QTimer m_timer;
    QPixmap m_source;
    QString m_unavailableText;
    bool m_unavailable = false;
};

}  // namespace locket
