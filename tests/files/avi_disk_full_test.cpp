// A disk that fills up while chunks are written: the file must describe exactly the chunks that
// were written whole.
#include <gtest/gtest.h>

#include "avi_test_support.h"
#include "files/avi_extractor.h"
#include "files/avi_writer.h"

using namespace avi_test;
using locket::CAVIWriter;

namespace {

struct Walked {
    uint32_t chunks = 0;
    std::vector<std::pair<std::string, uint32_t>> heads;  // id, unpadded size
    bool indexed = false;
};

// Walks a finished one-camera-with-audio file on its own and checks that every count and size
// agrees with what is really there.
Walked ExpectConsistent(const Bytes& b) {
    Walked w;
    EXPECT_GE(b.size(), 408u);
    if (b.size() < 408)
        return w;
    EXPECT_EQ(b.size() - 8, U32(b, 4)) << "RIFF size covers the whole file";
    EXPECT_EQ(376u, U32(b, 16));
    const uint32_t movi = U32(b, 400);
    EXPECT_EQ("movi", Str4(b, 404));
    size_t at = 408;
    const size_t moviEnd = 404 + size_t(movi);
    EXPECT_LE(moviEnd, b.size());
    while (at < moviEnd && at + 8 <= b.size()) {
        const uint32_t size = U32(b, at + 4);
        w.heads.emplace_back(Str4(b, at), size);
        at += 8 + ((size + 1) & ~1u);
    }
    EXPECT_EQ(moviEnd, at) << "movi size ends on a chunk boundary";
    w.chunks = uint32_t(w.heads.size());
    EXPECT_EQ(w.chunks, U32(b, 48)) << "total frames = chunks written";
    w.indexed = (U32(b, 44) & 0x10) != 0;
    if (w.indexed) {
        EXPECT_EQ("idx1", Str4(b, moviEnd));
        EXPECT_EQ(16u * w.chunks, U32(b, moviEnd + 4));
        EXPECT_EQ(moviEnd + 8 + 16 * w.chunks, b.size());
        uint32_t offset = 4;
        for (uint32_t i = 0; i < w.chunks; ++i) {
            const size_t e = moviEnd + 8 + 16 * i;
            const uint32_t padded = (w.heads[i].second + 1) & ~1u;
            EXPECT_EQ(w.heads[i].first, Str4(b, e));
            EXPECT_EQ(offset, U32(b, e + 8));
            EXPECT_EQ(padded, U32(b, e + 12));
            offset += 8 + padded;
        }
    } else {
        EXPECT_EQ(moviEnd, b.size()) << "without an index the file ends after the last chunk";
    }
    // Stream headers count the chunks of their streams.
    uint32_t video = 0, audio = 0, text = 0;
    for (const auto& h : w.heads) {
        video += h.first == "00dc";
        audio += h.first == "01wb";
        text += h.first == "02tx";
    }
    EXPECT_EQ(video ? video : 1, U32(b, 88 + 20 + 32));
    EXPECT_EQ(2000 * audio, U32(b, 212 + 20 + 32));
    EXPECT_EQ(text ? text : 1, U32(b, 312 + 20 + 32));
    return w;
}

const uint32_t kSizes[] = {1000, 7, 4000, 1, 513, 2, 999, 64};
const int kKinds[] = {0, 3, 2, 3, 0, 3, 0, 2};

}  // namespace

