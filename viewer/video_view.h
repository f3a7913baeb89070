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
    void Draw(const unsigned char* bgr, int width, int height, int stride) override;

    // The newest complete picture (a shared copy).
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

    // Written by Draw only, whose calls the player serialises under its own lock; swapped
    // with m_front under m_lock.
    QImage m_back;
    mutable std::mutex m_lock;
    // -- protected by m_lock
    QImage m_front;
};

}  // namespace locket
