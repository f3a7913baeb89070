#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "record_test_support.h"
#include "support/frame_marker.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/frame_marker_painter.h"
#include "tools/locket-record/h264_encoder.h"
#include "tools/locket-record/road_scene.h"

using namespace locket;
using locket::recordtest::TestDecoder;

namespace {

// Encodes `frames` road pictures of the given size and returns the packets.
std::vector<EncodedPacket> EncodeScene(int width, int height, int frames) {
    CH264Encoder encoder;
    EXPECT_TRUE(encoder.Open(width, height, 30));
    CRoadScene scene(width, height, false, 3);
    std::vector<EncodedPacket> packets;
    cv::Mat picture;
    for (int i = 0; i < frames; ++i) {
        SceneInput in;
        in.frame = i;
        in.distanceM = i * 0.5;
        in.speedKmh = 54;
        in.seconds = i / 30.0;
        in.clockText = "2024/03/01 08:30:00";
        scene.Draw(in, &picture);
        EXPECT_TRUE(encoder.Encode(picture, &packets));
    }
    EXPECT_TRUE(encoder.Flush(&packets));
    return packets;
}

std::vector<int> NalTypes(const std::vector<uint8_t>& au) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < au.size(); ++i)
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1)
            types.push_back(au[i + 3] & 0x1F);
    return types;
}

}  // namespace

TEST(RecordEncoder, StreamsLikeTheRecorder_KeyEvery24WithParameterSetsAndOneUnitPerPacket) {
    const std::vector<EncodedPacket> packets = EncodeScene(160, 120, 60);
    ASSERT_EQ(60u, packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        const std::vector<uint8_t>& au = packets[i].data;
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<int64_t>(i), packets[i].frame);
        ASSERT_GT(au.size(), 5u);
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1}),
                  std::vector<uint8_t>(au.begin(), au.begin() + 4));
        const bool key = i % CH264Encoder::kGroupLength == 0;
        EXPECT_EQ(key, packets[i].key);
        // The player's test on byte 4 must agree with the real picture type.
        EXPECT_EQ(key, LooksLikeKeyFrame(au.data(), au.size()));
        const std::vector<int> types = NalTypes(au);
        if (key) {
            EXPECT_EQ(0x67, au[4]);
            ASSERT_GE(types.size(), 3u);
            EXPECT_EQ(7, types[0]);
            EXPECT_EQ(8, types[1]);
            EXPECT_EQ(5, types.back());
        } else {
            EXPECT_EQ(0x41, au[4]);
            EXPECT_EQ(std::vector<int>{1}, types);  // one slice, nothing else
        }
    }
}

TEST(RecordEncoder, RefusesOddSizesAndPicturesOfAnotherSize) {
    CH264Encoder encoder;
    EXPECT_FALSE(encoder.Open(161, 120, 30));
    EXPECT_FALSE(encoder.Open(160, 120, 0));
    ASSERT_TRUE(encoder.Open(160, 120, 30));
    std::vector<EncodedPacket> packets;
    cv::Mat wrong(64, 96, CV_8UC3, cv::Scalar(0, 0, 0));
    EXPECT_FALSE(encoder.Encode(wrong, &packets));
    EXPECT_TRUE(packets.empty());
}

TEST(FrameMarker, SurvivesEncodeAndDecodeAtSmallAndLargeSizes) {
    struct Size {
        int w, h;
    };
    for (Size s : {Size{96, 64}, Size{160, 120}, Size{640, 360}}) {
        SCOPED_TRACE(s.w);
        const std::vector<EncodedPacket> packets = EncodeScene(s.w, s.h, 30);
        TestDecoder decoder;
        ASSERT_TRUE(decoder.ok());
        cv::Mat bgr;
        for (size_t i = 0; i < packets.size(); ++i) {
            ASSERT_EQ(1, decoder.Decode(packets[i].data.data(), packets[i].data.size(), &bgr)) << i;
            EXPECT_EQ(static_cast<int>(i),
                      ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step)));
            const AVFrame* f = decoder.LastFrame();
            EXPECT_EQ(static_cast<int>(i),
                      ReadFrameNumberLuma(f->data[0], f->width, f->height, f->linesize[0]));
        }
    }
}

TEST(FrameMarker, ReadsScaledPicturesAndRejectsPicturesWithoutMarker) {
    cv::Mat picture(120, 160, CV_8UC3, cv::Scalar(200, 150, 90));
    for (int n : {0, 1, 0x5A5A, 65535, 12345}) {
        PaintFrameMarker(picture, n);
        EXPECT_EQ(n, ReadFrameNumber(picture.data, 160, 120, static_cast<int>(picture.step)));
        // The player scales to its window, also unevenly and down.
        for (cv::Size to : {cv::Size(517, 300), cv::Size(120, 90)}) {
            cv::Mat scaled;
            cv::resize(picture, scaled, to, 0, 0, cv::INTER_AREA);
            EXPECT_EQ(n, ReadFrameNumber(scaled.data, scaled.cols, scaled.rows,
                                         static_cast<int>(scaled.step)))
                << to.width;
        }
    }
    // Numbers wrap at 16 bits.
    PaintFrameMarker(picture, 65536 + 7);
    EXPECT_EQ(7, ReadFrameNumber(picture.data, 160, 120, static_cast<int>(picture.step)));

    cv::Mat black(120, 160, CV_8UC3, cv::Scalar(0, 0, 0));
    cv::Mat white(120, 160, CV_8UC3, cv::Scalar(255, 255, 255));
    EXPECT_EQ(-1, ReadFrameNumber(black.data, 160, 120, static_cast<int>(black.step)));
    EXPECT_EQ(-1, ReadFrameNumber(white.data, 160, 120, static_cast<int>(white.step)));
    EXPECT_EQ(-1, ReadFrameNumber(nullptr, 160, 120, 480));
    // A marker with one data cell flipped fails its check bits.
    PaintFrameMarker(picture, 0x1234);
    const int cell = FrameMarkerCell(160, 120);
    cv::Rect bit(5 * cell, 0, cell, cell);
    cv::Mat(picture, bit)
        .setTo(picture.at<cv::Vec3b>(cell / 2, 5 * cell + cell / 2)[0] > 128
                   ? cv::Scalar(0, 0, 0)
                   : cv::Scalar(255, 255, 255));
    EXPECT_EQ(-1, ReadFrameNumber(picture.data, 160, 120, static_cast<int>(picture.step)));
}

TEST(AnnexB, LengthensShortStartCodesAndFindsTheFirstNal) {
    std::vector<uint8_t> shortCode{0, 0, 1, 0x65, 0x88};
    ASSERT_TRUE(EnsureLongStartCode(&shortCode));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1, 0x65, 0x88}), shortCode);
    EXPECT_EQ(5, FirstNalType(shortCode.data(), shortCode.size()));
    std::vector<uint8_t> longCode{0, 0, 0, 1, 0x41};
    ASSERT_TRUE(EnsureLongStartCode(&longCode));
    EXPECT_EQ(5u, longCode.size());
    std::vector<uint8_t> none{0x41, 0, 0, 1};
    EXPECT_FALSE(EnsureLongStartCode(&none));
    EXPECT_EQ(-1, FirstNalType(none.data(), none.size()));
    EXPECT_FALSE(LooksLikeKeyFrame(longCode.data(), longCode.size()));
}
