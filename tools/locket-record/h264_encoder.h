// Encodes BGR pictures to H.264 the way the recorder streams it: constrained baseline, no
// B-frames, a key frame every 24 frames with SPS/PPS in front, one access unit per packet that
// opens with a 4-byte start code.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace locket {

struct EncodedPacket {
    int64_t frame = 0;  // index of the picture it holds, from 0
    bool key = false;
    std::vector<uint8_t> data;
};

class CH264Encoder {
public:
    static constexpr int kGroupLength = 24;

    CH264Encoder();
    ~CH264Encoder();
    CH264Encoder(const CH264Encoder&) = delete;
    CH264Encoder& operator=(const CH264Encoder&) = delete;

    // Sizes must be even. False (with a trace line) when libx264 cannot be opened.
    bool Open(int width, int height, int fps);

    // Encodes the next picture (BGR, the size given to Open) and appends every packet that is
    // ready to *out.
    bool Encode(const cv::Mat& bgr, std::vector<EncodedPacket>* out);

    // Drains the encoder at the end of the stream.
    bool Flush(std::vector<EncodedPacket>* out);

    // Index of the oldest picture handed in whose packet has not come out yet; -1 when none.
    int64_t OldestPending() const;

    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    struct CodecDeleter {
        void operator()(AVCodecContext* c) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame* f) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket* p) const;
    };
    struct SwsDeleter {
        void operator()(SwsContext* s) const;
    };

    bool Receive(std::vector<EncodedPacket>* out);

    std::unique_ptr<AVCodecContext, CodecDeleter> m_codec;
    std::unique_ptr<AVFrame, FrameDeleter> m_frame;
    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    std::unique_ptr<SwsContext, SwsDeleter> m_sws;
    int m_width = 0;
    int m_height = 0;
    int64_t m_sent = 0;      // pictures handed in
    int64_t m_received = 0;  // packets come out
};

}  // namespace locket
