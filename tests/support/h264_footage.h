// Footage made by the recorder's own encoder, one access unit per picture.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "tools/locket-record/h264_encoder.h"

extern "C" {
#include <libavutil/log.h>
}

namespace locket::testsupport {

using Painter = std::function<void(cv::Mat& bgr, int index)>;

// Each picture starts black before `paint`; nothing when the encoder does not open.
inline std::vector<std::vector<uint8_t>> EncodeFootage(int width, int height, int frames,
                                                       const Painter& paint) {
    av_log_set_level(AV_LOG_ERROR);  // libx264 reports on every encoder it opens
    CH264Encoder encoder;
    std::vector<EncodedPacket> out;
    for (int i = 0; i < frames && (i > 0 || encoder.Open(width, height, 30)); ++i) {
        cv::Mat bgr(height, width, CV_8UC3, cv::Scalar::all(0));
        paint(bgr, i);
        encoder.Encode(bgr, &out);
    }
    encoder.Flush(&out);
    std::vector<std::vector<uint8_t>> packets;
    for (EncodedPacket& p : out)
        packets.push_back(std::move(p.data));
    return packets;
}

}  // namespace locket::testsupport
