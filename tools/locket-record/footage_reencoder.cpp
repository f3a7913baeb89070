#include "tools/locket-record/footage_reencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace locket {

void CFootageReencoder::CodecDeleter::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void CFootageReencoder::FrameDeleter::operator()(AVFrame* f) const {
    av_frame_free(&f);
}
void CFootageReencoder::SwsDeleter::operator()(SwsContext* s) const {
    sws_freeContext(s);
}

CFootageReencoder::CFootageReencoder() = default;
CFootageReencoder::~CFootageReencoder() = default;

bool CFootageReencoder::Open(const AVCodecParameters* source, int width, int height, int fps,
                             std::string* error) {
    const AVCodec* codec = avcodec_find_decoder(source->codec_id);
    std::unique_ptr<AVCodecContext, CodecDeleter> decoder(codec ? avcodec_alloc_context3(codec)
                                                                : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), source) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        *error = "cannot open an H.264 decoder for the footage";
        return false;
    }
    m_frame.reset(av_frame_alloc());
    if (!m_frame)
        return false;
    if (!m_encoder.Open(width, height, fps)) {
        *error = "cannot open the H.264 encoder for the footage";
        return false;
    }
    m_decoder = std::move(decoder);
    m_width = width;
    m_height = height;
    return true;
}

bool CFootageReencoder::Feed(const AVPacket* packet, std::vector<EncodedPacket>* out,
                             std::string* error) {
    if (!m_decoder)
        return false;
    const int sent = avcodec_send_packet(m_decoder.get(), packet);
    // A damaged packet costs its picture, as it would in the viewer.
    if (sent < 0 && sent != AVERROR_INVALIDDATA) {
        *error = "the footage cannot be decoded";
        return false;
    }
    if (!EncodeDecoded(out, error))
        return false;
    if (!packet && !m_encoder.Flush(out)) {
        *error = "the H.264 encoder failed on the footage";
        return false;
    }
    return true;
}

bool CFootageReencoder::EncodeDecoded(std::vector<EncodedPacket>* out, std::string* error) {
    for (;;) {
        const int r = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0) {
            *error = "the footage cannot be decoded";
            return false;
        }
        // A picture one pixel over the even size is cut; any other size is scaled.
        const AVFrame& f = *m_frame;
        const int srcW = (f.width & ~1) == m_width ? m_width : f.width;
        const int srcH = (f.height & ~1) == m_height ? m_height : f.height;
        m_sws.reset(sws_getCachedContext(
            m_sws.release(), srcW, srcH, static_cast<AVPixelFormat>(f.format), m_width, m_height,
            AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!m_sws) {
            *error = "the footage's pictures cannot be converted";
            return false;
        }
        m_bgr.create(m_height, m_width, CV_8UC3);
        uint8_t* dst[1] = {m_bgr.data};
        const int dstStride[1] = {static_cast<int>(m_bgr.step)};
        sws_scale(m_sws.get(), f.data, f.linesize, 0, srcH, dst, dstStride);
        av_frame_unref(m_frame.get());
        if (!m_encoder.Encode(m_bgr, out)) {
            *error = "the H.264 encoder failed on the footage";
            return false;
        }
    }
}

}  // namespace locket
