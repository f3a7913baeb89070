// One H.264 decoding channel over libavcodec, with scaling to BGR24 or BGRX32 through
// libswscale.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/video_window.h"

extern "C" {
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
}

namespace locket {

class CFFMH264_Decoder {
public:
    CFFMH264_Decoder();
    virtual ~CFFMH264_Decoder();
    CFFMH264_Decoder(const CFFMH264_Decoder&) = delete;
    CFFMH264_Decoder& operator=(const CFFMH264_Decoder&) = delete;

    // Parameters come in-band from the stream's parameter sets; no options are set.
    bool Open();
    void Close();
    bool IsOpen() const { return m_context != nullptr; }

    // One complete access unit (Annex B). True when a picture came out of it.
    bool Decode(const uint8_t* data, int size);
    // A packet of the stream was left out: nothing is decoded until the next key frame, so the
    // last picture stays as it was instead of being predicted from missing references.
    void Skip() { m_waitKey = true; }

    // An access unit decoding can start at: an IDR slice, or parameter sets ahead of the slice.
    static bool IsKeyFrame(const uint8_t* data, int size);

    // Scales the last decoded picture into memory of dstW x dstH in `layout`; false (nothing
    // written) when there is no picture yet or no scaler for it.
    bool Scale(uint8_t* dst, int dstStride, int dstW, int dstH,
               PixelLayout layout = PixelLayout::kBgr24);

    void SetBrightness(float brightness);
    void SetContrast(float contrast);
    float GetBrightness() const { return m_brightness; }
    float GetContrast() const { return m_contrast; }

    // Size of the last decoded picture; 0 x 0 before the first one.
    int GetWidth() const;
    int GetHeight() const;

private:
    struct ContextDeleter {
        void operator()(AVCodecContext* p) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame* p) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket* p) const;
    };
    struct ScalerDeleter {
        void operator()(SwsContext* p) const;
    };

    void ApplyColour();

    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    std::unique_ptr<AVCodecContext, ContextDeleter> m_context;
    // The last picture received; `m_received` is the scratch target of avcodec_receive_frame.
    std::unique_ptr<AVFrame, FrameDeleter> m_frame;
    std::unique_ptr<AVFrame, FrameDeleter> m_received;
    std::unique_ptr<SwsContext, ScalerDeleter> m_scaler;
    float m_brightness = 0.0f;
    float m_contrast = 1.0f;
    // What the scaler was made for.
    int m_dstW = 0;
    int m_dstH = 0;
    int m_srcW = 0;
    int m_srcH = 0;
    int m_srcFormat = -1;
    PixelLayout m_dstLayout = PixelLayout::kBgr24;
    bool m_waitKey = false;
};

}  // namespace locket
