// The extractor's read-ahead mode: a reader thread fills the queue, ParseMedia takes from it.
#include "avi_test_support.h"

using namespace avi_test;
using namespace locket;

namespace {

const char* const kIds[] = {"00dc", "01dc", "02wb", "03tx"};

// Two cameras, the stream kinds in turn; every `bigEvery`-th chunk has 9000 bytes.
std::vector<Packet> WriteRecording(const std::string& path, int frames, int bigEvery = 0) {
    std::vector<Packet> out;
    for (int f = 0; f < frames; ++f)
        out.push_back(
            {f % 4, Payload(bigEvery && f % bigEvery == 1 ? 9000 : 100 + f * 13 % 501, f)});
    WritePackets(path, out, true);
    return out;
}

}  // namespace

TEST(AviReadAhead, DeliversEveryPacketInOrder_RestartsOnReopen_DropsWhatDoesNotFit) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    // Far more than the queue holds at once, so the reader waits for room as well.
    const auto packets = WriteRecording(path, 1200, 7);
    CAVIExtractor x;
    x.SetReadAhead(true);
    ASSERT_TRUE(x.StartReader());
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    int32_t lastPos = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Chunk c = NextChunk(x);
        ASSERT_GT(c.pos, lastPos) << "packet " << i;
        lastPos = c.pos;
        ASSERT_EQ(kIds[packets[i].kind], c.id) << "packet " << i;
        ASSERT_EQ(packets[i].data, c.data) << "packet " << i;
    }
    // The index chunk comes next in file order, then the reader meets the end.
    const Chunk index = NextChunk(x);
    EXPECT_GT(index.pos, lastPos);
    EXPECT_EQ("idx1", index.id);
    EXPECT_EQ(-1, NextChunk(x).pos);

    // Reopened while the reader runs: from the first packet again. With room one byte short of
    // packet 16, it and all larger packets are dropped (NextChunk checks for writes past the room).
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    const uint32_t room = uint32_t(packets[16].data.size()) - 1;
    int delivered = 0;
    for (size_t i = 0; i < 40; ++i) {
        if (packets[i].data.size() > room)
            continue;
        const Chunk c = NextChunk(x, room);
        ASSERT_GT(c.pos, 0) << "packet " << i;
        ASSERT_EQ(kIds[packets[i].kind], c.id) << "packet " << i;
        ASSERT_EQ(packets[i].data, c.data) << "packet " << i;
        ++delivered;
    }
    EXPECT_GT(delivered, 10);
    x.StopReader();
}

TEST(AviReadAhead, SeekTimeRestartsReadingAtTheFrame) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    const auto packets = WriteRecording(path, 400);
    std::vector<const Bytes*> front;
    for (const Packet& p : packets)
        if (p.kind == 0)
            front.push_back(&p.data);
    CAVIExtractor x;
    x.SetReadAhead(true);
    x.StartReader();
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    ASSERT_EQ(100, info.frameCount0);
    ASSERT_GT(NextChunk(x).pos, 0);
    for (float t : {2.0f, 0.5f, 3.2f}) {
        ASSERT_EQ(0, x.SeekTime(t));
        const Chunk c = NextChunk(x);
        EXPECT_EQ("00dc", c.id) << t;
        EXPECT_EQ(*front[int(t * 30)], c.data) << t;
    }
    // Drain to the end; a seek back makes the stopped reader read again.
    while (NextChunk(x).pos > 0) {
    }
    ASSERT_EQ(0, x.SeekTime(1.0f));
    EXPECT_EQ(*front[30], NextChunk(x).data);

    x.CloseMedia();
    EXPECT_EQ(-1, NextChunk(x).pos);
    x.StopReader();
    x.StopReader();
}
