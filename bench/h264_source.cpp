#include "h264_source.h"

#include <cstring>
#include <memory>

#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "tools/locket-record/frame_marker_painter.h"

namespace locket {

namespace {

template <typename T, void (*Free)(T**)>
struct Freer {
    void operator()(T* p) const { Free(&p); }
};

void Drain(AVCodecContext* context, AVPacket* packet, std::vector<Packet>* out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        out->emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
}

}  // namespace

std::vector<Packet> EncodeH264(int width, int height, int frames, const LumaPainter& paint,
                               int gop) {
    std::vector<Packet> out;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return out;
    std::unique_ptr<AVCodecContext, Freer<AVCodecContext, avcodec_free_context>> context(
        avcodec_alloc_context3(codec));
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = {1, 30};
    context->framerate = {30, 1};
    context->gop_size = gop;
    context->max_b_frames = 0;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    av_opt_set(context->priv_data, "x264-params", "keyint_min=1:scenecut=0:repeat-headers=1", 0);
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return out;
    std::unique_ptr<AVFrame, Freer<AVFrame, av_frame_free>> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, Freer<AVPacket, av_packet_free>> packet(av_packet_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return out;
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame.get());
        paint(frame->data[0], frame->linesize[0], width, height, i);
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < (height + 1) / 2; ++y)
                std::memset(frame->data[plane] + y * frame->linesize[plane], 128, (width + 1) / 2);
        frame->pts = i;
        frame->pict_type = i % gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        avcodec_send_frame(context.get(), frame.get());
        Drain(context.get(), packet.get(), &out);
    }
    avcodec_send_frame(context.get(), nullptr);
    Drain(context.get(), packet.get(), &out);
    return out;
}

LumaPainter UniformLuma(uint8_t value) {
    return [value](uint8_t* y, int stride, int width, int height, int) {
        for (int row = 0; row < height; ++row)
            std::memset(y + row * stride, value, width);
    };
}

LumaPainter MarkedFrames(int first) {
    return [first](uint8_t* y, int stride, int width, int height, int index) {
        cv::Mat luma(height, width, CV_8UC1, y, stride);
        luma.setTo(0);
        PaintFrameMarker(luma, first + index);
    };
}

}  // namespace locket
