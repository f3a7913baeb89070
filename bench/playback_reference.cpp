#include "playback_reference.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace locket {
namespace {

// One stream's default decoding context and its scaler to BGR24 of the view's size.
class BareStream {
public:
    BareStream(int dstW, int dstH)
        : m_context(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264))),
          m_packet(av_packet_alloc()),
          m_frame(av_frame_alloc()),
          m_dstW(dstW),
          m_dstH(dstH),
          m_stride((dstW * 3 + 3) & ~3),
          m_picture(static_cast<size_t>(m_stride) * dstH) {
        avcodec_open2(m_context, m_context->codec, nullptr);
    }
    ~BareStream() {
        sws_freeContext(m_scaler);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_context);
    }
    BareStream(const BareStream&) = delete;
    BareStream& operator=(const BareStream&) = delete;

    void Feed(const std::vector<uint8_t>& p) {
        m_packet->data = const_cast<uint8_t*>(p.data());
        m_packet->size = static_cast<int>(p.size());
        avcodec_send_packet(m_context, m_packet);
        while (avcodec_receive_frame(m_context, m_frame) == 0) {
            if (!m_scaler)
                m_scaler = sws_getContext(
                    m_frame->width, m_frame->height, static_cast<AVPixelFormat>(m_frame->format),
                    m_dstW, m_dstH, AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {m_picture.data(), nullptr, nullptr, nullptr};
            int strides[4] = {m_stride, 0, 0, 0};
            sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, m_frame->height, planes,
                      strides);
        }
    }

private:
    AVCodecContext* m_context;
    AVPacket* m_packet;
    AVFrame* m_frame;
    SwsContext* m_scaler = nullptr;
    int m_dstW, m_dstH, m_stride;
    std::vector<uint8_t> m_picture;
};

}  // namespace

double BareDecodeAndScale(const std::vector<std::vector<uint8_t>>& packets, int dstW, int dstH) {
    BareStream stream(dstW, dstH);
    const auto start = std::chrono::steady_clock::now();
    for (const std::vector<uint8_t>& p : packets)
        stream.Feed(p);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BarePacedDecodeAndScale(const std::vector<std::vector<uint8_t>>& front, int frontW, int frontH,
                             const std::vector<std::vector<uint8_t>>& rear, int rearW, int rearH,
                             int fps) {
    BareStream frontStream(frontW, frontH);
    BareStream rearStream(rearW, rearH);
    const auto start = std::chrono::steady_clock::now();
    const size_t count = std::max(front.size(), rear.size());
    for (size_t i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / fps));
        if (i < front.size())
            frontStream.Feed(front[i]);
        if (i < rear.size())
            rearStream.Feed(rear[i]);
    }
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace locket
