// The video decoder the player talks to: decodes front and rear H.264 packets and draws them.
#pragma once

#include <cstdint>

#include "platform/video_window.h"

namespace locket {

class VMediaDecoder {
public:
    virtual ~VMediaDecoder() = default;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    // Channel 0 front, 1 rear. With `show` false the picture stays in the channel for Redraw.
    // A window of zero size skips the packet, and the channel shows its last picture until its
    // next key frame.
    virtual bool DecodeFrame(int channel, VVideoWindow* window, const uint8_t* data, int size,
                             bool show) = 0;
    // Draws the channel's last decoded picture again at the window's current size.
    virtual bool Redraw(int channel, VVideoWindow* window) = 0;
    // Level 0 is neutral; contrast = level / 10 + 1, brightness = level / 10.
    virtual void SetContrast(int channel, int level) = 0;
    virtual void SetBrightness(int channel, int level) = 0;
    // 0 as decoded, 1 upside down, 2 both axes, 3 left-right mirror.
    virtual void SetFlip(int channel, int mode) = 0;
    // JPEG of the last decoded picture at its decoded size, never mirrored.
    virtual bool SaveFrame(int channel, const char* path) = 0;
};

}  // namespace locket
