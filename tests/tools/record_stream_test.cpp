#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "record_test_support.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/frame_marker_painter.h"
#include "tools/locket-record/h264_encoder.h"
#include "tools/locket-record/road_scene.h"

using namespace locket;
using namespace locket::recordtest;

namespace {

std::vector<int> NalTypes(const std::vector<uint8_t>& au) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < au.size(); ++i)
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1)
            types.push_back(au[i + 3] & 0x1F);
    return types;
}

}  // namespace

// Road pictures encoded like the recorder streams them, then decoded back.
TEST(RecordEncoder, KeyEvery24WithParameterSetsOneUnitPerPacketAndFrameNumbersThatSurvive) {
    for (cv::Size size : {cv::Size(96, 64), cv::Size(160, 120), cv::Size(640, 360)}) {
        SCOPED_TRACE(size.width);
        CH264Encoder encoder;
        ASSERT_TRUE(encoder.Open(size.width, size.height, 30));
        CRoadScene scene(size.width, size.height, false, 3);
        std::vector<EncodedPacket> packets;
        cv::Mat picture;
        for (int i = 0; i < 30; ++i) {
            SceneInput in;
            in.frame = i;
            in.distanceM = i * 0.5;
            in.speedKmh = 54;
            in.seconds = i / 30.0;
            in.clockText = "2024/03/01 08:30:00";
            scene.Draw(in, &picture);
            ASSERT_TRUE(encoder.Encode(picture, &packets));
        }
        ASSERT_TRUE(encoder.Flush(&packets));
        ASSERT_EQ(30u, packets.size());

        CFFMH264_Decoder decoder;
        cv::Mat bgr;
        for (size_t i = 0; i < packets.size(); ++i) {
            SCOPED_TRACE(i);
            const std::vector<uint8_t>& au = packets[i].data;
            EXPECT_EQ(static_cast<int64_t>(i), packets[i].frame);
            const bool key = i % 24 == 0;
            EXPECT_EQ(key, packets[i].key);
            // Key: SPS, PPS, ..., IDR slice. Otherwise one slice and nothing else.
            const std::vector<int> types = NalTypes(au);
            if (key) {
                ASSERT_GE(types.size(), 3u);
                EXPECT_EQ(7, types[0]);
                EXPECT_EQ(8, types[1]);
                EXPECT_EQ(5, types.back());
            } else {
                EXPECT_EQ(std::vector<int>{1}, types);
            }
            ASSERT_TRUE(DecodePicture(decoder, au, &bgr));
            EXPECT_EQ(static_cast<int>(i), FrameNumberOf(bgr));
        }
    }

    CH264Encoder encoder;
    EXPECT_FALSE(encoder.Open(161, 120, 30));
    EXPECT_FALSE(encoder.Open(160, 120, 0));
    ASSERT_TRUE(encoder.Open(160, 120, 30));
    std::vector<EncodedPacket> packets;
    EXPECT_FALSE(encoder.Encode(cv::Mat(64, 96, CV_8UC3, cv::Scalar(0, 0, 0)), &packets));
    EXPECT_TRUE(packets.empty());
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
    std::vector<uint8_t> longCode{0, 0, 0, 1, 0x41};
    ASSERT_TRUE(EnsureLongStartCode(&longCode));
    EXPECT_EQ(5u, longCode.size());
    EXPECT_FALSE(LooksLikeKeyFrame(longCode.data(), longCode.size()));
    std::vector<uint8_t> none{0x41, 0, 0, 1};
    EXPECT_FALSE(EnsureLongStartCode(&none));
    EXPECT_EQ(-1, FirstNalType(none.data(), none.size()));
}
