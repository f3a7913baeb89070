#include "engine/ffm_h264_decoder.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace locket {

void CFFMH264_Decoder::ContextDeleter::operator()(AVCodecContext* p) const {
    avcodec_free_context(&p);
}
void CFFMH264_Decoder::FrameDeleter::operator()(AVFrame* p) const {
    av_frame_free(&p);
}
void CFFMH264_Decoder::PacketDeleter::operator()(AVPacket* p) const {
    av_packet_free(&p);
}
void CFFMH264_Decoder::ScalerDeleter::operator()(SwsContext* p) const {
    sws_freeContext(p);
}

CFFMH264_Decoder::CFFMH264_Decoder() = default;

CFFMH264_Decoder::~CFFMH264_Decoder() {
    Close();
}

bool CFFMH264_Decoder::Open() {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        std::printf("[CFFMH264_Decoder] no H.264 decoder\n");
        return false;
    }
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVFrame, FrameDeleter> received(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !received || !packet)
        return false;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        std::printf("[CFFMH264_Decoder] open failed\n");
        return false;
    }
    m_context = std::move(context);
    m_frame = std::move(frame);
    m_received = std::move(received);
    m_packet = std::move(packet);
    return true;
}

void CFFMH264_Decoder::Close() {
    m_scaler.reset();
    m_dstW = m_dstH = m_srcW = m_srcH = 0;
    m_srcFormat = -1;
    m_waitKey = false;
    m_context.reset();
    m_frame.reset();
    m_received.reset();
    m_packet.reset();
}

bool CFFMH264_Decoder::Decode(const uint8_t* data, int size) {
    if (!m_context || !data || size <= 0)
        return false;
    // A JPEG still inside the video stream is not ours to decode.
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return false;
    if (m_waitKey) {
        if (!IsKeyFrame(data, size))
            return false;
        m_waitKey = false;
    }

    // The packet only borrows the caller's bytes; the decoder copies what it keeps.
    m_packet->data = const_cast<uint8_t*>(data);
    m_packet->size = size;
    int r = avcodec_send_packet(m_context.get(), m_packet.get());
    m_packet->data = nullptr;
    m_packet->size = 0;
    if (r < 0 && r != AVERROR(EAGAIN))
        return false;

    bool got = false;
    while (avcodec_receive_frame(m_context.get(), m_received.get()) == 0) {
        av_frame_unref(m_frame.get());
        av_frame_move_ref(m_frame.get(), m_received.get());
        got = true;
    }
    return got;
}

bool CFFMH264_Decoder::IsKeyFrame(const uint8_t* data, int size) {
    // Up to the first slice; a 4-byte start code ends in the same three bytes.
    for (int i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        int type = data[i + 3] & 0x1F;
        if (type == 5 || type == 7)
            return true;
        if (type == 1)
            return false;
        i += 3;
    }
    return false;
}

int CFFMH264_Decoder::GetWidth() const {
    return m_frame && m_frame->data[0] ? m_frame->width : 0;
}

int CFFMH264_Decoder::GetHeight() const {
    return m_frame && m_frame->data[0] ? m_frame->height : 0;
}

bool CFFMH264_Decoder::Scale(uint8_t* dst, int dstStride, int dstW, int dstH, PixelLayout layout) {
    int srcW = GetWidth();
    int srcH = GetHeight();
    if (srcW <= 0 || srcH <= 0 || !dst || dstW <= 0 || dstH <= 0)
        return false;
    // The scaler is kept per destination size and layout; a new source size or format needs one
    // too, or it would read the new planes with the old geometry.
    if (!m_scaler || dstW != m_dstW || dstH != m_dstH || layout != m_dstLayout || srcW != m_srcW ||
        srcH != m_srcH || m_frame->format != m_srcFormat) {
        // BGRA from a picture without alpha comes out opaque: the fourth byte is 255.
        const AVPixelFormat dstFormat =
            layout == PixelLayout::kBgrx32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        m_scaler.reset(sws_getContext(srcW, srcH, static_cast<AVPixelFormat>(m_frame->format), dstW,
                                      dstH, dstFormat, SWS_FAST_BILINEAR, nullptr, nullptr,
                                      nullptr));
        m_dstW = dstW;
        m_dstH = dstH;
        m_dstLayout = layout;
        m_srcW = srcW;
        m_srcH = srcH;
        m_srcFormat = m_frame->format;
        if (!m_scaler) {
            std::printf("[CFFMH264_Decoder] no scaler for %dx%d -> %dx%d\n", srcW, srcH, dstW,
                        dstH);
            return false;
        }
        ApplyColour();
    }
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int strides[4] = {dstStride, 0, 0, 0};
    sws_scale(m_scaler.get(), m_frame->data, m_frame->linesize, 0, srcH, planes, strides);
    return true;
}

void CFFMH264_Decoder::SetBrightness(float brightness) {
    m_brightness = brightness;
    ApplyColour();
}

void CFFMH264_Decoder::SetContrast(float contrast) {
    m_contrast = contrast;
    ApplyColour();
}

void CFFMH264_Decoder::ApplyColour() {
    if (!m_scaler)
        return;
    const int* table = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(m_scaler.get(), table, 0, table, 0,
                             static_cast<int>(m_brightness * 65536),
                             static_cast<int>(m_contrast * 65536), 65536);
}

}  // namespace locket
