#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "engine/decoder.h"
#include "engine/fakes/fakes.h"
#include "support/h264_footage.h"
#include "support/temp_dir.h"
#include "tools/locket-record/frame_marker_painter.h"

namespace locket {
namespace {

constexpr int kW = 160;
constexpr int kH = 96;

using Packet = std::vector<uint8_t>;
using testsupport::EncodeFootage;
using testsupport::Painter;

Painter Grey(int level) {
    return [level](cv::Mat& m, int) { m.setTo(cv::Scalar::all(level)); };
}
// Bright top-left quadrant on black: every mirror mode moves it to another corner.
void CornerMark(cv::Mat& m, int) {
    m(cv::Rect(0, 0, m.cols / 2, m.rows / 2)).setTo(cv::Scalar::all(255));
}

// A CornerMark picture bright only near `corner` (0 top-left, 1 top-right, 2 bottom-left,
// 3 bottom-right), with nothing written past the picture's bytes of a row.
void ExpectBrightCorner(const DrawnPicture& p, int corner) {
    const int bytes = p.pixelBytes;
    for (int y : {4, p.height - 5}) {
        const uint8_t* row = p.bgr.data() + y * p.stride;
        for (int x : {4, p.width - 5}) {
            const int want = (x > p.width / 2) + 2 * (y > p.height / 2) == corner ? 255 : 0;
            for (int k = 0; k < 3; ++k)  // within the encoder's rounding
                EXPECT_NEAR(row[x * bytes + k], want, 6) << x << "," << y;
            EXPECT_TRUE(bytes == 3 || row[x * bytes + 3] == 255) << "opaque";
        }
        EXPECT_EQ(std::vector<int>(row + p.width * bytes, row + p.stride),
                  std::vector<int>(p.stride - p.width * bytes, 0x5C));
    }
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(decoder.Open()); }

    bool Decode(int channel, CFakeVideoWindow* window, const Packet& p, bool show = true) {
        return decoder.DecodeFrame(channel, window, p.data(), static_cast<int>(p.size()), show);
    }
    // The still SaveFrame writes for `channel`, read back; empty when none was written.
    cv::Mat Still(int channel) {
        const std::string path = folder.File("still.jpg");
        std::filesystem::remove(path);
        return decoder.SaveFrame(channel, path.c_str()) ? cv::imread(path) : cv::Mat();
    }

    testsupport::TempDir folder{"decoder"};
    CDecoder decoder;
    CFakeVideoWindow front{kW, kH};
    CFakeVideoWindow rear{kW, kH};
};

TEST_F(DecoderTest, DrawsAtWindowSizeSavesAtDecodedSizeAndRefusesBadInput) {
    auto packets = EncodeFootage(kW, kH, 2, Grey(200));
    ASSERT_EQ(packets.size(), 2u);
    CFakeVideoWindow window(80, 48);
    // Without show the picture stays in the channel until a redraw.
    EXPECT_TRUE(Decode(0, &window, packets[0], false));
    ASSERT_TRUE(decoder.Redraw(0, &window));
    EXPECT_TRUE(Decode(0, &window, packets[1]));
    window.SetSize(200, 120);
    ASSERT_TRUE(decoder.Redraw(0, &window));

    auto drawn = window.Drawn();
    ASSERT_EQ(drawn.size(), 3u);
    const int widths[] = {80, 80, 200}, heights[] = {48, 48, 120};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(drawn[i].width, widths[i]);
        EXPECT_EQ(drawn[i].height, heights[i]);
        EXPECT_GT(drawn[i].Mean(0, 0, widths[i], heights[i]), 180);
    }

    // Bad channels and windows are refused without drawing; one pixel is a window.
    CFakeVideoWindow empty(0, 0), dot(1, 1);
    EXPECT_TRUE(Decode(0, &dot, packets[0]));
    EXPECT_EQ(dot.DrawCount(), 1u);
    EXPECT_FALSE(Decode(2, &front, packets[0]));
    EXPECT_FALSE(Decode(-1, &front, packets[0]));
    EXPECT_FALSE(Decode(0, nullptr, packets[0]));
    EXPECT_FALSE(decoder.Redraw(0, &empty));
    EXPECT_FALSE(decoder.Redraw(3, &front));
    EXPECT_EQ(empty.DrawCount() + front.DrawCount(), 0u);
    EXPECT_TRUE(Still(1).empty());  // nothing decoded on the rear channel yet

    // The still has the decoded size, of the channel clamped into range.
    Decode(1, &window, EncodeFootage(kW, kH, 1, Grey(30))[0]);
    cv::Mat f = Still(-1), r = Still(7);
    ASSERT_FALSE(r.empty());
    EXPECT_GT(cv::mean(f)[0], 180);
    EXPECT_LT(cv::mean(r)[0], 50);

    // A smaller recording in the same window: the scaler follows the new source, so its marker
    // reads back and its bright bottom-right quadrant fills the window's.
    Decode(0, &front, packets[0]);
    auto markedCorner = [](cv::Mat& m, int index) {
        m(cv::Rect(m.cols / 2, m.rows / 2, m.cols - m.cols / 2, m.rows - m.rows / 2))
            .setTo(cv::Scalar::all(255));
        PaintFrameMarker(m, 7 + index);
    };
    Decode(0, &front, EncodeFootage(64, 48, 1, markedCorner)[0]);
    DrawnPicture pic = front.Last();
    EXPECT_EQ(pic.Frame(), 7);
    EXPECT_GT(pic.Mean(kW / 2 + 8, kH / 2 + 8, kW / 2 - 16, kH / 2 - 16), 200);
    cv::Mat resized = Still(0);
    EXPECT_EQ(resized.cols, 64);
    EXPECT_EQ(resized.rows, 48);
}

