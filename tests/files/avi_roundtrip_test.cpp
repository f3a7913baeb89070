// Files written by the writer and read back by the extractor: packets, index and seeking.
#include <gtest/gtest.h>

#include "avi_test_support.h"
#include "files/avi_extractor.h"
#include "files/avi_writer.h"

using namespace avi_test;
using namespace locket;

namespace {

struct Packet {
    int kind;
    Bytes data;
};

// 2 s of a recording: front frames at 30 fps, rear at 15, audio and text once a second.
std::vector<Packet> MakeRecording(bool dual) {
    std::vector<Packet> out;
    for (int f = 0; f < 60; ++f) {
        out.push_back({0, Payload(f % 7 == 0 ? 1501 : 200 + f, f)});
        if (dual && f % 2 == 0)
            out.push_back({1, Payload(99 + f, 1000 + f)});
        if (f % 30 == 0) {
            out.push_back({2, Payload(4000, 2000 + f)});
            out.push_back({3, Payload(5, 3000 + f)});
        }
    }
    return out;
}

void Write(const std::string& path, const std::vector<Packet>& packets, bool dual, int fps0) {
    CAVIWriter w;
    w.SetDualVideo(dual);
    w.SetVideoSize(0, 320, 240);
    w.SetVideoSize(1, 176, 144);
    w.SetFrameRate(0, fps0);
    w.SetFrameRate(1, 15);
    ASSERT_TRUE(w.Create(path.c_str()));
    for (const Packet& p : packets)
        ASSERT_TRUE(w.AddData(p.data.data(), uint32_t(p.data.size()), p.kind));
    ASSERT_GT(w.Close(), 0u);
}

}  // namespace

TEST(AviRoundTrip, EveryPacketComesBackWithKindSizeAndBytes) {
    TempDir dir;
    for (bool dual : {false, true}) {
        SCOPED_TRACE(dual ? "two cameras" : "one camera");
        const std::string path = dir.File(dual ? "d.avi" : "s.avi");
        const auto packets = MakeRecording(dual);
        Write(path, packets, dual, 30);

        CAVIExtractor x;
        ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
        EXPECT_EQ(320, x.GetVideoSize(0).width);
        EXPECT_EQ(240, x.GetVideoSize(0).height);
        EXPECT_EQ(dual ? 176 : 0, x.GetVideoSize(1).width);
        EXPECT_EQ(30, x.GetFrameRate(0));
        EXPECT_EQ(dual ? 15 : 0, x.GetFrameRate(1));
        uint32_t bits = 0, rate = 0;
        EXPECT_EQ(8000u, x.GetAudioFormat(&bits, &rate));
        EXPECT_EQ(16u, bits);
        EXPECT_EQ(8000u, rate);
        EXPECT_EQ(int32_t(packets.size()), x.GetTotalFrames());

        std::vector<uint8_t> buf(0x200000);
        for (size_t i = 0; i < packets.size(); ++i) {
            uint32_t size = uint32_t(buf.size());
            // One camera: rear frames share the front stream id and come back as front video.
            const int want = !dual && packets[i].kind == 1 ? 0 : packets[i].kind;
            ASSERT_EQ(want, x.ReadPacket(buf.data(), &size)) << "packet " << i;
            ASSERT_EQ(packets[i].data.size(), size) << "packet " << i;
            EXPECT_TRUE(std::equal(packets[i].data.begin(), packets[i].data.end(), buf.begin()));
        }
        uint32_t size = uint32_t(buf.size());
        EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &size)) << "the index is no packet";
    }
}

