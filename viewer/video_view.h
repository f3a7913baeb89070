// The target of one video channel: the player draws into it from its own thread, the window
// paints the newest complete picture.
#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "platform/video_window.h"

namespace locket {

class CVideoView : public QWidget, public VVideoWindow {
    Q_OBJECT
public:
    explicit CVideoView(QWidget* parent = nullptr);

    // Moves and sizes the view; the size the player sees changes at once, not at the next
    // resize event (a hidden widget gets those late).
    void Place(int x, int y, int w, int h);

    WindowSize GetSize() const override;
    bool IsShown() const override { return m_shown.load(); }
    // The decoder scales into the 32-bit picture the paint draws as it is.
    PictureBuffer BeginPicture(int width, int height) override;
    void EndPicture(bool written) override;

    // Keeps the shown state where the player thread may read it.
    void setVisible(bool visible) override;

    // The newest complete picture (a shared copy, QImage::Format_RGB32).
    QImage Picture() const;
    // Pictures handed over by the player since construction.
    int DrawCount() const { return m_drawCount.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    std::atomic<int> m_drawCount{0};
    std::atomic<bool> m_updatePending{false};
    // Not hidden by the window (a child is shown with its parent unless hidden itself).
    std::atomic<bool> m_shown{true};

    // Written between BeginPicture and EndPicture only, whose calls the player serialises under
    // its own lock; swapped with m_front under m_lock.
    QImage m_back;
    mutable std::mutex m_lock;
    // -- protected by m_lock
    QImage m_front;
};

}  // namespace locket
