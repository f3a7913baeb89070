#include "tools/locket-record/h264_encoder.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "tools/locket-record/annexb.h"

namespace locket {

void CH264Encoder::CodecDeleter::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void CH264Encoder::FrameDeleter::operator()(AVFrame* f) const {
    av_frame_free(&f);
}
void CH264Encoder::PacketDeleter::operator()(AVPacket* p) const {
    av_packet_free(&p);
}
void CH264Encoder::SwsDeleter::operator()(SwsContext* s) const {
    sws_freeContext(s);
}

CH264Encoder::CH264Encoder() = default;
CH264Encoder::~CH264Encoder() = default;

bool CH264Encoder::Open(int width, int height, int fps) {
    if (width < 16 || height < 16 || (width & 1) || (height & 1) || fps < 1 || fps > 120) {
        std::printf("[CH264Encoder] unusable picture %dx%d at %d fps\n", width, height, fps);
        return false;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        std::printf("[CH264Encoder] libx264 encoder not available\n");
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        return false;
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->gop_size = kGroupLength;
    ctx->keyint_min = kGroupLength;
    ctx->max_b_frames = 0;
    // One thread and zero latency: a packet per picture at once, and the same bytes on any
    // machine for the same seed.
    ctx->thread_count = 1;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    av_opt_set(ctx->priv_data, "profile", "baseline", 0);
    av_opt_set(ctx->priv_data, "crf", "26", 0);
    av_opt_set_int(ctx.get(), "sc_threshold", 0, 0);
    // repeat-headers puts SPS and PPS in front of every key frame, as a camera streams them.
    av_opt_set(ctx->priv_data, "x264-params",
               "scenecut=0:repeat-headers=1:annexb=1:keyint=24:min-keyint=24:bframes=0", 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        std::printf("[CH264Encoder] cannot open libx264 for %dx%d\n", width, height);
        return false;
    }
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!frame || !packet)
        return false;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    std::unique_ptr<SwsContext, SwsDeleter> sws(
        sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P,
                       SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws)
        return false;
    m_codec = std::move(ctx);
    m_frame = std::move(frame);
    m_packet = std::move(packet);
    m_sws = std::move(sws);
    m_width = width;
    m_height = height;
    m_sent = 0;
    m_received = 0;
    return true;
}

bool CH264Encoder::Encode(const cv::Mat& bgr, std::vector<EncodedPacket>* out) {
    if (!m_codec || bgr.type() != CV_8UC3 || bgr.cols != m_width || bgr.rows != m_height)
        return false;
    if (av_frame_make_writable(m_frame.get()) < 0)
        return false;
    const uint8_t* src[1] = {bgr.data};
    const int srcStride[1] = {static_cast<int>(bgr.step)};
    sws_scale(m_sws.get(), src, srcStride, 0, m_height, m_frame->data, m_frame->linesize);
    m_frame->pts = m_sent;
    // Key frames fall on whole groups whatever the encoder would choose.
    m_frame->pict_type = (m_sent % kGroupLength == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(m_codec.get(), m_frame.get()) < 0)
        return false;
    ++m_sent;
    return Receive(out);
}

bool CH264Encoder::Flush(std::vector<EncodedPacket>* out) {
    if (!m_codec)
        return false;
    if (avcodec_send_frame(m_codec.get(), nullptr) < 0)
        return false;
    return Receive(out);
}

int64_t CH264Encoder::OldestPending() const {
    return m_received < m_sent ? m_received : -1;
}

bool CH264Encoder::Receive(std::vector<EncodedPacket>* out) {
    for (;;) {
        const int r = avcodec_receive_packet(m_codec.get(), m_packet.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        EncodedPacket p;
        p.frame = m_packet->pts;
        p.key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
        p.data.assign(m_packet->data, m_packet->data + m_packet->size);
        av_packet_unref(m_packet.get());
        if (!EnsureLongStartCode(&p.data)) {
            std::printf("[CH264Encoder] packet without start code\n");
            return false;
        }
        ++m_received;
        out->push_back(std::move(p));
    }
}

}  // namespace locket
