#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "engine/decoder.h"
#include "engine/fakes/fake_video_window.h"
#include "engine/h264_source.h"

namespace locket {
namespace {

constexpr int kW = 160;
constexpr int kH = 96;

// Bright top-left quadrant on black: every mirror mode moves it to another corner.
LumaPainter CornerMark() {
    return [](uint8_t* y, int stride, int width, int height, int) {
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x)
                y[row * stride + x] = (row < height / 2 && x < width / 2) ? 235 : 16;
    };
}

// Left half dark grey, right half mid grey: both stay clear of white at twice the contrast,
// which scales around black.
LumaPainter TwoLevels() {
    return [](uint8_t* y, int stride, int width, int height, int) {
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x)
                y[row * stride + x] = x < width / 2 ? 40 : 100;
    };
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("locket_decoder_") + std::to_string(::getpid()) + "_" + name))
        .string();
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(decoder.Open()); }

    // Decodes the packets on `channel` with show on and returns the last picture drawn.
    DrawnPicture Play(int channel, const std::vector<Packet>& packets, CFakeVideoWindow* window) {
        for (const auto& p : packets)
            decoder.DecodeFrame(channel, window, p.data(), static_cast<int>(p.size()), true);
        return window->Last();
    }

    CDecoder decoder;
    CFakeVideoWindow front{kW, kH};
    CFakeVideoWindow rear{kW, kH};
};

TEST_F(DecoderTest, DrawsAtWindowSizeAndRedrawsLastPictureAfterResize) {
    auto packets = EncodeH264(kW, kH, 3, UniformLuma(200));
    ASSERT_EQ(packets.size(), 3u);

    CFakeVideoWindow window(80, 48);
    // Without show the picture stays in the channel.
    EXPECT_TRUE(decoder.DecodeFrame(0, &window, packets[0].data(),
                                    static_cast<int>(packets[0].size()), false));
    EXPECT_EQ(window.DrawCount(), 0u);
    ASSERT_TRUE(decoder.Redraw(0, &window));
    DrawnPicture first = window.Last();
    EXPECT_EQ(first.width, 80);
    EXPECT_EQ(first.height, 48);
    EXPECT_GT(first.Mean(0, 0, 80, 48), 180);

    EXPECT_TRUE(decoder.DecodeFrame(0, &window, packets[1].data(),
                                    static_cast<int>(packets[1].size()), true));
    EXPECT_EQ(window.DrawCount(), 2u);

    window.SetSize(200, 120);
    ASSERT_TRUE(decoder.Redraw(0, &window));
    DrawnPicture resized = window.Last();
    EXPECT_EQ(resized.width, 200);
    EXPECT_EQ(resized.height, 120);
    EXPECT_GT(resized.Mean(0, 0, 200, 120), 180);
}

TEST_F(DecoderTest, RefusesBadChannelsWindowsAndJpegPackets) {
    auto packets = EncodeH264(kW, kH, 2, UniformLuma(200));
    const Packet& p = packets[0];
    int n = static_cast<int>(p.size());

    EXPECT_FALSE(decoder.DecodeFrame(2, &front, p.data(), n, true));
    EXPECT_FALSE(decoder.DecodeFrame(-1, &front, p.data(), n, true));
    EXPECT_FALSE(decoder.DecodeFrame(0, nullptr, p.data(), n, true));
    CFakeVideoWindow empty(0, 0);
    EXPECT_FALSE(decoder.DecodeFrame(0, &empty, p.data(), n, true));
    EXPECT_FALSE(decoder.Redraw(0, &empty));
    EXPECT_FALSE(decoder.Redraw(3, &front));
    EXPECT_EQ(empty.DrawCount(), 0u);
    EXPECT_EQ(front.DrawCount(), 0u);
    // Nothing decoded on the rear channel yet.
    EXPECT_FALSE(decoder.SaveFrame(1, TempPath("none.jpg").c_str()));

    // A JPEG start is not decoded but the current picture is still drawn.
    decoder.DecodeFrame(0, &front, p.data(), n, true);
    DrawnPicture before = front.Last();
    Packet jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    EXPECT_TRUE(decoder.DecodeFrame(0, &front, jpeg.data(), static_cast<int>(jpeg.size()), true));
    EXPECT_EQ(front.DrawCount(), 2u);
    EXPECT_EQ(front.Last().bgr, before.bgr);
    // Garbage is a failed decode that keeps the picture; the channel decodes on afterwards.
    Packet junk(64, 0x5A);
    decoder.DecodeFrame(0, &front, junk.data(), static_cast<int>(junk.size()), true);
    EXPECT_EQ(front.Last().bgr, before.bgr);
    EXPECT_TRUE(decoder.DecodeFrame(0, &front, packets[1].data(),
                                    static_cast<int>(packets[1].size()), true));
}

