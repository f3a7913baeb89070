#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "record_test_support.h"
#include "tools/locket-record/frame_marker_painter.h"
#include "tools/locket-record/h264_encoder.h"

using namespace locket;
using namespace locket::recordtest;

// Pictures it cannot make are refused, not encoded at some other size.
TEST(RecordEncoder, RefusesOddSizesNoFrameRateAndPicturesOfAnotherSize) {
    CH264Encoder encoder;
    EXPECT_FALSE(encoder.Open(161, 120, 30));
    EXPECT_FALSE(encoder.Open(160, 120, 0));
    ASSERT_TRUE(encoder.Open(160, 120, 30));
    std::vector<EncodedPacket> packets;
    EXPECT_FALSE(encoder.Encode(cv::Mat(64, 96, CV_8UC3, cv::Scalar(0, 0, 0)), &packets));
}

TEST(FrameMarker, ReadsScaledPicturesAndRejectsPicturesWithoutMarker) {
    cv::Mat picture(120, 160, CV_8UC3, cv::Scalar(200, 150, 90));
    for (int n : {0, 1, 0x5A5A, 65535, 65536 + 7}) {
        PaintFrameMarker(picture, n);
        EXPECT_EQ(n & 0xFFFF, FrameNumberOf(picture));
        // The player scales to its window, also unevenly and down.
        for (cv::Size to : {cv::Size(517, 300), cv::Size(120, 90)}) {
            cv::Mat scaled;
            cv::resize(picture, scaled, to, 0, 0, cv::INTER_AREA);
            EXPECT_EQ(n & 0xFFFF, FrameNumberOf(scaled)) << n << " at " << to.width;
        }
    }
    EXPECT_EQ(-1, FrameNumberOf(cv::Mat(120, 160, CV_8UC3, cv::Scalar(0, 0, 0))));
    EXPECT_EQ(-1, FrameNumberOf(cv::Mat(120, 160, CV_8UC3, cv::Scalar(255, 255, 255))));
    // A marker with one data cell flipped fails its check bits.
    PaintFrameMarker(picture, 0x1234);
    const int cell = FrameMarkerCell(160, 120);
    const bool white = picture.at<cv::Vec3b>(cell / 2, 5 * cell + cell / 2)[0] > 128;
    cv::Mat(picture, cv::Rect(5 * cell, 0, cell, cell)).setTo(cv::Scalar::all(white ? 0 : 255));
    EXPECT_EQ(-1, FrameNumberOf(picture));
}

TEST(AnnexB, LengthensShortStartCodesAndFindsTheFirstNal) {
    std::vector<uint8_t> shortCode{0, 0, 1, 0x65, 0x88};
    ASSERT_TRUE(EnsureLongStartCode(&shortCode));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1, 0x65, 0x88}), shortCode);
    EXPECT_EQ(5, FirstNalType(shortCode.data(), shortCode.size()));
    std::vector<uint8_t> none{0x41, 0, 0, 1};
    EXPECT_FALSE(EnsureLongStartCode(&none));
    EXPECT_EQ(-1, FirstNalType(none.data(), none.size()));
}
