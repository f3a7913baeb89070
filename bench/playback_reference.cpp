#include "playback_reference.h"

#include <sys/resource.h>

#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace locket {

double BareDecodeAndScale(const std::vector<std::vector<uint8_t>>& packets, int dstW, int dstH) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const int stride = (dstW * 3 + 3) & ~3;
    std::vector<uint8_t> picture(static_cast<size_t>(stride) * dstH);
    SwsContext* scaler = nullptr;
    const auto start = std::chrono::steady_clock::now();
    for (const std::vector<uint8_t>& p : packets) {
        packet->data = const_cast<uint8_t*>(p.data());
        packet->size = static_cast<int>(p.size());
        avcodec_send_packet(context, packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            if (!scaler)
                scaler = sws_getContext(
                    frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), dstW,
                    dstH, AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {picture.data(), nullptr, nullptr, nullptr};
            int strides[4] = {stride, 0, 0, 0};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        }
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return elapsed;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace locket
