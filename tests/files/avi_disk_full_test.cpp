// A disk that fills up while chunks are written: the file must describe exactly the chunks that
// were written whole.
#include "avi_test_support.h"

using namespace avi_test;
using locket::CAVIWriter;

namespace {

using Heads = std::vector<std::pair<std::string, uint32_t>>;  // chunk id, unpadded size

// Walks a finished one-camera-with-audio file on its own and checks that every count and size
// agrees with what is really there; returns the chunk heads found in the movi list.
Heads ExpectConsistent(const Bytes& b, bool* indexed) {
    Heads heads;
    if (b.size() < 408) {
        ADD_FAILURE() << "header cut: " << b.size() << " bytes";
        return heads;
    }
    EXPECT_EQ(b.size() - 8, U32(b, 4)) << "RIFF size covers the whole file";
    EXPECT_EQ("movi", Str4(b, 404));
    const size_t moviEnd = 404 + size_t(U32(b, 400));
    EXPECT_LE(moviEnd, b.size());
    size_t at = 408;
    while (at < moviEnd && at + 8 <= b.size()) {
        heads.emplace_back(Str4(b, at), U32(b, at + 4));
        at += 8 + ((heads.back().second + 1) & ~1u);
    }
    EXPECT_EQ(moviEnd, at) << "movi size ends on a chunk boundary";
    const uint32_t n = uint32_t(heads.size());
    EXPECT_EQ(n, U32(b, 48)) << "total frames = chunks written";
    *indexed = (U32(b, 44) & 0x10) != 0;
    if (*indexed) {
        EXPECT_EQ("idx1", Str4(b, moviEnd));
        EXPECT_EQ(16u * n, U32(b, moviEnd + 4));
        EXPECT_EQ(moviEnd + 8 + 16 * n, b.size());
        uint32_t offset = 4;
        for (uint32_t i = 0; i < n && moviEnd + 24 + 16 * i <= b.size(); ++i) {
            const size_t e = moviEnd + 8 + 16 * i;
            const uint32_t padded = (heads[i].second + 1) & ~1u;
            EXPECT_EQ(heads[i].first, Str4(b, e)) << "entry " << i;
            EXPECT_EQ(offset, U32(b, e + 8)) << "entry " << i;
            EXPECT_EQ(padded, U32(b, e + 12)) << "entry " << i;
            offset += 8 + padded;
        }
    } else {
        EXPECT_EQ(moviEnd, b.size()) << "without an index the file ends after the last chunk";
    }
    // Stream headers count the chunks of their streams (at least 1 for video and text).
    const auto count = [&](const char* id) {
        return uint32_t(std::count_if(heads.begin(), heads.end(),
                                      [&](const auto& h) { return h.first == id; }));
    };
    EXPECT_EQ(std::max(1u, count("00dc")), U32(b, 88 + 52));
    EXPECT_EQ(2000 * count("01wb"), U32(b, 212 + 52));
    EXPECT_EQ(std::max(1u, count("02tx")), U32(b, 312 + 52));
    return heads;
}

}  // namespace

TEST(AviDiskFull, EveryCutPoint_LeavesAFileOfWholeChunksOnly) {
    const uint32_t sizes[] = {1000, 7, 4000, 1, 513, 2, 999, 64};
    const int kinds[] = {0, 3, 2, 3, 0, 3, 0, 2};
    const char* ids[] = {"00dc", "00dc", "01wb", "02tx"};
    // Cut points fall in chunk headers, payloads, pad bytes and the index alike.
    for (size_t limit = 396; limit < 408 + 7000; limit += 37) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        Bytes b;
        CAVIWriter w(new MemoryFile(&b, limit));
        Configure(w, false);
        if (!w.Create("x.avi")) {
            EXPECT_LT(limit, 408u);
            continue;
        }
        Heads accepted;
        bool failed = false;
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < 8; ++i) {
                const Bytes p = Payload(sizes[i], i);
                // A smaller chunk may still fit after a refusal; it must then follow on directly.
                if (w.AddData(p.data(), sizes[i], kinds[i]))
                    accepted.emplace_back(ids[kinds[i]], sizes[i]);
                else
                    failed = true;
            }
        EXPECT_TRUE(failed);
        EXPECT_EQ(accepted.size(), w.GetChunkCount());
        w.Close();
        bool indexed = false;
        EXPECT_EQ(accepted, ExpectConsistent(b, &indexed));
        EXPECT_LE(b.size(), limit);
    }
}

TEST(AviDiskFull, LargeChunkCutInItsHeaderPayloadOrPad_IsTakenBackAndTheFileReadsBack) {
    // Large payloads are written apart from their chunk header; any of the writes may be refused.
    const uint32_t big = 100001;
    const Bytes a = Payload(1000, 1), p = Payload(big, 2), small = Payload(100, 3);
    TempDir dir;
    const std::string path = dir.File("cut.avi");
    // Room left after the first chunk: inside the header, right after it, inside the payload,
    // everything but the pad byte, and just enough for the small chunk and the index.
    for (size_t room : {3, 8, 5000, 8 + int(big), 8 + 100 + 8 + 32}) {
        SCOPED_TRACE("room " + std::to_string(room));
        Bytes b;
        CAVIWriter w(new MemoryFile(&b, 408 + 1008 + room));
        Configure(w, false);
        ASSERT_TRUE(w.Create("x.avi"));
        ASSERT_TRUE(w.AddData(a.data(), 1000, 0));
        EXPECT_FALSE(w.AddData(p.data(), big, 0));
        // After the cut the room is free again for a small chunk and the index.
        const bool fits = room >= 8 + 100 + 8 + 32;
        EXPECT_EQ(fits, w.AddData(small.data(), 100, 2));
        w.Close();
        bool indexed = false;
        Heads want = {{"00dc", 1000}};
        if (fits)
            want.emplace_back("01wb", 100);
        EXPECT_EQ(want, ExpectConsistent(b, &indexed));
        EXPECT_EQ(fits, indexed);

        WriteFile(path, b);
        locket::CAVIExtractor x;
        locket::MediaInfo info;
        ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
        EXPECT_EQ(fits ? 1 : 0, info.frameCount0) << "the index is only read when written";
        EXPECT_EQ(a, NextChunk(x).data);
        const Chunk second = NextChunk(x);
        EXPECT_EQ(fits ? small : Bytes(), second.data);
        EXPECT_EQ(fits, second.pos > 0);
    }
}
