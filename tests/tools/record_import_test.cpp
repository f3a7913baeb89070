#include <gtest/gtest.h>

#include <cstdio>

#include "record_test_support.h"
#include "tools/locket-record/road_scene.h"

using namespace locket;
using namespace locket::recordtest;

namespace {

constexpr const char* kName = "MANUAL_20240301_120000_F";
constexpr int kWidth = 160, kHeight = 96, kFps = 25;

// Runs the tool on the footage: its exit status, and all it said.
int Import(const std::string& card, const std::string& footage, std::string* said) {
    return Shell(
        kRecorderTool + " '" + card + "' --import '" + footage + "' --one " + kName + " --quiet",
        said);
}

}  // namespace

// Footage off the recorder's layout is encoded anew; footage in it keeps its packets; a file
// without video is refused with a message naming it.
TEST(RecordImport, FootageIsEncodedAnewOnlyWhenOffTheGroupsOf24AndKeepsItsPacketsOtherwise) {
    TempDir dir("import");
    const std::string layout = "-g 24 -keyint_min 24 -sc_threshold 0 -bf 0 -pix_fmt yuv420p ";
    // ffmpeg's defaults: a key frame every 250 pictures, B-frames. Delimiters in front of each
    // picture would hide its type from the player's byte test.
    const struct {
        const char* file;
        int seconds;
        std::string encoding;
        bool kept;
    } sources[] = {{"defaults.mp4", 12, "", false},
                   {"no-b.h264", 2, "-bf 0", false},
                   {"kept.h264", 2, layout, true},
                   {"kept.mp4", 2, layout, true},
                   {"kept-aud.h264", 2, layout + "-x264-params aud=1", true}};
    // Footage as someone else's camera or editor would make it: the recorder's own pictures,
    // each with its frame marker, through ffmpeg with the source's options.
    const std::string ffmpegRaw = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " +
                                  std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -r " +
                                  std::to_string(kFps) + " -i - ";
    const CRoadScene scene(kWidth, kHeight, false, 7);
    cv::Mat picture;
    std::vector<Packet> raw;
    for (const auto& source : sources) {
        SCOPED_TRACE(source.file);
        const std::string footage = dir.path() + "/" + source.file;
        FILE* ffmpeg = popen((ffmpegRaw + source.encoding + " '" + footage + "'").c_str(), "w");
        ASSERT_NE(nullptr, ffmpeg);
        for (int i = 0; i < source.seconds * kFps; ++i) {
            SceneInput in;
            in.frame = i;
            in.seconds = static_cast<double>(i) / kFps;  // the car ahead moves
            scene.Draw(in, &picture);
            std::fwrite(picture.data, picture.elemSize(), picture.total(), ffmpeg);
        }
        ASSERT_EQ(0, pclose(ffmpeg));
        const std::string card = dir.path() + "/card-" + source.file;
        std::string said;
        ASSERT_EQ(0, Import(card, footage, &said)) << said;
        if (source.kept)
            EXPECT_EQ("", said);
        else
            EXPECT_NE(std::string::npos, said.find("encoded anew")) << said;

        TatHandle tat = TatCreate();
        ASSERT_NE(0, TatRegisterCardFolder(tat, card.c_str()));
        const RecordingInfo info = QueryRecording(tat, kName);
        TatDestroy(tat);
        EXPECT_EQ(std::make_tuple(kFps, kWidth, kHeight, source.seconds * kFps), info.Camera(0));
        EXPECT_EQ(std::make_tuple(0, 0, 0, 0), info.Camera(1));
        std::vector<Packet> video;
        int audio = 0, text = 0;
        CFFMH264_Decoder decoder;
        for (Packet& p : ReadPackets(card + "/MANUAL/" + kName + ".tat")) {
            audio += p.kind == kTatKindAudio;
            text += p.kind == kTatKindText;
            if (!p.IsVideo())
                continue;
            EXPECT_EQ(0, p.stream);
            ExpectPicture(p, static_cast<int>(video.size()), kFps, decoder);
            video.push_back(std::move(p));
        }
        EXPECT_EQ(source.seconds * 5, audio);  // sound in 200 ms packets
        EXPECT_GT(text, source.seconds * 10);
        if (!source.kept)
            continue;
        if (raw.empty()) {
            // The raw stream's pictures, one after another, are the file as ffmpeg wrote it.
            std::string stored;
            for (const Packet& p : video)
                stored.append(p.data.begin(), p.data.end());
            EXPECT_EQ(ReadText(footage), stored);
            raw = video;
        } else {
            // MP4 keeps its parameter sets apart; the predicted pictures are the same bytes.
            ASSERT_EQ(raw.size(), video.size());
            for (size_t i = 0; i < video.size(); ++i)
                EXPECT_TRUE(video[i].kind != kTatKindVideo || raw[i].data == video[i].data) << i;
        }
    }

    const std::string notVideo = dir.path() + "/notes.txt";
    ASSERT_TRUE(WriteText(notVideo, "no pictures here\n"));
    std::string said;
    EXPECT_NE(0, Import(dir.path() + "/card", notVideo, &said));
    EXPECT_NE(std::string::npos, said.find("notes.txt")) << said;
}