// What the scaler makes of a limited-range luma value: brightness and contrast in 16.16 fixed
// point, applied before the expansion to full range and clipped to 8 bits.
double ExpectedGrey(int luma, int brightnessLevel, int contrastLevel) {
    double v = ((luma - 16) * CDecoder::ContrastOfLevel(contrastLevel) +
                CDecoder::BrightnessOfLevel(brightnessLevel) * 256.0) *
               255.0 / 219.0;
    return std::clamp(v, 0.0, 255.0);
}

TEST_F(DecoderTest, BrightnessAndContrastChangeDrawnPixels) {
    EXPECT_FLOAT_EQ(CDecoder::BrightnessOfLevel(5), 0.5f);
    EXPECT_FLOAT_EQ(CDecoder::ContrastOfLevel(15), 2.0f);
    EXPECT_FLOAT_EQ(CDecoder::ContrastOfLevel(-10), 0.01f);
    EXPECT_FLOAT_EQ(CDecoder::ContrastOfLevel(0), 1.0f);

    auto packets = EncodeH264(kW, kH, 1, TwoLevels());
    Play(0, packets, &front);
    auto sides = [&] {
        DrawnPicture p = front.Last();
        return std::make_pair(p.Mean(8, 8, kW / 2 - 16, kH - 16),
                              p.Mean(kW / 2 + 8, 8, kW / 2 - 16, kH - 16));
    };
    const double kTolerance = 3.0;
    auto [dark, light] = sides();
    EXPECT_NEAR(dark, ExpectedGrey(40, 0, 0), kTolerance);
    EXPECT_NEAR(light, ExpectedGrey(100, 0, 0), kTolerance);

    for (int level : {1, 3, 5, -1, -3}) {
        decoder.SetBrightness(0, level);
        ASSERT_TRUE(decoder.Redraw(0, &front));
        auto [d, l] = sides();
        EXPECT_NEAR(d, ExpectedGrey(40, level, 0), kTolerance) << "brightness " << level;
        EXPECT_NEAR(l, ExpectedGrey(100, level, 0), kTolerance) << "brightness " << level;
    }
    decoder.SetBrightness(0, 0);

    for (int level : {-5, 5, 10, 15}) {
        decoder.SetContrast(0, level);
        ASSERT_TRUE(decoder.Redraw(0, &front));
        auto [d, l] = sides();
        EXPECT_NEAR(d, ExpectedGrey(40, 0, level), kTolerance) << "contrast " << level;
        EXPECT_NEAR(l, ExpectedGrey(100, 0, level), kTolerance) << "contrast " << level;
    }

    // The rear channel keeps its own settings.
    DrawnPicture rearPicture = Play(1, packets, &rear);
    EXPECT_NEAR(rearPicture.Mean(8, 8, kW / 2 - 16, kH - 16), dark, 2);
}

