// Decodes imported H.264 footage and encodes it again as the recorder writes its own video
// (CH264Encoder: a key frame every 24 pictures, no B-frames), for footage whose packets the
// viewer could not seek in.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tools/locket-record/h264_encoder.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace locket {

class CFootageReencoder {
public:
    CFootageReencoder();
    ~CFootageReencoder();
    CFootageReencoder(const CFootageReencoder&) = delete;
    CFootageReencoder& operator=(const CFootageReencoder&) = delete;

    // `source` describes the footage's stream; pictures come out width x height (even sizes:
    // a picture one pixel larger loses its last row or column).
    bool Open(const AVCodecParameters* source, int width, int height, int fps, std::string* error);

    // Decodes one packet of the footage, or with nullptr drains both codecs, and appends the
    // units that are ready to *out in picture order.
    bool Feed(const AVPacket* packet, std::vector<EncodedPacket>* out, std::string* error);

private:
    struct CodecDeleter {
        void operator()(AVCodecContext* c) const;
    };
    struct FrameDeleter {
        void operator()(AVFrame* f) const;
    };
    struct SwsDeleter {
        void operator()(SwsContext* s) const;
    };

    bool EncodeDecoded(std::vector<EncodedPacket>* out, std::string* error);

    std::unique_ptr<AVCodecContext, CodecDeleter> m_decoder;
    std::unique_ptr<AVFrame, FrameDeleter> m_frame;
    std::unique_ptr<SwsContext, SwsDeleter> m_sws;
    CH264Encoder m_encoder;
    cv::Mat m_bgr;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace locket
