// Helpers of the locket-record tests: decoding pictures to BGR, checking them against the
// recorder's layout, and making cards through the tool's own entry points.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "engine/ffm_h264_decoder.h"
#include "files/evidence_test_support.h"
#include "files/mp4_writer.h"
#include "support/frame_marker.h"
#include "tat/tat_test_util.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/record_options.h"

namespace locket::recordtest {

using namespace evidence_test;
using namespace test;

inline int FrameNumberOf(const cv::Mat& bgr) {
    return ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step));
}

// Picture `index` of a recording that left out `lead` pictures in front: a key frame, for the
// library and for the player's byte test, opens every group of 24 with the parameter sets in
// front of it, any other picture is one slice; each comes at its time and, from the first key
// frame on, decodes with the player's own decoder channel to its own frame number.
inline void ExpectPicture(const Packet& p, int index, int fps, CFFMH264_Decoder& decoder,
                          int lead = 0) {
    SCOPED_TRACE(index);
    const bool key = (index + lead) % 24 == 0;
    EXPECT_EQ(p.stream == 0 && key, p.kind == kTatKindGroupStart);  // only the front's count
    EXPECT_EQ(key, LooksLikeKeyFrame(p.data.data(), p.data.size()));
    std::vector<int> types;  // delimiters (9) and SEI (6) left out
    for (const auto& [unit, size] : AnnexBUnits(p.data.data(), p.data.size()))
        if ((unit[0] & 0x1F) != 6 && (unit[0] & 0x1F) != 9)
            types.push_back(unit[0] & 0x1F);
    EXPECT_EQ((key ? std::vector<int>{7, 8, 5} : std::vector<int>{1}), types);
    EXPECT_EQ(static_cast<uint32_t>(index * 1000 / fps), p.timeMs);
    if (lead == 0 || index + lead >= 24) {
        ASSERT_TRUE((decoder.IsOpen() || decoder.Open()) &&
                    decoder.Decode(p.data.data(), static_cast<int>(p.data.size())));
        cv::Mat bgr(decoder.GetHeight(), decoder.GetWidth(), CV_8UC3);
        ASSERT_TRUE(decoder.Scale(bgr.data, static_cast<int>(bgr.step), bgr.cols, bgr.rows));
        EXPECT_EQ(index, FrameNumberOf(bgr));
    }
}

inline const std::string kRecorderTool = LOCKET_BUILD_DIR "/tools/locket-record/locket-record";

// The tool's option parser over these arguments (the program name goes in front).
inline bool Parse(std::vector<const char*> args, RecordOptions* options, std::string* error) {
    args.insert(args.begin(), "locket-record");
    return ParseRecordOptions(static_cast<int>(args.size()), args.data(), options, error);
}

}  // namespace locket::recordtest
