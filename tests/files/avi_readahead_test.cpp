// The extractor's read-ahead mode: a reader thread fills the queue, ParseMedia takes from it.
#include <gtest/gtest.h>

#include "avi_test_support.h"
#include "files/avi_extractor.h"
#include "files/avi_writer.h"

using namespace avi_test;
using namespace locket;

namespace {

struct Packet {
    std::string id;
    Bytes data;
};

std::vector<Packet> WriteRecording(const std::string& path, int frames, uint32_t bigEvery = 0) {
    std::vector<Packet> out;
    CAVIWriter w;
    w.SetDualVideo(true);
    w.SetVideoSize(0, 320, 240);
    w.SetFrameRate(0, 30);
    w.SetFrameRate(1, 30);
    w.Create(path.c_str());
    const char* ids[] = {"00dc", "01dc", "02wb", "03tx"};
    for (int f = 0; f < frames; ++f) {
        const int kind = f % 4;
        const uint32_t size = bigEvery && f % bigEvery == 1 ? 9000 : 100 + f * 13 % 501;
        Bytes p = Payload(size, f);
        w.AddData(p.data(), size, kind);
        out.push_back({ids[kind], std::move(p)});
    }
    w.Close();
    return out;
}

}  // namespace

TEST(AviReadAhead, DeliversEveryPacketInOrderThenEnds) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    // Far more than the queue holds at once, so the reader waits for room as well.
    const auto packets = WriteRecording(path, 1200, 7);
    CAVIExtractor x;
    x.SetReadAhead(true);
    ASSERT_TRUE(x.StartReader());
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    std::vector<uint8_t> buf(CAVIExtractor::kPacketBufSize);
    char id[4];
    int32_t lastPos = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        uint32_t size = uint32_t(buf.size());
        const int32_t pos = x.ParseMedia(id, buf.data(), &size);
        ASSERT_GT(pos, lastPos) << "packet " << i;
        lastPos = pos;
        ASSERT_EQ(packets[i].id, std::string(id, 4)) << "packet " << i;
        ASSERT_EQ(packets[i].data, Bytes(buf.begin(), buf.begin() + size)) << "packet " << i;
    }
    // The index chunk comes next in file order, then the reader meets the end.
    uint32_t size = uint32_t(buf.size());
    EXPECT_GT(x.ParseMedia(id, buf.data(), &size), 0);
    EXPECT_EQ("idx1", std::string(id, 4));
    size = uint32_t(buf.size());
    EXPECT_EQ(-1, x.ParseMedia(id, buf.data(), &size));
    x.StopReader();
}

TEST(AviReadAhead, PacketLargerThanTheCallersBufferIsDroppedAndTheStreamGoesOn) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    const auto packets = WriteRecording(path, 40, 5);
    CAVIExtractor x;
    x.SetReadAhead(true);
    x.StartReader();
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    const uint32_t capacity = 1000;
    std::vector<uint8_t> buf(capacity + 256, 0xA5);
    char id[4];
    for (const Packet& p : packets) {
        if (p.data.size() > capacity)
            continue;  // refused by the queue, never copied
        uint32_t size = capacity;
        ASSERT_GT(x.ParseMedia(id, buf.data(), &size), 0);
        ASSERT_EQ(p.id, std::string(id, 4));
        ASSERT_EQ(p.data, Bytes(buf.begin(), buf.begin() + size));
    }
    for (size_t i = capacity; i < buf.size(); ++i)
        ASSERT_EQ(0xA5, buf[i]) << "written past the capacity at " << i;
    x.StopReader();
}

TEST(AviReadAhead, SeekTimeRestartsReadingAtTheFrame) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    const auto packets = WriteRecording(path, 400);
    std::vector<const Packet*> front;
    for (const Packet& p : packets)
        if (p.id == "00dc")
            front.push_back(&p);
    CAVIExtractor x;
    x.SetReadAhead(true);
    x.StartReader();
    MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    ASSERT_EQ(100, info.frameCount0);
    std::vector<uint8_t> buf(CAVIExtractor::kPacketBufSize);
    char id[4];
    uint32_t size = uint32_t(buf.size());
    ASSERT_GT(x.ParseMedia(id, buf.data(), &size), 0);
    for (float t : {2.0f, 0.5f, 3.2f}) {
        ASSERT_EQ(0, x.SeekTime(t));
        size = uint32_t(buf.size());
        ASSERT_GT(x.ParseMedia(id, buf.data(), &size), 0) << t;
        EXPECT_EQ("00dc", std::string(id, 4)) << t;
        EXPECT_EQ(front[int(t * 30)]->data, Bytes(buf.begin(), buf.begin() + size)) << t;
    }
    // Drain to the end; a seek back makes the stopped reader read again.
    while (size = uint32_t(buf.size()), x.ParseMedia(id, buf.data(), &size) > 0) {
    }
    ASSERT_EQ(0, x.SeekTime(1.0f));
    size = uint32_t(buf.size());
    ASSERT_GT(x.ParseMedia(id, buf.data(), &size), 0);
    EXPECT_EQ(front[30]->data, Bytes(buf.begin(), buf.begin() + size));

    // Reopening while the reader runs starts again from the first packet.
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    size = uint32_t(buf.size());
    ASSERT_GT(x.ParseMedia(id, buf.data(), &size), 0);
    EXPECT_EQ(packets[0].data, Bytes(buf.begin(), buf.begin() + size));
    x.CloseMedia();
    size = uint32_t(buf.size());
    EXPECT_EQ(-1, x.ParseMedia(id, buf.data(), &size));
    x.StopReader();
    x.StopReader();
}

TEST(AviReadAhead, OffByDefaultAndStartReaderThenDoesNothing) {
    TempDir dir;
    const std::string path = dir.File("r.avi");
    const auto packets = WriteRecording(path, 8);
    CAVIExtractor x;
    EXPECT_FALSE(x.IsReadAhead());
    EXPECT_TRUE(x.StartReader());
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), nullptr));
    // Direct reads: the position moves with each call.
    std::vector<uint8_t> buf(4096);
    char id[4];
    uint32_t size = uint32_t(buf.size());
    ASSERT_EQ(532, x.ParseMedia(id, buf.data(), &size));
    EXPECT_EQ(532 + 8 + int32_t((size + 1) & ~1u), x.TellRaw());
    x.StopReader();
}
