// Helpers of the locket-record tests: decoding pictures to BGR, temporary
// folders, making cards through the tool's own entry points and reading them back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "engine/ffm_h264_decoder.h"
#include "files/evidence_test_support.h"
#include "support/frame_marker.h"
#include "support/temp_dir.h"
#include "tat/tat_test_util.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"

namespace locket::recordtest {

// Decodes one access unit with the player's own decoder channel into *bgr; false when no
// picture came out of it.
inline bool DecodePicture(CFFMH264_Decoder& decoder, const std::vector<uint8_t>& au, cv::Mat* bgr) {
    if ((!decoder.IsOpen() && !decoder.Open()) ||
        !decoder.Decode(au.data(), static_cast<int>(au.size())))
        return false;
    bgr->create(decoder.GetHeight(), decoder.GetWidth(), CV_8UC3);
    return decoder.Scale(bgr->data, static_cast<int>(bgr->step), bgr->cols, bgr->rows);
}

inline int FrameNumberOf(const cv::Mat& bgr) {
    return ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step));
}

using testsupport::ReadText;
using testsupport::TempDir;

inline std::string RecorderExecutable() {
    return std::string(LOCKET_BUILD_DIR) + "/tools/locket-record/locket-record";
}

// The tool's option parser over these arguments (the program name goes in front).
inline bool Parse(std::vector<const char*> args, RecordOptions* options, std::string* error) {
    args.insert(args.begin(), "locket-record");
    return ParseRecordOptions(static_cast<int>(args.size()), args.data(), options, error);
}

using evidence_test::MakeCard;
using test::Packet;
using test::ReadPackets;

using test::QueryRecording;
using test::RecordingInfo;

}  // namespace locket::recordtest
