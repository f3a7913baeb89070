// Files written by the writer and read back by the extractor, directly and through its reader
// thread: packets, index and seeking; and damaged files, where every failure must be clean.
#include "avi_test_support.h"

using namespace avi_test;
using namespace locket;

namespace {

const char* const kIds[] = {"00dc", "01dc", "02wb", "03tx"};

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

// 12 chunks of 40..73 bytes cycling through the four stream kinds, from 532 on with two cameras.
Bytes SmallFile(bool dual) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b));
    Configure(w, dual);
    w.Create("x.avi");
    for (int i = 0; i < 12; ++i) {
        const Bytes p = Payload(40 + i * 3, i);
        w.AddData(p.data(), uint32_t(p.size()), i % 4);
    }
    w.Close();
    return b;
}

// Reads a file's chunks up to the index and seeks in it; returns the chunks delivered. NextChunk
// checks that nothing lands past `capacity`.
int Exercise(const std::string& path, uint32_t capacity = 4096) {
    CAVIExtractor x;
    MediaInfo info;
    int packets = 0;
    if (x.OpenMedia(path.c_str(), &info)) {
        for (Chunk c = NextChunk(x, capacity); c.pos > 0 && c.id != "idx1" && packets < 10000;
             c = NextChunk(x, capacity))
            ++packets;
        x.SeekTime(0.0f);
        x.SeekTime(100.0f);
    }
    EXPECT_EQ(info.frameCount0, info.frameOffsets.GetSize());
    return packets;
}

}  // namespace

// Both layouts through one extractor: properties, every packet, the front frame positions of
// the index, and seeking by time, which needs the index of the file open.
TEST(AviExtractor, EveryPacketComesBackAndTheIndexSeeksToTheFrontFrames) {
    TempDir dir;
    std::vector<Bytes> front;
    for (const Packet& p : MakeRecording(false))
        if (p.kind == 0)
            front.push_back(p.data);
    CAVIExtractor x;
    MediaInfo info;  // reused: each file's index replaces the last one's
    for (bool dual : {false, true}) {
        SCOPED_TRACE(dual ? "two cameras" : "one camera");
        const std::string path = dir.File(dual ? "d.avi" : "s.avi");
        const auto packets = MakeRecording(dual);
        WritePackets(path, packets, dual);

        ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
        EXPECT_EQ(-1, x.SeekTime(0.5f)) << "no index, or the last file's";
        uint32_t bits = 0, rate = 0;
        const int format = int(x.GetAudioFormat(&bits, &rate));
        EXPECT_EQ(std::vector<int>({320, 240, dual ? 160 : 0, 30, dual ? 15 : 0, 8000, 16, 8000,
                                    int(packets.size())}),
                  std::vector<int>({x.GetVideoSize(0).width, x.GetVideoSize(0).height,
                                    x.GetVideoSize(1).width, x.GetFrameRate(0), x.GetFrameRate(1),
                                    format, int(bits), int(rate), x.GetTotalFrames()}));

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

        // Positions of the front frames as the plain reader meets them, flagged as key frames.
        ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
        const std::string ids = dual ? "00dc01dc02wb03tx" : "00dc00dc01wb02tx";
        std::vector<uint32_t> fronts;
        for (size_t i = 0; i < packets.size(); ++i) {
            const Chunk c = NextChunk(x);
            ASSERT_EQ(ids.substr(4 * size_t(packets[i].kind), 4), c.id) << "packet " << i;
            if (packets[i].kind == 0)
                fronts.push_back(uint32_t(c.pos) | 0x80000000u);
        }
        CAVIExtractor indexer;
        ASSERT_TRUE(indexer.BuildIndex(path.c_str(), &info));
        EXPECT_EQ(std::vector<int>({30, dual ? 15 : 0, 60, dual ? 30 : 0}),
                  std::vector<int>({info.fps0, info.fps1, info.frameCount0, info.frameCount1}));
        ASSERT_EQ(60u, fronts.size());
        ASSERT_EQ(60, info.frameOffsets.GetSize());
        for (int i = 0; i < 60; ++i)
            EXPECT_EQ(fronts[i], info.frameOffsets[i]) << "frame " << i;
        EXPECT_EQ(0, indexer.TellRaw()) << "BuildIndex closes the file again";

        ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
        for (float seconds : {1.0f, 0.5f, 1.95f, 0.0f, -0.01f}) {
            ASSERT_EQ(0, x.SeekTime(seconds)) << seconds;
            EXPECT_EQ(front[int(30 * seconds)], NextChunk(x).data) << seconds;
        }
        const int32_t before = x.TellRaw();
        EXPECT_EQ(-1, x.SeekTime(2.0f)) << "frame 60 is past the last frame";
        EXPECT_EQ(-1, x.SeekTime(-1.0f));
        EXPECT_EQ(before, x.TellRaw()) << "a failed seek leaves the position alone";

        // The first chunk has 1501 bytes and needs 1502 on disk; NextChunk checks the guard bytes.
        ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
        EXPECT_EQ(-1, NextChunk(x, 1501).pos);
    }
    // A raw read moves on by the bytes it read; with no file nothing is read or sought.
    ASSERT_EQ(0, x.SeekRaw(0, kSeekStart));
    char riff[4];
    EXPECT_EQ(4u, x.ReadRaw(riff, 4));
    EXPECT_EQ(4, x.TellRaw());
    x.CloseMedia();
    EXPECT_LT(NextChunk(x).pos, 0);
    EXPECT_EQ(-1, x.SeekRaw(0, kSeekStart)) << "no file: the seek did not happen";
    EXPECT_FALSE(x.BuildIndex(dir.File("none.avi").c_str(), &info));

    // Above 30 fps the rate is reported as 30, but seeking goes by the true rate.
    const std::string fast = dir.File("fast.avi");
    WritePackets(fast, MakeRecording(false), false, 60);
    ASSERT_NE(0u, x.OpenMedia(fast.c_str(), &info));
    EXPECT_EQ(std::make_pair(30, 30), std::make_pair(x.GetFrameRate(0), info.fps0));
    ASSERT_EQ(0, x.SeekTime(0.5f));
    EXPECT_EQ(front[30], NextChunk(x).data);
}

