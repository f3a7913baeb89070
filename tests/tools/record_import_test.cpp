#include <gtest/gtest.h>

#include <cstdlib>

#include "record_test_support.h"
#include "tat/tat_library.h"
#include "tat/tat_reader.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"
#include "tools/locket-record/video_import.h"

using namespace locket;
using locket::recordtest::TempDir;
using locket::recordtest::TestDecoder;

namespace {

// Test footage made by the ffmpeg command: 2 s at 25 fps, a key frame every 10 pictures.
bool MakeFootage(const std::string& path, const char* extra = "-bf 0") {
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=25:duration=2 "
        "-c:v libx264 -preset ultrafast -g 10 -keyint_min 10 -sc_threshold 0 " +
        std::string(extra) + " -pix_fmt yuv420p '" + path + "'";
    return std::system(command.c_str()) == 0;
}

int Import(const std::string& card, const std::string& footage, std::string* error) {
    std::vector<const char*> args{"locket-record", card.c_str(), "--import",
                                  footage.c_str(), "--one",      "MANUAL_20240301_120000_F",
                                  "--quiet"};
    RecordOptions o;
    if (!ParseRecordOptions(static_cast<int>(args.size()), args.data(), &o, error))
        return -1;
    return WriteCard(o, error);
}

}  // namespace

TEST(RecordImport, Mp4AndRawFootageBecomeAPlayableRecording) {
    TempDir dir("import");
    for (const char* ext : {"mp4", "h264"}) {
        SCOPED_TRACE(ext);
        const std::string footage = dir.path() + "/footage." + ext;
        ASSERT_TRUE(MakeFootage(footage));
        const std::string card = dir.path() + "/card-" + ext;
        std::string error;
        ASSERT_EQ(0, Import(card, footage, &error)) << error;

        TatHandle tat = TatCreate();
        ASSERT_NE(0, TatRegisterCardFolder(tat, card.c_str()));
        uint8_t desc[kTatDescriptionBytes], b244[244], b40[40];
        char counts[kTatCountsTextBytes];
        int32_t count0 = 0, count1 = -1;
        ASSERT_NE(0, TatQueryRecording(tat, "MANUAL_20240301_120000_F", desc, &count0, &count1,
                                       b244, counts, b40));
        EXPECT_EQ(25, desc[3]);
        EXPECT_EQ(0, desc[4]);
        EXPECT_EQ(176, desc[52] | (desc[53] << 8));
        EXPECT_EQ(144, desc[20] | (desc[21] << 8));
        EXPECT_EQ(50, count0);
        EXPECT_EQ(0, count1);
        TatDestroy(tat);

        CTatReader reader;
        ASSERT_TRUE(reader.Open(card + "/MANUAL/MANUAL_20240301_120000_F.tat"));
        std::vector<uint8_t> buffer(1 << 20);
        TatPacketInfo info;
        TestDecoder decoder;
        cv::Mat bgr;
        int frames = 0, audio = 0, text = 0;
        while (reader.ReadPacket(buffer.data(), static_cast<uint32_t>(buffer.size()), &info) ==
               kTatPacket) {
            if (info.kind == kTatKindAudio) {
                ++audio;
                continue;
            }
            if (info.kind == kTatKindText) {
                ++text;
                continue;
            }
            SCOPED_TRACE(frames);
            ASSERT_GE(info.size, 5u);
            EXPECT_EQ(0, info.stream);
            EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1}),
                      std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4));
            // Key frames come from the container; the player's byte test agrees with them.
            const bool key = frames % 10 == 0;
            EXPECT_EQ(key, info.kind == kTatKindGroupStart);
            EXPECT_EQ(key, LooksLikeKeyFrame(buffer.data(), info.size));
            EXPECT_EQ(static_cast<uint32_t>(frames * 40), info.timeMs);
            EXPECT_EQ(1, decoder.Decode(buffer.data(), info.size, &bgr));
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
    ASSERT_TRUE(MakeFootage(bframes, "-bf 2"));
    std::string error;
    EXPECT_NE(0, Import(dir.path() + "/card1", bframes, &error));
    EXPECT_NE(std::string::npos, error.find("B-frames")) << error;
    EXPECT_FALSE(
        std::filesystem::exists(dir.path() + "/card1/MANUAL/MANUAL_20240301_120000_F.tat"));

    const std::string notVideo = dir.path() + "/notes.txt";
    FILE* f = std::fopen(notVideo.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fputs("no pictures here\n", f);
    std::fclose(f);
    CVideoImport import;
    EXPECT_FALSE(import.Open(notVideo, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(0, Import(dir.path() + "/card2", notVideo, &error));
}