TEST(AviDiskFull, EveryCutPoint_LeavesAFileOfWholeChunksOnly) {
    // Cut points fall in chunk headers, payloads, pad bytes and the index alike.
    for (size_t limit = 396; limit < 408 + 7000; limit += 37) {
        Bytes b;
        CAVIWriter w(new MemoryFile(&b, limit));
        w.SetVideoSize(0, 320, 240);
        w.SetFrameRate(0, 30);
        if (!w.Create("x.avi")) {
            EXPECT_LT(limit, 408u);
            continue;
        }
        const char* ids[] = {"00dc", "00dc", "01wb", "02tx"};
        std::vector<std::pair<std::string, uint32_t>> accepted;
        bool failed = false;
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < 8; ++i) {
                const Bytes p = Payload(kSizes[i], i);
                // A smaller chunk may still fit after a refusal; it must then follow on directly.
                if (w.AddData(p.data(), kSizes[i], kKinds[i]))
                    accepted.emplace_back(ids[kKinds[i]], kSizes[i]);
                else
                    failed = true;
            }
        EXPECT_TRUE(failed) << "limit " << limit;
        EXPECT_EQ(accepted.size(), w.GetChunkCount());
        w.Close();
        SCOPED_TRACE("limit " + std::to_string(limit));
        const Walked walked = ExpectConsistent(b);
        EXPECT_EQ(accepted, walked.heads);
        EXPECT_LE(b.size(), limit);
    }
}

TEST(AviDiskFull, ChunkThatFitsAfterARefusal_IsWrittenAtTheCutAndReadBack) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b, 408 + 8 + 1000 + 8 + 100 + 8 + 32 + 12));
    w.SetVideoSize(0, 320, 240);
    ASSERT_TRUE(w.Create("x.avi"));
    const Bytes a = Payload(1000, 1), big = Payload(5000, 2), small = Payload(100, 3);
    ASSERT_TRUE(w.AddData(a.data(), 1000, 0));
    EXPECT_FALSE(w.AddData(big.data(), 5000, 0));
    ASSERT_TRUE(w.AddData(small.data(), 100, 2));
    w.Close();
    const Walked walked = ExpectConsistent(b);
    ASSERT_EQ(2u, walked.chunks);
    EXPECT_TRUE(walked.indexed);
    EXPECT_EQ("01wb", walked.heads[1].first);
    EXPECT_EQ(100u, walked.heads[1].second);

    TempDir dir;
    WriteFile(dir.File("cut.avi"), b);
    locket::CAVIExtractor x;
    locket::MediaInfo info;
    ASSERT_NE(0u, x.OpenMedia(dir.File("cut.avi").c_str(), &info));
    EXPECT_EQ(1, info.frameCount0);
    std::vector<uint8_t> buf(8192);
    uint32_t size = uint32_t(buf.size());
    EXPECT_EQ(locket::kPacketFrontVideo, x.ReadPacket(buf.data(), &size));
    EXPECT_EQ(a, Bytes(buf.begin(), buf.begin() + size));
    size = uint32_t(buf.size());
    EXPECT_EQ(locket::kPacketAudio, x.ReadPacket(buf.data(), &size));
    EXPECT_EQ(small, Bytes(buf.begin(), buf.begin() + size));
}

TEST(AviDiskFull, LargeChunkCutInItsHeaderPayloadOrPadIsTakenBackToo) {
    // Large payloads are written apart from their chunk header; any of the writes may be refused.
    const uint32_t big = 100001;
    // Room left after the first chunk: inside the header, right after it, inside the payload,
    // and everything but the pad byte.
    for (size_t room : {size_t(3), size_t(8), size_t(5000), size_t(8 + big)}) {
        Bytes b;
        CAVIWriter w(new MemoryFile(&b, 408 + 1008 + room));
        w.SetVideoSize(0, 320, 240);
        ASSERT_TRUE(w.Create("x.avi"));
        const Bytes a = Payload(1000, 1), p = Payload(big, 2);
        ASSERT_TRUE(w.AddData(a.data(), 1000, 0));
        EXPECT_FALSE(w.AddData(p.data(), big, 0));
        // After the cut the room is free again for a small chunk and the index.
        const bool fits = room >= 12 + 8 + 32;
        EXPECT_EQ(fits, w.AddData("M12", 3, 3));
        w.Close();
        SCOPED_TRACE("room " + std::to_string(room));
        const Walked walked = ExpectConsistent(b);
        ASSERT_EQ(fits ? 2u : 1u, walked.chunks);
        EXPECT_EQ(fits, walked.indexed);
        if (fits) {
            EXPECT_EQ("02tx", walked.heads[1].first);
        }
    }
}