TEST(AviExtractor, ReadAhead_DeliversInOrder_RestartsOnReopenAndSeek_DropsWhatDoesNotFit) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    // Far more than the queue holds at once, so the reader waits for room as well; every 7th
    // chunk has 9000 bytes.
    std::vector<Packet> packets;
    for (int f = 0; f < 1200; ++f)
        packets.push_back({f % 4, Payload(f % 7 == 1 ? 9000 : 100 + f * 13 % 501, f)});
    WritePackets(path, packets, true);
    CAVIExtractor x;
    x.SetReadAhead(true);
    ASSERT_TRUE(x.StartReader());
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    ASSERT_EQ(300, info.frameCount0);
    int32_t lastPos = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Chunk c = NextChunk(x);
        ASSERT_GT(c.pos, lastPos) << "packet " << i;
        lastPos = c.pos;
        ASSERT_EQ(kIds[packets[i].kind], c.id) << "packet " << i;
        ASSERT_EQ(packets[i].data, c.data) << "packet " << i;
    }
    // The index chunk comes next in file order, then the reader meets the end.
    EXPECT_EQ("idx1", NextChunk(x).id);
    EXPECT_EQ(-1, NextChunk(x).pos);
    // A seek makes the stopped reader read on, from the frame and nothing queued before.
    for (float t : {2.0f, 0.5f, 3.2f}) {
        ASSERT_EQ(0, x.SeekTime(t));
        EXPECT_EQ(packets[4 * int(t * 30)].data, NextChunk(x).data) << t;
    }

    // Reopened while the reader runs: from the first packet again. With room one byte short of
    // packet 16, it and all larger packets are dropped (NextChunk checks for writes past the room).
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    const uint32_t room = uint32_t(packets[16].data.size()) - 1;
    int delivered = 0;
    for (size_t i = 0; i < 40; ++i) {
        if (packets[i].data.size() > room)
            continue;
        const Chunk c = NextChunk(x, room);
        ASSERT_EQ(kIds[packets[i].kind], c.id) << "packet " << i;
        ASSERT_EQ(packets[i].data, c.data) << "packet " << i;
        ++delivered;
    }
    EXPECT_GT(delivered, 10);
    x.CloseMedia();
    EXPECT_EQ(-1, NextChunk(x).pos);
    x.StopReader();
    x.StopReader();
}