TEST_F(DecoderTest, BrightnessAndContrastChangeDrawnPixels) {
    // Level 0 is neutral; contrast = level / 10 + 1 kept within [0.01, 2], brightness =
    // level / 10, applied to limited-range luma before the expansion to full range.
    auto expectedGrey = [](int luma, float brightness, float contrast) {
        double v = ((luma - 16) * contrast + brightness * 256.0) * 255.0 / 219.0;
        return std::clamp(v, 0.0, 255.0);
    };
    auto packets = EncodeFootage(kW, kH, 1, [](cv::Mat& m, int) {  // luma 40 and 100
        m.colRange(0, m.cols / 2).setTo(cv::Scalar::all(28));
        m.colRange(m.cols / 2, m.cols).setTo(cv::Scalar::all(98));
    });
    Decode(0, &front, packets[0]);
    // Levels of brightness and contrast, and the brightness and contrast they make.
    const float cases[][4] = {{0, 0, 0, 1},  {3, 0, 0.3f, 1}, {-3, 0, -0.3f, 1}, {0, -5, 0, 0.5f},
                              {0, 10, 0, 2}, {0, 15, 0, 2},   {0, -10, 0, 0.01f}};
    for (const auto& [brightness, contrast, b, c] : cases) {
        SCOPED_TRACE(testing::Message() << "brightness " << brightness << " contrast " << contrast);
        decoder.SetBrightness(0, static_cast<int>(brightness));
        decoder.SetContrast(0, static_cast<int>(contrast));
        ASSERT_TRUE(decoder.Redraw(0, &front));
        DrawnPicture p = front.Last();
        EXPECT_NEAR(p.Mean(8, 8, kW / 2 - 16, kH - 16), expectedGrey(40, b, c), 5);
        EXPECT_NEAR(p.Mean(kW / 2 + 8, 8, kW / 2 - 16, kH - 16), expectedGrey(100, b, c), 5);
    }

    // The rear channel keeps its own (neutral) settings.
    Decode(1, &rear, packets[0]);
    EXPECT_NEAR(rear.Last().Mean(8, 8, kW / 2 - 16, kH - 16), expectedGrey(40, 0, 1), 3);
}

TEST_F(DecoderTest, MirrorsStraightIntoEitherLayoutOnTheirChannelOnly) {
    const Packet picture = EncodeFootage(kW, kH, 1, CornerMark)[0];
    // Where the bright corner goes: as decoded, upside down, both axes, left-right; channel 7 is
    // the rear one, and an unknown mode shows it as decoded.
    const int modes[][2] = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {7, 7}};
    const int corners[] = {0, 2, 3, 1, 0};
    for (PixelLayout layout : {PixelLayout::kBgr24, PixelLayout::kBgrx32}) {
        CFakeVideoWindow window(80, 45, layout);
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message()
                         << "layout " << BytesPerPixel(layout) << " mode " << modes[i][1]);
            decoder.SetFlip(modes[i][0], modes[i][1]);
            ASSERT_TRUE(Decode(1, &window, picture));
            ExpectBrightCorner(window.Last(), corners[i]);
        }
    }
    decoder.SetFlip(1, 1);
    Decode(0, &front, picture);
    ExpectBrightCorner(front.Last(), 0);

    // A JPEG start or garbage yields no picture but draws the mirrored one again, not flipped
    // back.
    Decode(1, &rear, picture);
    DrawnPicture mirrored = rear.Last();
    for (const Packet& none :
         {Packet{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F'}, Packet(64, 0x5A)}) {
        const size_t drawn = rear.DrawCount();
        EXPECT_TRUE(Decode(1, &rear, none));
        EXPECT_EQ(rear.DrawCount(), drawn + 1);
        EXPECT_EQ(rear.Last().bgr, mirrored.bgr);
    }

    // The saved still is never mirrored.
    decoder.SetFlip(1, 2);
    cv::Mat still = Still(1);
    ASSERT_FALSE(still.empty());
    EXPECT_GT(still.at<cv::Vec3b>(kH / 4, kW / 4)[1], 200);
    EXPECT_LT(still.at<cv::Vec3b>(3 * kH / 4, 3 * kW / 4)[1], 50);
}

TEST_F(DecoderTest, HiddenWindowsDecodeOnOrWaitForTheNextKeyFrame) {
    // A window that is not shown still decodes, so it shows the current picture once shown.
    // One of zero size skips from frame 10 to 33: it misses the key frame 24 and comes back where
    // the frame numbers run on as if nothing was missed, so only the next key frame, 48, is safe.
    auto packets = EncodeFootage(kW, kH, 56, [](cv::Mat& m, int i) { PaintFrameMarker(m, i); });
    ASSERT_EQ(packets.size(), 56u);
    rear.SetShown(false);
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(Decode(1, &rear, packets[i]));
    EXPECT_FALSE(decoder.Redraw(1, &rear));
    EXPECT_EQ(rear.DrawCount(), 0u);
    rear.SetShown(true);
    ASSERT_TRUE(decoder.Redraw(1, &rear));
    EXPECT_EQ(rear.Last().Frame(), 9);

    rear.SetSize(0, 0);
    for (int i = 10; i < 34; ++i)
        EXPECT_FALSE(Decode(1, &rear, packets[i]));
    rear.SetSize(kW, kH);
    rear.ClearDrawn();
    for (int i = 34; i < 56; ++i)
        EXPECT_TRUE(Decode(1, &rear, packets[i]));
    auto drawn = rear.Drawn();
    ASSERT_EQ(drawn.size(), 22u);
    for (int i = 34; i < 56; ++i)
        EXPECT_EQ(drawn[i - 34].Frame(), i < 48 ? 9 : i) << i;
}

}  // namespace
}  // namespace locket
