// Helpers of the locket-record tests: a plain libavcodec H.264 decoder to BGR, temporary
// folders, making cards through the tool's own entry points and reading them back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>

#include "support/frame_marker.h"
#include "support/temp_dir.h"
#include "tat/tat_test_util.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace locket::recordtest {

// Decodes one access unit at a time; with low delay each packet gives its picture at once.
class TestDecoder {
public:
    TestDecoder() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        m_ctx.reset(avcodec_alloc_context3(codec));
        m_ctx->thread_count = 1;
        m_ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        m_ok = avcodec_open2(m_ctx.get(), codec, nullptr) == 0;
    }
    ~TestDecoder() { sws_freeContext(m_sws); }
    bool ok() const { return m_ok; }

    // Pictures that came out (0 or 1 in practice); the last one in BGR in *bgr and in LastFrame().
    int Decode(const uint8_t* data, size_t size, cv::Mat* bgr) {
        m_packet->data = const_cast<uint8_t*>(data);
        m_packet->size = static_cast<int>(size);
        if (avcodec_send_packet(m_ctx.get(), m_packet.get()) < 0)
            return 0;
        int pictures = 0;
        while (avcodec_receive_frame(m_ctx.get(), m_frame.get()) == 0) {
            ++pictures;
            const int w = m_frame->width, h = m_frame->height;
            bgr->create(h, w, CV_8UC3);
            m_sws =
                sws_getCachedContext(m_sws, w, h, static_cast<AVPixelFormat>(m_frame->format), w, h,
                                     AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* dst[1] = {bgr->data};
            const int stride[1] = {static_cast<int>(bgr->step)};
            sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, h, dst, stride);
            av_frame_unref(m_last.get());
            av_frame_move_ref(m_last.get(), m_frame.get());
        }
        return pictures;
    }
    const AVFrame* LastFrame() const { return m_last.get(); }

private:
    template <class T, void (*Free)(T**)>
    struct Del {
        void operator()(T* p) const { Free(&p); }
    };
    std::unique_ptr<AVCodecContext, Del<AVCodecContext, avcodec_free_context>> m_ctx;
    std::unique_ptr<AVFrame, Del<AVFrame, av_frame_free>> m_frame{av_frame_alloc()};
    std::unique_ptr<AVFrame, Del<AVFrame, av_frame_free>> m_last{av_frame_alloc()};
    std::unique_ptr<AVPacket, Del<AVPacket, av_packet_free>> m_packet{av_packet_alloc()};
    SwsContext* m_sws = nullptr;
    bool m_ok = false;
};

inline int FrameNumberOf(const cv::Mat& bgr) {
    return ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step));
}

using testsupport::ReadText;
using testsupport::TempDir;

// libx264 reports on every encoder it opens; the tests want only real trouble.
inline const bool kQuietLibav = (av_log_set_level(AV_LOG_ERROR), true);

inline std::string RecorderExecutable() {
    return std::string(LOCKET_BUILD_DIR) + "/tools/locket-record/locket-record";
}

// The tool's option parser over these arguments (the program name goes in front).
inline bool Parse(std::vector<const char*> args, RecordOptions* options, std::string* error) {
    args.insert(args.begin(), "locket-record");
    return ParseRecordOptions(static_cast<int>(args.size()), args.data(), options, error);
}

// Parses and writes a card: WriteCard's result, -1 for refused options. Without `error` any
// failure fails the test.
inline int MakeCard(const std::vector<const char*>& args, std::string* error = nullptr) {
    RecordOptions options;
    std::string message;
    const int r = Parse(args, &options, &message) ? WriteCard(options, &message) : -1;
    if (error)
        *error = message;
    else
        EXPECT_EQ(0, r) << message;
    return r;
}

using test::Packet;
using test::ReadPackets;

// What the library tells about one recording.
struct RecordingInfo {
    uint8_t desc[kTatDescriptionBytes] = {};
    int32_t count0 = -1, count1 = -1;
    char counts[kTatCountsTextBytes] = {};
    int Word(int at) const { return desc[at] | (desc[at + 1] << 8); }
    // Frame rate, width, height and frame count of the front (0) or rear (1) camera.
    std::tuple<int, int, int, int> Camera(int c) const {
        return {desc[3 + c], Word(52 + 2 * c), Word(20 + 2 * c), c ? count1 : count0};
    }
};
inline bool Query(TatHandle tat, const std::string& name, RecordingInfo* r) {
    uint8_t block244[244], block40[40];
    return TatQueryRecording(tat, name.c_str(), r->desc, &r->count0, &r->count1, block244,
                             r->counts, block40) != 0;
}

}  // namespace locket::recordtest
