#include "files/mp4_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evidence_test_support.h"
#include "tat/tat_test_util.h"

using namespace locket;
using namespace evidence_test;

namespace {

// The NAL units of an Annex B stream, each as its bytes.
std::vector<std::vector<uint8_t>> Units(const std::vector<uint8_t>& annexB) {
    std::vector<std::vector<uint8_t>> units;
    for (const auto& [p, n] : AnnexBUnits(annexB.data(), annexB.size()))
        units.emplace_back(p, p + n);
    return units;
}

}  // namespace

TEST(Mp4Writer, AnnexBUnitsAndKeyFrames) {
    const std::vector<uint8_t> au = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 9};
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{{0x67, 1, 2}, {0x68, 3}, {0x65, 9}}), Units(au));
    EXPECT_TRUE(CMP4Writer::IsKeyFrame(au.data(), au.size()));
    const std::vector<uint8_t> p = {0, 0, 1, 0x41, 7};
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(p.data(), p.size()));
    const uint8_t shortest[] = {0, 0, 1, 0x65}, parameterSetsOnly[] = {0, 0, 1, 0x67, 1};
    EXPECT_TRUE(CMP4Writer::IsKeyFrame(shortest, sizeof shortest));
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(parameterSetsOnly, sizeof parameterSetsOnly));
    // 00 07 01 inside a parameter set is no start code.
    const uint8_t falseStart[] = {0, 0, 1, 0x67, 0, 7, 1, 0x65, 0, 0, 1, 0x41};
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(falseStart, sizeof falseStart));
    // A start code with nothing after it ends the unit before it and makes none.
    EXPECT_EQ(std::vector<std::vector<uint8_t>>{{0x65}}, Units({0, 0, 1, 0x65, 0, 0, 1}));
    CMP4Writer writer;
    EXPECT_EQ(-1, writer.AddVideoTrack(64, 48, 30, p.data(), p.size())) << "no parameter sets";
}

TEST(Mp4Writer, TwoCamerasAndAacReadBackByFfprobeWithTheSamePictures) {
    TempDir card;
    ASSERT_TRUE(MakeCard(card.path(), {"--seconds", "4", "--count", "1", "--only", "REC", "--size",
                                       "96x64", "--rear-size", "64x48", "--rear"}));
    std::vector<test::Packet> media = test::ReadPackets(Recordings(card.path(), "REC").at(0));
    std::erase_if(media, [](const test::Packet& p) { return p.kind == kTatKindText; });
    const auto firstRear = std::find_if(media.begin(), media.end(),
                                        [](const test::Packet& p) { return p.stream == 1; });
    ASSERT_NE(media.end(), firstRear);
    ASSERT_EQ(0, media[0].stream);

    CMP4Writer writer;
    const int front = writer.AddVideoTrack(96, 64, 30, media[0].data.data(), media[0].data.size());
    const int rear =
        writer.AddVideoTrack(64, 48, 30, firstRear->data.data(), firstRear->data.size());
    const int audio = writer.AddAudioTrack(8000);
    ASSERT_EQ((std::vector<int>{0, 1, 2}), (std::vector<int>{front, rear, audio}));
    TempDir out;
    const std::string mp4 = out.File("clip.mp4");
    // 2024-03-01 23:30:00 UTC
    ASSERT_TRUE(writer.Create(
        mp4,
        {.title = "REC one", .make = "Locket", .model = "KX2", .creationTimeUtc = 1709335800}));
    int64_t frames[2] = {0, 0};
    std::vector<uint8_t> frontStream;
    for (const test::Packet& r : media) {
        if (r.kind == kTatKindAudio) {
            ASSERT_TRUE(writer.WriteAudio(audio, reinterpret_cast<const int16_t*>(r.data.data()),
                                          r.data.size() / 2, int64_t{r.timeMs} * 8));
            continue;
        }
        const bool key = CMP4Writer::IsKeyFrame(r.data.data(), r.data.size());
        ASSERT_TRUE(
            writer.WriteVideo(r.stream, r.data.data(), r.data.size(), frames[r.stream]++, key));
        if (r.stream == 0)
            frontStream.insert(frontStream.end(), r.data.begin(), r.data.end());
    }
    ASSERT_TRUE(writer.Close());

    std::string probe;
    ASSERT_EQ(
        0, Shell("ffprobe -v error -show_entries stream=codec_name,nb_frames,sample_rate,duration:"
                 "format_tags=creation_time,com.apple.quicktime.model -of compact " +
                     mp4,
                 &probe));
    // Every picture, and the 4 s of sound to the last sample the encoder held back.
    EXPECT_NE(std::string::npos,
              probe.find("stream|codec_name=h264|duration=4.000000|nb_frames=120\n"
                         "stream|codec_name=h264|duration=4.000000|nb_frames=120\n"
                         "stream|codec_name=aac|sample_rate=8000|duration=4.000000|"))
        << probe;
    EXPECT_NE(std::string::npos, probe.find("2024-03-01T23:30:00")) << probe;
    EXPECT_NE(std::string::npos, probe.find("model=KX2")) << probe;
    // The index stands before the pictures.
    const std::string head = ReadText(mp4).substr(0, 4096);
    EXPECT_LT(head.find("moov"), head.find("mdat")) << "not faststart";

    std::string out264;
    ASSERT_EQ(0, Shell("ffmpeg -v error -i " + mp4 + " -map 0:v:0 -c copy -f h264 " +
                           out.File("front.h264"),
                       &out264))
        << out264;
    const std::string back = ReadText(out.File("front.h264"));
    EXPECT_EQ(Units(frontStream), Units(std::vector<uint8_t>(back.begin(), back.end())));
}