TEST(AviExtractor,
     DamagedFiles_CutOnesDeliverWholeChunks_WrongHeadersDoNotOpen_LiesAndNoiseDoNoHarm) {
    TempDir dir;
    const std::string path = dir.File("bad.avi");
    const Bytes dual = SmallFile(true);
    // Cut anywhere, chunk i is delivered once its payload is whole, even without its pad byte.
    std::vector<size_t> payloadEnds;
    for (size_t i = 0, at = 532; i < 12; at += 8 + ((40 + 3 * i + 1) & ~size_t{1}), ++i)
        payloadEnds.push_back(at + 8 + 40 + 3 * i);
    for (size_t len = 0; len < dual.size(); ++len) {
        SCOPED_TRACE("length " + std::to_string(len));
        WriteFile(path, Bytes(dual.begin(), dual.begin() + len));
        CAVIExtractor x;
        EXPECT_EQ(len >= 532, x.OpenMedia(path.c_str(), nullptr) != 0);
        MediaInfo info;
        EXPECT_EQ(len == dual.size(), x.BuildIndex(path.c_str(), &info));
        const auto whole = std::count_if(payloadEnds.begin(), payloadEnds.end(),
                                         [&](size_t e) { return e <= len; });
        EXPECT_EQ(int(whole), Exercise(path));
    }

    const Bytes good = SmallFile(false);
    const std::pair<size_t, const char*> damages[] = {
        {0, "RIFX"},    // magic
        {8, "AVI2"},    // form type
        {28, "\x39"},   // avih size 57
        {104, "\x37"},  // video strh size 55
        {168, "\x29"},  // video strf size 41
        {292, "\x11"},  // audio strf size 17
    };
    for (const auto& [at, bytes] : damages) {
        SCOPED_TRACE("damage at " + std::to_string(at));
        Bytes b = good;
        std::memcpy(&b[at], bytes, std::strlen(bytes));
        WriteFile(path, b);
        CAVIExtractor x;
        EXPECT_EQ(0u, x.OpenMedia(path.c_str(), nullptr));
        MediaInfo info;
        EXPECT_FALSE(x.BuildIndex(path.c_str(), &info));
        EXPECT_EQ(0, x.TellRaw()) << "a failed open keeps no file";
    }
    CAVIExtractor x;
    EXPECT_EQ(0u, x.OpenMedia(dir.File("missing.avi").c_str(), nullptr));
    EXPECT_EQ(0u, x.OpenMedia(nullptr, nullptr));
    WriteFile(path, Bytes());
    EXPECT_EQ(0u, x.OpenMedia(path.c_str(), nullptr));

    // Sizes that lie: hdrl, video list, movi, first chunk, RIFF.
    for (size_t at : {16, 92, 400, 412, 4})
        for (uint32_t value : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
            Bytes b = good;
            for (int i = 0; i < 4; ++i)
                b[at + i] = uint8_t(value >> (8 * i));
            WriteFile(path, b);
            Exercise(path);
        }
    uint32_t r = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes b = dual;
        for (int k = 0; k < 1 + round % 8; ++k) {
            r = r * 1103515245u + 12345u;
            const size_t at = (r >> 8) % b.size();
            r = r * 1103515245u + 12345u;
            b[at] = uint8_t(r >> 16);
        }
        WriteFile(path, b);
        Exercise(path, 64 + round);
    }
}