TEST(AviRoundTrip, ParseMediaGivesChunkIdsAndPositions) {
    TempDir dir;
    const std::string path = dir.File("d.avi");
    Write(path, MakeRecording(true), true, 30);
    CAVIExtractor x;
    const uint32_t movi = x.OpenMedia(path.c_str(), nullptr);
    ASSERT_NE(0u, movi);
    EXPECT_EQ(532, x.TellRaw());
    std::vector<uint8_t> buf(0x10000);
    char id[4];
    uint32_t size = uint32_t(buf.size());
    EXPECT_EQ(532, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ("00dc", std::string(id, 4));
    EXPECT_EQ(1501u, size);
    size = uint32_t(buf.size());
    EXPECT_EQ(532 + 8 + 1502, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ("01dc", std::string(id, 4));
    size = uint32_t(buf.size());
    x.ParseMedia(id, buf.data(), &size);
    EXPECT_EQ("02wb", std::string(id, 4));
    size = uint32_t(buf.size());
    x.ParseMedia(id, buf.data(), &size);
    EXPECT_EQ("03tx", std::string(id, 4));
    EXPECT_EQ(5u, size);
    // The movi list ends where the index begins.
    EXPECT_EQ(0, x.SeekRaw(528 + int32_t(movi), kSeekStart));
    uint8_t idx[4];
    EXPECT_EQ(4u, x.ReadRaw(idx, 4));
    EXPECT_EQ(0, std::memcmp(idx, "idx1", 4));
    x.CloseMedia();
    EXPECT_EQ(-1, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ(-1, x.SeekRaw(0, kSeekStart)) << "no file: the seek did not happen";
    EXPECT_EQ(0u, x.ReadRaw(idx, 4));
}

TEST(AviRoundTrip, BuildIndexGivesFrontFrameOffsetsAndCounts) {
    TempDir dir;
    const std::string path = dir.File("d.avi");
    const auto packets = MakeRecording(true);
    Write(path, packets, true, 30);

    // Positions of the front frames as the plain reader meets them.
    CAVIExtractor plain;
    ASSERT_NE(0u, plain.OpenMedia(path.c_str(), nullptr));
    std::vector<uint32_t> fronts;
    std::vector<uint8_t> buf(0x10000);
    char id[4];
    for (size_t i = 0; i < packets.size(); ++i) {
        uint32_t size = uint32_t(buf.size());
        const int32_t pos = plain.ParseMedia(id, buf.data(), &size);
        ASSERT_GT(pos, 0);
        if (packets[i].kind == 0)
            fronts.push_back(uint32_t(pos) | 0x80000000u);
    }

    CAVIExtractor x;
    MediaInfo info;
    ASSERT_TRUE(x.BuildIndex(path.c_str(), &info));
    EXPECT_EQ(30, info.fps0);
    EXPECT_EQ(15, info.fps1);
    EXPECT_EQ(60, info.frameCount0);
    EXPECT_EQ(30, info.frameCount1);
    ASSERT_EQ(int(fronts.size()), info.frameOffsets.GetSize());
    for (int i = 0; i < info.frameOffsets.GetSize(); ++i)
        EXPECT_EQ(fronts[i], info.frameOffsets[i]) << "frame " << i;
    EXPECT_EQ(0, x.TellRaw()) << "BuildIndex closes the file again";

    MediaInfo missing;
    EXPECT_FALSE(x.BuildIndex(dir.File("none.avi").c_str(), &missing));
    EXPECT_EQ(0, missing.frameCount0);
}

TEST(AviRoundTrip, SeekTimeLandsOnTheFrameAndFailsPastTheEnd) {
    TempDir dir;
    const std::string path = dir.File("s.avi");
    const auto packets = MakeRecording(false);
    Write(path, packets, false, 30);
    std::vector<Bytes> frontFrames;
    for (const Packet& p : packets)
        if (p.kind == 0)
            frontFrames.push_back(p.data);

    CAVIExtractor x;
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    EXPECT_FALSE(x.SeekSnapsToSecond());
    std::vector<uint8_t> buf(0x10000);
    for (float seconds : {1.0f, 0.5f, 1.95f, 0.0f, -0.01f}) {
        const int frame = int(30 * seconds);
        ASSERT_EQ(0, x.SeekTime(seconds)) << seconds;
        uint32_t size = uint32_t(buf.size());
        ASSERT_EQ(kPacketFrontVideo, x.ReadPacket(buf.data(), &size)) << seconds;
        EXPECT_EQ(frontFrames[frame], Bytes(buf.begin(), buf.begin() + size)) << seconds;
    }
    const int32_t before = x.TellRaw();
    EXPECT_EQ(-1, x.SeekTime(2.0f)) << "frame 60 is past the last frame";
    EXPECT_EQ(-1, x.SeekTime(-1.0f));
    EXPECT_EQ(before, x.TellRaw()) << "a failed seek leaves the position alone";

    // Opened without an index, or with another file's index: no seeking.
    const std::string other = dir.File("o.avi");
    Write(other, MakeRecording(true), true, 30);
    ASSERT_NE(0u, x.OpenMedia(other.c_str(), nullptr));
    EXPECT_EQ(-1, x.SeekTime(0.5f));
}

TEST(AviRoundTrip, FrameRateAbove30IsReportedAs30ButSeeksWithTheTrueRate) {
    TempDir dir;
    const std::string path = dir.File("fast.avi");
    const auto packets = MakeRecording(false);
    Write(path, packets, false, 60);
    CAVIExtractor x;
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    EXPECT_EQ(30, x.GetFrameRate(0));
    EXPECT_EQ(30, info.fps0);
    ASSERT_EQ(0, x.SeekTime(0.5f));
    std::vector<uint8_t> buf(0x10000);
    uint32_t size = uint32_t(buf.size());
    ASSERT_EQ(kPacketFrontVideo, x.ReadPacket(buf.data(), &size));
    std::vector<Bytes> front;
    for (const Packet& p : packets)
        if (p.kind == 0)
            front.push_back(p.data);
    EXPECT_EQ(front[30], Bytes(buf.begin(), buf.begin() + size));
}

TEST(AviRoundTrip, ChunkLargerThanTheCallersBufferIsRefusedWithoutWritingPastIt) {
    TempDir dir;
    const std::string path = dir.File("s.avi");
    Write(path, MakeRecording(false), false, 30);
    CAVIExtractor x;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    // The first chunk has 1501 bytes and needs 1502 on disk.
    std::vector<uint8_t> buf(1600, 0xEE);
    uint32_t size = 1501;
    char id[4];
    EXPECT_EQ(-1, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ(1501u, size) << "the size is left as it was";
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t v) { return v == 0xEE; }));
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    uint32_t small = 1501;
    EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &small));
}

