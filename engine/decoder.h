// The video decoder of the player: two H.264 channels, their display pictures and mirror modes.
#pragma once

#include <cstdint>

#include "base/sync.h"
#include "base/vip_image.h"
#include "engine/ffm_h264_decoder.h"
#include "engine/media_decoder.h"

namespace locket {

class CDecoder : public VMediaDecoder {
public:
    static constexpr int kChannels = 2;

    CDecoder() = default;
    ~CDecoder() override;
    CDecoder(const CDecoder&) = delete;
    CDecoder& operator=(const CDecoder&) = delete;

    bool Open() override;
    void Close() override;
    bool DecodeFrame(int channel, VVideoWindow* window, const uint8_t* data, int size,
                     bool show) override;
    bool Redraw(int channel, VVideoWindow* window) override;
    void SetContrast(int channel, int level) override;
    void SetBrightness(int channel, int level) override;
    void SetFlip(int channel, int mode) override;
    bool SaveFrame(int channel, const char* path) override;

    // Contrast and brightness factors as the scaler gets them.
    static float ContrastOfLevel(int level);
    static float BrightnessOfLevel(int level) { return level / 10.0f; }

private:
    // Scales the channel's last picture straight into the window's memory and mirrors it there;
    // false when there was nothing to draw.
    bool Present(int channel, VVideoWindow* window, int w, int h);

    // The player serialises its calls under its own lock; this one also keeps the picture
    // settings, which the user interface changes without that lock, away from a running scale.
    CSync m_lock{"none"};
    // -- protected by m_lock
    CFFMH264_Decoder m_channels[kChannels];
    int m_flip[kChannels] = {0, 0};
};

}  // namespace locket
