// Files written by the writer and read back by the extractor: packets, index and seeking.
#include "avi_test_support.h"

using namespace avi_test;
using namespace locket;

namespace {

// 2 s of a recording: front frames at 30 fps (the first 1501 bytes), rear at 15, audio and text
// once a second.
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

std::vector<Bytes> FrontFrames(const std::vector<Packet>& packets) {
    std::vector<Bytes> out;
    for (const Packet& p : packets)
        if (p.kind == 0)
            out.push_back(p.data);
    return out;
}

}  // namespace

TEST(AviRoundTrip, EveryPacketComesBackWithKindSizeAndBytes) {
    TempDir dir;
    for (bool dual : {false, true}) {
        SCOPED_TRACE(dual ? "two cameras" : "one camera");
        const std::string path = dir.File(dual ? "d.avi" : "s.avi");
        const auto packets = MakeRecording(dual);
        WritePackets(path, packets, dual);

        CAVIExtractor x;
        ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
        EXPECT_EQ(320, x.GetVideoSize(0).width);
        EXPECT_EQ(240, x.GetVideoSize(0).height);
        EXPECT_EQ(dual ? 160 : 0, x.GetVideoSize(1).width);
        EXPECT_EQ(30, x.GetFrameRate(0));
        EXPECT_EQ(dual ? 15 : 0, x.GetFrameRate(1));
        uint32_t bits = 0, rate = 0;
        EXPECT_EQ(8000u, x.GetAudioFormat(&bits, &rate));
        EXPECT_EQ(16u, bits);
        EXPECT_EQ(8000u, rate);
        EXPECT_EQ(int32_t(packets.size()), x.GetTotalFrames());

        std::vector<uint8_t> buf(0x10000);
        for (size_t i = 0; i < packets.size(); ++i) {
            uint32_t size = uint32_t(buf.size());
            // One camera: rear frames share the front stream id and come back as front video.
            const int want = !dual && packets[i].kind == 1 ? 0 : packets[i].kind;
            ASSERT_EQ(want, x.ReadPacket(buf.data(), &size)) << "packet " << i;
            ASSERT_EQ(packets[i].data, Bytes(buf.begin(), buf.begin() + size)) << "packet " << i;
        }
        uint32_t size = uint32_t(buf.size());
        EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &size)) << "the index is no packet";
    }
}

TEST(AviRoundTrip, BuildIndexGivesFrontFramePositionsAndCountsOfTheFileAsParsed) {
    TempDir dir;
    const std::string path = dir.File("d.avi");
    const auto packets = MakeRecording(true);
    WritePackets(path, packets, true);

    // Positions and ids of the chunks as the plain reader meets them.
    CAVIExtractor plain;
    const uint32_t movi = plain.OpenMedia(path.c_str(), nullptr);
    ASSERT_NE(0u, movi);
    EXPECT_EQ(532, plain.TellRaw()) << "left at the first chunk";
    const char* ids[] = {"00dc", "01dc", "02wb", "03tx"};
    std::vector<uint32_t> fronts;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Chunk c = NextChunk(plain);
        ASSERT_EQ(ids[packets[i].kind], c.id) << "packet " << i;
        if (packets[i].kind == 0)
            fronts.push_back(uint32_t(c.pos) | 0x80000000u);
    }
    ASSERT_EQ(60u, fronts.size());
    EXPECT_EQ(0x80000000u | 532, fronts[0]);
    EXPECT_EQ(0x80000000u | (532 + 8 + 1502 + 8 + 100 + 8 + 4000 + 8 + 6), fronts[1]);
    // The movi list ends where the index begins.
    EXPECT_EQ(0, plain.SeekRaw(528 + int32_t(movi), kSeekStart));
    uint8_t idx[4];
    EXPECT_EQ(4u, plain.ReadRaw(idx, 4));
    EXPECT_EQ(0, std::memcmp(idx, "idx1", 4));
    plain.CloseMedia();
    EXPECT_LT(NextChunk(plain).pos, 0);
    EXPECT_EQ(-1, plain.SeekRaw(0, kSeekStart)) << "no file: the seek did not happen";
    EXPECT_EQ(0u, plain.ReadRaw(idx, 4));

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
    WritePackets(path, packets, false);
    const std::vector<Bytes> front = FrontFrames(packets);

    CAVIExtractor x;
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    for (float seconds : {1.0f, 0.5f, 1.95f, 0.0f, -0.01f}) {
        ASSERT_EQ(0, x.SeekTime(seconds)) << seconds;
        EXPECT_EQ(front[int(30 * seconds)], NextChunk(x).data) << seconds;
    }
    const int32_t before = x.TellRaw();
    EXPECT_EQ(-1, x.SeekTime(2.0f)) << "frame 60 is past the last frame";
    EXPECT_EQ(-1, x.SeekTime(-1.0f));
    EXPECT_EQ(before, x.TellRaw()) << "a failed seek leaves the position alone";

    // Opened without an index, or with another file's index: no seeking.
    const std::string other = dir.File("o.avi");
    WritePackets(other, MakeRecording(true), true);
    ASSERT_NE(0u, x.OpenMedia(other.c_str(), nullptr));
    EXPECT_EQ(-1, x.SeekTime(0.5f));

    // Above 30 fps the rate is reported as 30, but seeking goes by the true rate.
    const std::string fast = dir.File("fast.avi");
    WritePackets(fast, packets, false, 60);
    ASSERT_NE(0u, x.OpenMedia(fast.c_str(), &info));
    EXPECT_EQ(30, x.GetFrameRate(0));
    EXPECT_EQ(30, info.fps0);
    ASSERT_EQ(0, x.SeekTime(0.5f));
    EXPECT_EQ(front[30], NextChunk(x).data);
}

TEST(AviRoundTrip, ChunkLargerThanTheCallersBufferIsRefusedWithoutWritingPastIt) {
    TempDir dir;
    const std::string path = dir.File("s.avi");
    WritePackets(path, MakeRecording(false), false);
    CAVIExtractor x;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    // The first chunk has 1501 bytes and needs 1502 on disk; NextChunk checks the guard bytes.
    EXPECT_EQ(-1, NextChunk(x, 1501).pos);
    std::vector<uint8_t> buf(1501);
    uint32_t size = 1501;
    char id[4];
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    EXPECT_EQ(-1, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ(1501u, size) << "the size is left as it was";
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &size));
    EXPECT_EQ(0u, size);
}

TEST(AviFileSystem, StdioSinkOpensOnceSeeksTruncatesAndClosesIdempotently) {
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
    ASSERT_TRUE(fs.Open(dir.File("b.bin").c_str(), "wb")) << "closed: open again";
    EXPECT_EQ(0, fs.Close());
    EXPECT_FALSE(fs.Open(dir.File("no/such/dir.bin").c_str(), "wb"));

    CAVIWriter w;
    EXPECT_FALSE(w.Create(dir.File("no/such/x.avi").c_str()));
    EXPECT_FALSE(w.AddData("ab", 2, 0));
    EXPECT_EQ(0u, w.Close());
}