TEST(AviFileSystem, OpenTwiceIsRefusedCloseIsIdempotentAndReopenWorks) {
    TempDir dir;
    CFSNormal fs;
    EXPECT_FALSE(fs.IsOpen());
    EXPECT_EQ(0, fs.Close());
    ASSERT_TRUE(fs.Open(dir.File("a.bin").c_str(), "wb"));
    EXPECT_FALSE(fs.Open(dir.File("b.bin").c_str(), "wb"));
    EXPECT_TRUE(fs.IsOpen()) << "the first file stays open";
    EXPECT_EQ(5u, fs.Write("hello", 5));
    EXPECT_EQ(0, fs.Seek(1, 0));
    EXPECT_EQ(1u, fs.Write("E", 1));
    EXPECT_EQ(0, fs.Seek(0, 2));
    EXPECT_EQ(3u, fs.Write("!!!", 3));
    EXPECT_EQ(0, fs.Truncate(6));
    EXPECT_EQ(0, fs.Close());
    EXPECT_EQ(0, fs.Close());
    EXPECT_EQ(Bytes({'h', 'E', 'l', 'l', 'o', '!'}), ReadFile(dir.File("a.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.bin")));
    ASSERT_TRUE(fs.Open(dir.File("b.bin").c_str(), "wb"));
    EXPECT_EQ(0, fs.Close());
    EXPECT_FALSE(fs.Open(dir.File("no/such/dir.bin").c_str(), "wb"));
}

TEST(AviFileSystem, WriterCreateFailsOnAnUnwritablePath) {
    CAVIWriter w;
    EXPECT_FALSE(w.Create("/nonexistent-dir/x.avi"));
    EXPECT_FALSE(w.AddData("ab", 2, 0));
    EXPECT_EQ(0u, w.Close());
}
