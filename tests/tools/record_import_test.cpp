#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "record_test_support.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/video_import.h"

using namespace locket;
using namespace locket::recordtest;

namespace {

constexpr const char* kName = "MANUAL_20240301_120000_F";

// Test footage made by the ffmpeg command: 2 s at 25 fps, a key frame every 10 pictures.
bool MakeFootage(const std::string& path, const char* bframes) {
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=25:duration=2 "
        "-c:v libx264 -preset ultrafast -g 10 -keyint_min 10 -sc_threshold 0 -bf " +
        std::string(bframes) + " -pix_fmt yuv420p '" + path + "'";
    return std::system(command.c_str()) == 0;
}

int Import(const std::string& card, const std::string& footage, std::string* error) {
    return MakeCard({card.c_str(), "--import", footage.c_str(), "--one", kName, "--quiet"}, error);
}

}  // namespace

TEST(RecordImport, Mp4AndRawFootageBecomeAPlayableRecording) {
    TempDir dir("import");
    for (const char* ext : {"mp4", "h264"}) {
        SCOPED_TRACE(ext);
        const std::string footage = dir.path() + "/footage." + ext;
        ASSERT_TRUE(MakeFootage(footage, "0"));
        const std::string card = dir.path() + "/card-" + ext;
        std::string error;
        ASSERT_EQ(0, Import(card, footage, &error)) << error;

        TatHandle tat = TatCreate();
        ASSERT_NE(0, TatRegisterCardFolder(tat, card.c_str()));
        RecordingInfo info;
        ASSERT_TRUE(Query(tat, kName, &info));
        TatDestroy(tat);
        EXPECT_EQ(std::make_tuple(25, 176, 144, 50), info.Camera(0));
        EXPECT_EQ(std::make_tuple(0, 0, 0, 0), info.Camera(1));

        TestDecoder decoder;
        cv::Mat bgr;
        int frames = 0, audio = 0, text = 0;
        for (const Packet& p : ReadAll(card + "/MANUAL/" + kName + ".tat")) {
            audio += p.kind == kTatKindAudio;
            text += p.kind == kTatKindText;
            if (!p.IsVideo())
                continue;
            SCOPED_TRACE(frames);
            ASSERT_GE(p.data.size(), 5u);
            EXPECT_EQ(0, p.stream);
            EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1}),
                      std::vector<uint8_t>(p.data.begin(), p.data.begin() + 4));
            // Key frames come from the container; the player's byte test agrees with them.
            const bool key = frames % 10 == 0;
            EXPECT_EQ(key, p.kind == kTatKindGroupStart);
            EXPECT_EQ(key, LooksLikeKeyFrame(p.data.data(), p.data.size()));
            EXPECT_EQ(static_cast<uint32_t>(frames * 40), p.timeMs);
            EXPECT_EQ(1, decoder.Decode(p.data.data(), p.data.size(), &bgr));
            EXPECT_EQ(176, bgr.cols);
            ++frames;
        }
        EXPECT_EQ(50, frames);
        EXPECT_EQ(10, audio);  // 2 s of sound in 200 ms packets
        EXPECT_GT(text, 20);
    }
}

TEST(RecordImport, RefusesFootageWithBFramesOrWithoutVideo) {
    TempDir dir("import-bad");
    const std::string bframes = dir.path() + "/b.mp4";
    ASSERT_TRUE(MakeFootage(bframes, "2"));
    std::string error;
    EXPECT_NE(0, Import(dir.path() + "/card1", bframes, &error));
    EXPECT_NE(std::string::npos, error.find("B-frames")) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/card1/MANUAL/" + kName + ".tat"));

    const std::string notVideo = dir.path() + "/notes.txt";
    std::ofstream(notVideo) << "no pictures here\n";
    CVideoImport import;
    error.clear();
    EXPECT_FALSE(import.Open(notVideo, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(0, Import(dir.path() + "/card2", notVideo, &error));
}