TEST_F(DecoderTest, MirrorModesMoveTheMarkedCornerOnTheirChannelOnly) {
    auto packets = EncodeH264(kW, kH, 1, CornerMark());
    const Packet& p = packets[0];
    int n = static_cast<int>(p.size());
    decoder.DecodeFrame(0, &front, p.data(), n, false);
    decoder.DecodeFrame(1, &rear, p.data(), n, false);

    // Which quadrant is bright: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
    auto brightQuadrant = [](const DrawnPicture& pic) {
        int qw = pic.width / 2, qh = pic.height / 2;
        int best = -1;
        double bestMean = 0;
        for (int q = 0; q < 4; ++q) {
            double m = pic.Mean((q % 2) * qw + 4, (q / 2) * qh + 4, qw - 8, qh - 8);
            if (m > bestMean) {
                bestMean = m;
                best = q;
            }
        }
        return best;
    };

    const int expected[] = {0, 2, 3, 1};  // modes 0..3
    for (int mode = 0; mode < 4; ++mode) {
        decoder.SetFlip(1, mode);
        ASSERT_TRUE(decoder.Redraw(1, &rear));
        EXPECT_EQ(brightQuadrant(rear.Last()), expected[mode]) << "mode " << mode;
        ASSERT_TRUE(decoder.Redraw(0, &front));
        EXPECT_EQ(brightQuadrant(front.Last()), 0) << "front under rear mode " << mode;
    }
    decoder.SetFlip(7, 7);  // channel 7 is the rear one; an unknown mode shows it as decoded
    ASSERT_TRUE(decoder.Redraw(1, &rear));
    EXPECT_EQ(brightQuadrant(rear.Last()), 0);

    // The saved still is never mirrored.
    decoder.SetFlip(1, 2);
    std::string path = TempPath("mirror.jpg");
    ASSERT_TRUE(decoder.SaveFrame(1, path.c_str()));
    cv::Mat still = cv::imread(path);
    std::filesystem::remove(path);
    ASSERT_FALSE(still.empty());
    EXPECT_GT(still.at<cv::Vec3b>(kH / 4, kW / 4)[1], 200);
    EXPECT_LT(still.at<cv::Vec3b>(3 * kH / 4, 3 * kW / 4)[1], 50);
}

TEST_F(DecoderTest, SaveFrameWritesDecodedSizeAndClampsTheChannel) {
    auto bright = EncodeH264(kW, kH, 1, UniformLuma(220));
    auto dark = EncodeH264(kW, kH, 1, UniformLuma(30));
    CFakeVideoWindow small(40, 24);
    decoder.DecodeFrame(0, &small, bright[0].data(), static_cast<int>(bright[0].size()), true);
    decoder.DecodeFrame(1, &small, dark[0].data(), static_cast<int>(dark[0].size()), true);

    std::string frontPath = TempPath("front.jpg");
    std::string rearPath = TempPath("rear.jpg");
    ASSERT_TRUE(decoder.SaveFrame(-1, frontPath.c_str()));
    ASSERT_TRUE(decoder.SaveFrame(7, rearPath.c_str()));
    cv::Mat f = cv::imread(frontPath);
    cv::Mat r = cv::imread(rearPath);
    std::filesystem::remove(frontPath);
    std::filesystem::remove(rearPath);
    ASSERT_FALSE(f.empty());
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(f.cols, kW);
    EXPECT_EQ(f.rows, kH);
    EXPECT_GT(cv::mean(f)[0], 190);
    EXPECT_LT(cv::mean(r)[0], 50);

    // The display size afterwards is unaffected by the capture's scaler.
    ASSERT_TRUE(decoder.Redraw(0, &small));
    EXPECT_EQ(small.Last().width, 40);
    EXPECT_GT(small.Last().Mean(0, 0, 40, 24), 190);
}

TEST_F(DecoderTest, NewPictureSizeOnTheSameChannelIsScaledFromItsOwnGeometry) {
    auto large = EncodeH264(kW, kH, 1, UniformLuma(30));
    auto smaller = EncodeH264(64, 48, 1, CornerMark());
    Play(0, large, &front);
    DrawnPicture pic = Play(0, smaller, &front);
    ASSERT_EQ(pic.width, kW);
    // The new picture fills the window: bright top-left quadrant, dark elsewhere.
    EXPECT_GT(pic.Mean(8, 8, kW / 2 - 16, kH / 2 - 16), 200);
    EXPECT_LT(pic.Mean(kW / 2 + 8, kH / 2 + 8, kW / 2 - 16, kH / 2 - 16), 40);
    std::string path = TempPath("resized.jpg");
    ASSERT_TRUE(decoder.SaveFrame(0, path.c_str()));
    cv::Mat still = cv::imread(path);
    std::filesystem::remove(path);
    EXPECT_EQ(still.cols, 64);
    EXPECT_EQ(still.rows, 48);
}

}  // namespace
}  // namespace locket
