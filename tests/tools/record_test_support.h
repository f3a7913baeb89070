// Helpers of the locket-record tests: a plain libavcodec H.264 decoder to BGR, temporary
// folders and the path of the tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace locket::recordtest {

// Decodes one access unit at a time; with low delay each packet gives its picture at once.
class TestDecoder {
public:
    TestDecoder() {
        av_log_set_level(AV_LOG_QUIET);
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        m_ctx.reset(avcodec_alloc_context3(codec));
        m_ctx->thread_count = 1;
        m_ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        m_ok = avcodec_open2(m_ctx.get(), codec, nullptr) == 0;
        m_frame.reset(av_frame_alloc());
        m_last.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
    }
    bool ok() const { return m_ok; }

    // Returns the number of pictures that came out (0 or 1 in practice); the last one is
    // converted to BGR in *bgr.
    int Decode(const uint8_t* data, size_t size, cv::Mat* bgr) {
        m_packet->data = const_cast<uint8_t*>(data);
        m_packet->size = static_cast<int>(size);
        if (avcodec_send_packet(m_ctx.get(), m_packet.get()) < 0)
            return 0;
        int pictures = 0;
        while (avcodec_receive_frame(m_ctx.get(), m_frame.get()) == 0) {
            ++pictures;
            Convert(bgr);
            // The next receive call empties m_frame: keep the picture.
            av_frame_unref(m_last.get());
            av_frame_move_ref(m_last.get(), m_frame.get());
        }
        return pictures;
    }

    const AVFrame* LastFrame() const { return m_last.get(); }

private:
    void Convert(cv::Mat* bgr) {
        if (!bgr)
            return;
        const int w = m_frame->width, h = m_frame->height;
        bgr->create(h, w, CV_8UC3);
        m_sws = sws_getCachedContext(m_sws, w, h, static_cast<AVPixelFormat>(m_frame->format), w, h,
                                     AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        uint8_t* dst[1] = {bgr->data};
        int dstStride[1] = {static_cast<int>(bgr->step)};
        sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, h, dst, dstStride);
    }
    struct CtxDel {
        void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    };
    struct FrameDel {
        void operator()(AVFrame* f) const { av_frame_free(&f); }
    };
    struct PacketDel {
        void operator()(AVPacket* p) const { av_packet_free(&p); }
    };
    std::unique_ptr<AVCodecContext, CtxDel> m_ctx;
    std::unique_ptr<AVFrame, FrameDel> m_frame;
    std::unique_ptr<AVFrame, FrameDel> m_last;
    std::unique_ptr<AVPacket, PacketDel> m_packet;
    SwsContext* m_sws = nullptr;
    bool m_ok = false;

public:
    ~TestDecoder() { sws_freeContext(m_sws); }
};

// A fresh empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    explicit TempDir(const std::string& tag) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("locket-record-" + tag + "-XXXXXX"))
                .string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()))
            m_path = buf.data();
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// libx264 reports on every encoder it opens; the tests want only real trouble.
inline const bool kQuietLibav = (av_log_set_level(AV_LOG_ERROR), true);

inline std::string RecorderExecutable() {
    return std::string(LOCKET_BUILD_DIR) + "/tools/locket-record/locket-record";
}

}  // namespace locket::recordtest
