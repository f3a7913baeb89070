// The writer's files checked against offsets and values written out here, also when the disk fills
// up, and the file sink under it; then the same files read back by the extractor, directly and
// through its reader thread, and damaged files, where every failure must be clean. The memory file
// and the outside reading of a finished file are done independently of the code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "files/avi_extractor.h"
#include "files/avi_writer.h"
#include "files/file_system.h"
#include "support/temp_dir.h"

using namespace locket;
using testsupport::ReadBytes;
using testsupport::TempDir;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}
std::string Str4(const Bytes& b, size_t at) {
    b.at(at + 3);  // throws when the four bytes are not all there
    return std::string(b.begin() + at, b.begin() + at + 4);
}

// A file that lives in memory; it cannot grow beyond `limit` bytes, as on a full disk. Only its
// first `keep` bytes are stored, so that files of gigabytes can be written as well.
class MemoryFile : public VFileSystem {
public:
    explicit MemoryFile(Bytes* store, size_t limit = SIZE_MAX, size_t keep = SIZE_MAX)
        : m_store(store), m_limit(limit), m_keep(keep) {}

    bool Open(const char*, const char*) override {
        if (m_open)
            return false;
        m_open = true;
        m_store->clear();
        m_pos = size = 0;
        return true;
    }
    uint32_t Write(const void* data, uint32_t count) override {
        if (++writes == halfWrite)
            count /= 2;
        const size_t n = std::min<size_t>(count, m_pos >= m_limit ? 0 : m_limit - m_pos);
        const size_t stored = m_pos >= m_keep ? 0 : std::min(n, m_keep - m_pos);
        if (m_store->size() < m_pos + stored)
            m_store->resize(m_pos + stored);
        if (stored)
            std::memcpy(m_store->data() + m_pos, data, stored);
        m_pos += n;
        size = std::max(size, m_pos);
        return static_cast<uint32_t>(n);
    }
    int32_t Close() override {
        m_open = false;
        return closeResult;
    }
    int32_t Seek(int64_t offset, int origin) override {
        const int64_t to = offset + (origin == 1   ? int64_t(m_pos)
                                     : origin == 2 ? int64_t(size)
                                                   : 0);
        m_pos = size_t(std::max<int64_t>(to, 0));
        return to < 0 ? -1 : 0;
    }
    bool IsOpen() override { return m_open; }
    int32_t Truncate(uint64_t length) override {
        if (length < m_store->size())
            m_store->resize(length);
        size = std::min<size_t>(size, length);
        return 0;
    }

    int writes = 0;
    int halfWrite = 0;        // this write (counted from 1) stores only half its bytes
    int32_t closeResult = 0;  // what Close reports, e.g. a flush the disk refused
    size_t size = 0;          // the file's length, stored or not

private:
    Bytes* m_store;
    size_t m_limit, m_keep;
    size_t m_pos = 0;
    bool m_open = false;
};

// Payload bytes that differ per chunk, so that a swapped or shifted chunk shows.
Bytes Payload(uint32_t size, uint32_t seed) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = uint8_t(x >> 16);
    }
    return b;
}

// A chunk to write: stream kind 0..3 and payload.
struct Packet {
    int kind;
    Bytes data;
};

// A 320x240 front camera at `fps0`; with `dual` a 160x120 rear camera at 15 fps.
void Configure(CAVIWriter& w, bool dual, int fps0 = 30) {
    w.SetDualVideo(dual);
    w.SetVideoSize(0, 320, 240);
    w.SetVideoSize(1, 160, 120);
    w.SetFrameRate(0, fps0);
    w.SetFrameRate(1, 15);
}

// Each packet must be taken.
void Add(CAVIWriter& w, const std::vector<Packet>& packets) {
    for (const Packet& p : packets)
        ASSERT_TRUE(w.AddData(p.data.data(), uint32_t(p.data.size()), p.kind));
}

void WritePackets(const std::string& path, const std::vector<Packet>& packets, bool dual,
                  int fps0 = 30) {
    CAVIWriter w;
    Configure(w, dual, fps0);
    ASSERT_TRUE(w.Create(path.c_str()));
    Add(w, packets);
    ASSERT_GT(w.Close(), 0u);
}

using Chunks = std::vector<std::pair<std::string, Bytes>>;

// What an outside reader finds in a finished file: the chunks of the movi list (id, payload). On
// the way it checks that the RIFF and movi sizes, the pad bytes, the frame count and every index
// entry (when the header promises an index) agree with the chunks really there.
Chunks Walk(const Bytes& b) {
    Chunks w;  // a file cut inside a field throws from U32 or Str4, which fails the test
    EXPECT_EQ(b.size() - 8, U32(b, 4)) << "RIFF size covers the whole file";
    const size_t movi = 28 + size_t(U32(b, 16));  // "movi" after the hdrl list and "LIST", size
    EXPECT_EQ("movi", Str4(b, movi));
    const size_t moviEnd = movi + U32(b, movi - 4);
    std::vector<uint32_t> offsets;
    size_t at = movi + 4;
    while (at < moviEnd && at + 8 <= b.size()) {
        const uint32_t size = U32(b, at + 4), padded = (size + 1) & ~1u;
        if (at + 8 + padded > b.size()) {
            ADD_FAILURE() << "chunk at " << at << " runs past the file";
            return w;
        }
        w.emplace_back(Str4(b, at), Bytes(b.begin() + at + 8, b.begin() + at + 8 + size));
        EXPECT_TRUE(padded == size || b[at + 8 + size] == 0) << "pad byte at " << at;
        offsets.push_back(uint32_t(at - movi));
        at += 8 + padded;
    }
    EXPECT_EQ(moviEnd, at) << "movi size ends on a chunk boundary";
    const uint32_t n = uint32_t(w.size());
    EXPECT_EQ(n, U32(b, 48)) << "total frames = chunks written";
    if ((U32(b, 44) & 0x10) == 0) {
        EXPECT_EQ(moviEnd, b.size()) << "without an index the file ends after the last chunk";
        return w;
    }
    EXPECT_EQ("idx1", Str4(b, moviEnd));
    EXPECT_EQ(16 * n, U32(b, moviEnd + 4));
    const size_t end = moviEnd + 8 + 16 * n;
    EXPECT_TRUE(b.size() == end || (b.size() == end + 12 && Str4(b, end) == "chk1"))
        << "the index ends the file, or the checksum trailer after it";
    for (uint32_t i = 0; i < n && moviEnd + 24 + 16 * i <= b.size(); ++i) {
        const size_t e = moviEnd + 8 + 16 * i;
        EXPECT_EQ(w[i].first, Str4(b, e)) << "entry " << i;
        EXPECT_EQ(0x10u, U32(b, e + 4)) << "entry " << i << ": key frame";
        EXPECT_EQ(offsets[i], U32(b, e + 8)) << "entry " << i;
        EXPECT_EQ((w[i].second.size() + 1) & ~size_t{1}, U32(b, e + 12)) << "entry " << i;
    }
    return w;
}

// One ParseMedia result: file position (< 0 at the end or on failure), chunk id, payload.
struct Chunk {
    int32_t pos;
    std::string id;
    Bytes data;
};

// Calls ParseMedia with a buffer of `capacity` bytes followed by guard bytes, and expects the
// guard bytes untouched.
Chunk NextChunk(CAVIExtractor& x, uint32_t capacity = 0x10000) {
    Bytes buf(capacity + 64, 0xA5);
    char id[4] = {0, 0, 0, 0};
    uint32_t size = capacity;
    const int32_t pos = x.ParseMedia(id, buf.data(), &size);
    EXPECT_TRUE(std::all_of(buf.begin() + capacity, buf.end(), [](uint8_t v) { return v == 0xA5; }))
        << "written past a capacity of " << capacity;
    EXPECT_TRUE(pos < 0 || size <= capacity);
    buf.resize(pos < 0 ? 0 : std::min(size, capacity));
    return {pos, std::string(id, 4), std::move(buf)};
}

using Words = std::vector<uint32_t>;

// The little-endian word a fourcc is stored as.
uint32_t F(const char (&id)[5]) {
    return U32(Bytes(id, id + 4), 0);
}

// `n` consecutive little-endian words from `at`.
Words WordsAt(const Bytes& b, size_t at, size_t n) {
    Words words;
    for (size_t i = 0; i < n; ++i)
        words.push_back(U32(b, at + 4 * i));
    return words;
}

// From offset 8 on; "RIFF" is checked by the extractor, its size apart.
void ExpectMainHeader(const Bytes& b, uint32_t hdrlSize, uint32_t totalFrames) {
    EXPECT_EQ((Words{F("AVI "),   F("LIST"), hdrlSize, F("hdrl"), F("avih"), 56,  0, 0, 0, 0x110,
                     totalFrames, 0,         4,        0,         320,       240, 0, 0, 0, 0}),
              WordsAt(b, 8, 20));
}

// Stream lists: "LIST", size, "strl", the 56-byte strh at +20, "strf" at +76, its data at +84.
void ExpectVideoList(const Bytes& b, size_t at, uint32_t rate, uint32_t length, uint32_t suggested,
                     uint32_t w, uint32_t h) {
    EXPECT_EQ((Words{F("LIST"), 116,       F("strl"),   F("strh"), 56, F("vids"), F("AVC1"), 0,
                     0,         0,         1000,        rate,      0,  length,    suggested, 0,
                     0,         0,         w | h << 16, F("strf"), 40, 40,        w,         h,
                     0,         F("AVC1"), 0,           0,         0,  0,         0}),
              WordsAt(b, at, 31))
        << "video list at " << at;
}

void ExpectAudioList(const Bytes& b, size_t at, uint32_t length) {
    // 8 kHz mono 16-bit PCM: format tag 1 and 1 channel, block align 2 and 16 bits per sample.
    EXPECT_EQ(
        (Words{F("LIST"), 92,        F("strl"), F("strh"), 56,     F("auds"), 0,           0, 0,
               0,         2,         16000,     0,         length, 2000,      0,           2, 0,
               0,         F("strf"), 16,        0x10001,   8000,   16000,     2 | 16 << 16}),
        WordsAt(b, at, 25));
}

void ExpectTextList(const Bytes& b, size_t at, uint32_t length, uint32_t suggested) {
    EXPECT_EQ(
        (Words{F("LIST"), 76, F("strl"), F("strh"), 56, F("txts"), F("XBLB"), 0, 0,         0, 1000,
               100000,    0,  length,    suggested, 0,  0,         0,         0, F("strf"), 0}),
        WordsAt(b, at, 21));
}

// Chunk ids by stream kind: [0] one camera, whose rear frames take the front id; [1] two cameras.
const char* const kIds[2][4] = {{"00dc", "00dc", "01wb", "02tx"}, {"00dc", "01dc", "02wb", "03tx"}};

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
    for (int i = 0; i < 12; ++i)
        Add(w, {{i % 4, Payload(40 + i * 3, i)}});
    w.Close();
    return b;
}

// Writes `file` at `path`, reads its chunks up to the index and seeks in it; returns the chunks
// delivered. NextChunk checks that nothing lands past `capacity`.
int Exercise(const std::string& path, const Bytes& file, uint32_t capacity = 4096) {
    testsupport::WriteText(path, std::string(file.begin(), file.end()));
    CAVIExtractor x;
    MediaInfo info;
    int packets = 0;
    if (x.OpenMedia(path.c_str(), &info)) {
        for (Chunk c = NextChunk(x, capacity); c.pos > 0 && c.id != "idx1" && packets < 10000;
             c = NextChunk(x, capacity))
            ++packets;
        x.SeekTime(0.0f);
        x.SeekTime(100.0f);
    } else {
        EXPECT_EQ(0, x.TellRaw()) << "a failed open keeps no file";
    }
    EXPECT_EQ(info.frameCount0, info.frameOffsets.GetSize());
    return packets;
}

}  // namespace

TEST(AviWriter, TwoThenOneCameraThenNoAudio_HeaderFieldsChunksIndexChecksum_ProvisionalUntilClose) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b));
    Configure(w, true);
    ASSERT_TRUE(w.Create("x.avi"));
    // The large front frame is written apart from its header, pad byte included.
    const Bytes front = Payload(70001, 1), rear = Payload(20, 2), rear19 = Payload(19, 3);
    const Bytes pcm = Payload(4000, 4), text = {'M', 'A', 'B', 'C'};
    Add(w, {{0, front}, {1, rear}, {1, rear19}, {2, pcm}, {3, text}});
    w.Close();

    // hdrl 500: lists at 88, 212, 336 and 436, then the movi list.
    ExpectMainHeader(b, 500, 5);
    ExpectVideoList(b, 88, 30000, 1, 70002, 320, 240);
    ExpectVideoList(b, 212, 15000, 2, 20, 160, 120);
    ExpectAudioList(b, 336, 2000);
    ExpectTextList(b, 436, 1, 4);
    EXPECT_EQ(
        (Chunks{{"00dc", front}, {"01dc", rear}, {"01dc", rear19}, {"02wb", pcm}, {"03tx", text}}),
        Walk(b));

    // The next file with one camera; settings made while a file is open wait for the next one.
    w.SetDualVideo(false);
    ASSERT_TRUE(w.Create("y.avi"));
    w.SetFrameRate(0, 5);
    w.SetVideoSize(0, 640, 480);
    w.SetDualVideo(true);
    const Bytes v0 = Payload(101, 1), v1 = Payload(64, 5);
    Add(w, {{0, v0}, {2, pcm}, {1, rear}, {3, text}, {0, v1}});
    // The file as it stands while recording goes on: placeholders, no counts, an index promised.
    EXPECT_EQ((Words{F("0000"), F("0000")}), (Words{U32(b, 4), U32(b, 400)}));
    ExpectMainHeader(b, 376, 0);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    ExpectAudioList(b, 212, 0);
    ExpectTextList(b, 312, 1, 0);

    EXPECT_EQ(b.size() - 8, w.Close());
    ExpectMainHeader(b, 376, 5);
    ExpectVideoList(b, 88, 30000, 2, (102 + 64) / 2, 320, 240);
    // Rear frames take the front stream's id; audio and text move up one.
    EXPECT_EQ((Chunks{{"00dc", v0}, {"01wb", pcm}, {"00dc", rear}, {"02tx", text}, {"00dc", v1}}),
              Walk(b));

    // Without audio the audio list goes; the checksum trailer sums the whole words of the padded
    // payloads: 1 + 2 (padded to 8), 0x100 (the last two bytes are no whole word), 0x00FFFFFF.
    Configure(w, false);
    w.SetHasAudio(false);
    w.SetChecksum(true);
    ASSERT_TRUE(w.Create("z.avi"));
    EXPECT_EQ(280u, w.GetHeaderLen());
    const Bytes a = {1, 0, 0, 0, 2, 0, 0}, c = {0, 1, 0, 0, 9, 9}, d = {0xFF, 0xFF, 0xFF};
    Add(w, {{0, a}, {2, c}, {3, d}});
    w.Close();
    ExpectMainHeader(b, 276, 3);
    ExpectTextList(b, 212, 1, 4);
    // Chunks of 16, 14 and 12 bytes from 308, then an index of three entries.
    EXPECT_EQ((Words{F("chk1"), 4, 1 + 2 + 0x100 + 0x00FFFFFF}), WordsAt(b, 308 + 42 + 56, 3));
    EXPECT_EQ(3u, Walk(b).size());
}

TEST(AviWriter, CloseTwiceCreateWhileOpenAndBadStreamKinds_AreRefused) {
    Bytes b;
    auto* file = new MemoryFile(&b);
    CAVIWriter w(file);  // left as it was made: one camera
    EXPECT_EQ(0u, w.Close()) << "closing an idle writer does nothing";
    EXPECT_EQ(0, file->writes);
    EXPECT_FALSE(w.Full());
    ASSERT_TRUE(w.Create("x.avi"));
    EXPECT_FALSE(w.Create("y.avi"));
    EXPECT_FALSE(w.AddData("ab", 2, 4));
    EXPECT_FALSE(w.AddData("ab", 2, -1));
    EXPECT_TRUE(w.AddData("ab", 2, 1));
    EXPECT_EQ(434u, w.Close());
    EXPECT_EQ((Chunks{{"00dc", {'a', 'b'}}}), Walk(b));
    EXPECT_TRUE(w.LastCloseOk());
    const Bytes before = b;
    EXPECT_EQ(0u, w.Close());
    EXPECT_EQ(before, b);
    EXPECT_FALSE(w.AddData("ab", 2, 0));
    EXPECT_EQ(nullptr, w.ReserveChunk(16)) << "no file open";
    // A sink that does not close cleanly (its last bytes refused) makes a failed close.
    ASSERT_TRUE(w.Create("z.avi"));
    file->closeResult = -1;
    w.Close();
    EXPECT_FALSE(w.LastCloseOk());
    // Room reserved in one file cannot be committed in the next.
    ASSERT_TRUE(w.Create("r.avi"));
    ASSERT_NE(nullptr, w.ReserveChunk(16));
    w.Close();
    ASSERT_TRUE(w.Create("s.avi"));
    EXPECT_FALSE(w.CommitChunk(1, 0));
}

// A disk that fills up while chunks are written: the file must describe exactly the chunks that
// were written whole, in the stream lengths as well.
TEST(AviWriter, DiskFullAtEveryCutPoint_LeavesAFileOfWholeChunksOnly) {
    // The large chunk goes out in writes apart from its header, and never fits.
    const uint32_t sizes[] = {70001, 1000, 7, 4000, 1, 513, 2, 999, 64};
    const int kinds[] = {0, 0, 3, 2, 3, 0, 3, 0, 2};
    std::vector<Bytes> payloads;
    for (int i = 0; i < 9; ++i)
        payloads.push_back(Payload(sizes[i], i));
    // Cut points fall in the header, chunk headers, payloads, pad bytes and the index alike.
    for (size_t limit = 400; limit < 408 + 7000; limit += limit < 420 ? 3 : 37) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        Bytes b;
        CAVIWriter w(new MemoryFile(&b, limit));
        Configure(w, false);
        if (!w.Create("x.avi")) {
            EXPECT_LT(limit, 408u);
            continue;
        }
        Chunks accepted;
        uint32_t count[4] = {0, 0, 0, 0};
        size_t end = 408;  // where the next chunk goes
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < 9; ++i) {
                // A chunk is taken exactly when it fits the room left, also after a refusal.
                const size_t need = 8 + ((sizes[i] + 1) & ~1u);
                const bool fits = end + need <= limit;
                ASSERT_EQ(fits, w.AddData(payloads[i].data(), sizes[i], kinds[i])) << i;
                if (fits) {
                    accepted.emplace_back(kIds[0][kinds[i]], payloads[i]);
                    ++count[kinds[i]];
                    end += need;
                }
            }
        EXPECT_EQ(accepted.size(), w.GetChunkCount());
        w.Close();
        // A file without its index is not the file that was asked for.
        EXPECT_EQ(w.LastCloseOk(), end + 8 + 16 * accepted.size() <= limit);
        EXPECT_EQ(accepted, Walk(b));
        EXPECT_EQ(std::max(1u, count[0]), U32(b, 88 + 52));
        EXPECT_EQ(2000 * count[2], U32(b, 212 + 52));
        EXPECT_EQ(std::max(1u, count[3]), U32(b, 312 + 52));
    }
}

// Chunks read straight into the writer's buffer make the same file as AddData, in a few large
// writes; when the disk fills, the chunks not written whole go, counts and index with them.
TEST(AviWriter, ReservedChunksMakeTheSameFileInLargeWritesAndLeaveOnlyWholeChunks) {
    std::vector<std::pair<Bytes, int>> chunks;
    for (int i = 0; i < 400; ++i)
        chunks.emplace_back(Payload(uint32_t(i % 7 == 0 ? 70001 : 1 + (i * 37) % 4000), i),
                            i % 3 == 2 ? 2 : i % 2);
    // Writes the chunks on `file` (the writer owns it): how many were taken, whether the close
    // succeeded, and the writes the file saw.
    const auto write = [&](MemoryFile* file, bool reserve) {
        CAVIWriter w(file);
        Configure(w, true);
        EXPECT_TRUE(w.Create("x.avi"));
        size_t committed = 0;
        for (const auto& [data, kind] : chunks) {
            const auto size = uint32_t(data.size());
            // One chunk goes through AddData, between reserved ones.
            if (!reserve || committed == 200) {
                if (!w.AddData(data.data(), size, kind))
                    break;
            } else {
                uint8_t* room = w.ReserveChunk(CAVIWriter::kMaxReserveBytes);
                if (!room)
                    break;
                std::memcpy(room, data.data(), size);
                if (!w.CommitChunk(size, kind))
                    break;
            }
            ++committed;
        }
        w.Close();
        return std::make_tuple(committed, w.LastCloseOk(), file->writes);
    };
    Bytes plain, reserved;
    const int plainWrites = std::get<2>(write(new MemoryFile(&plain), false));
    const auto [count, ok, writes] = write(new MemoryFile(&reserved), true);
    EXPECT_EQ(std::make_tuple(chunks.size(), true), std::make_tuple(count, ok));
    EXPECT_EQ(plain, reserved);
    EXPECT_LT(writes * 5, plainWrites);

    // Cut in the first large write, in the last one (made by Close), and in the index; and, with
    // no size limit, a large write that stores only half its bytes.
    for (size_t limit : {size_t(1 << 20), size_t(3 << 20), plain.size() - 100, SIZE_MAX}) {
        SCOPED_TRACE(limit);
        Bytes full;
        auto* file = new MemoryFile(&full, limit);
        file->halfWrite = limit == SIZE_MAX ? 2 : 0;
        const auto [committed, closeOk, unused] = write(file, true);
        EXPECT_FALSE(closeOk);
        const Chunks kept = Walk(full);
        ASSERT_LE(kept.size(), committed);
        uint32_t front = 0;
        for (size_t i = 0; i < kept.size(); ++i) {
            ASSERT_EQ(kept[i].second, chunks[i].first) << i;
            front += chunks[i].second == 0;
        }
        EXPECT_EQ(std::max(1u, front), U32(full, 88 + 52)) << "the header counts what is there";
    }
}

// Files pass 2 GiB, and stop whole at the last chunk that keeps the form under 4 GiB.
TEST(AviWriter, FilesPass2GiBAndEndWholeBefore4GiB) {
    Bytes head;
    auto* file = new MemoryFile(&head, SIZE_MAX, 4096);
    CAVIWriter w(file);
    Configure(w, false);
    ASSERT_TRUE(w.Create("big.avi"));
    const Bytes payload = Payload(1 << 20, 3);
    uint64_t chunks = 0;
    while (w.AddData(payload.data(), uint32_t(payload.size()), 0))
        ++chunks;
    EXPECT_TRUE(w.Full());
    // A last chunk is taken when it fits to the byte with its index entry and room for a
    // checksum trailer; one more byte (two with the pad) is refused.
    const uint32_t room = uint32_t(0xFFFFFFFFull - file->size - 8 - (8 + 16 * (chunks + 1) + 12));
    ASSERT_LT(room, payload.size());
    EXPECT_FALSE(w.AddData(payload.data(), (room & ~1u) + 1, 0));
    EXPECT_TRUE(w.AddData(payload.data(), room & ~1u, 0));
    ++chunks;
    const uint64_t data = file->size;
    const uint32_t riff = w.Close();
    EXPECT_TRUE(w.LastCloseOk());
    EXPECT_EQ(file->size, data + 8 + 16 * chunks);
    EXPECT_EQ(uint64_t{riff} + 8, file->size);
    EXPECT_EQ(chunks, U32(head, 48)) << "total frames";
}

// On disk: the process writer behind the free functions, and the file sink under every writer.
TEST(AviWriter, FreeFunctionsAndStdioSinkOnDisk) {
    TempDir dir;
    const std::string path = dir.File("f.avi");
    AviSetDualVideo(true);
    AviSetVideoSize(1, 160, 120);
    AviSetFrameRate(1, 12);
    AviSetAudioRate(11025);
    ASSERT_TRUE(AviCreate(path.c_str()));
    EXPECT_TRUE(AviAddData("abc", 3, 1));
    EXPECT_EQ(4u + 8 + 500 + 8 + 16 + 8 + 16, AviClose());
    const Bytes b = ReadBytes(path);
    ExpectVideoList(b, 212, 12000, 1, 4, 160, 120);
    EXPECT_EQ((Words{11025, 22050}), WordsAt(b, 336 + 88, 2));
    EXPECT_EQ((Chunks{{"01dc", {'a', 'b', 'c'}}}), Walk(b));
    CAVIWriter w;
    EXPECT_FALSE(w.Create(dir.File("no/such/x.avi").c_str()));

    CFSNormal fs;
    EXPECT_FALSE(fs.IsOpen());
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
    EXPECT_EQ(Bytes({'h', 'E', 'l', 'l', 'o', '!'}), ReadBytes(dir.File("a.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.bin")));
    ASSERT_TRUE(fs.Open(dir.File("b.bin").c_str(), "wb")) << "closed: open again";
    EXPECT_EQ(0, fs.Close());
    EXPECT_FALSE(fs.Open(dir.File("no/such/dir.bin").c_str(), "wb"));
}

// Both layouts through one extractor: properties, every packet, the front frame positions of
// the index, and seeking by time, which needs the index of the file open; then reading ahead.
TEST(AviExtractor, EveryPacketDirectlyOrReadAhead_IndexSeeksToFrontFrames_OversizedChunksDropped) {
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
        std::vector<uint32_t> fronts;  // where the front frames start, flagged as key frames
        for (size_t i = 0; i < packets.size(); ++i) {
            uint32_t size = uint32_t(buf.size());
            if (packets[i].kind == 0)
                fronts.push_back(uint32_t(x.TellRaw()) | 0x80000000u);
            ASSERT_EQ(packets[i].kind, x.ReadPacket(buf.data(), &size)) << "packet " << i;
            ASSERT_EQ(packets[i].data, Bytes(buf.begin(), buf.begin() + size)) << "packet " << i;
        }
        uint32_t size = uint32_t(buf.size());
        EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &size)) << "the index is no packet";

        CAVIExtractor indexer;
        ASSERT_TRUE(indexer.BuildIndex(path.c_str(), &info));
        EXPECT_EQ(std::vector<int>({30, dual ? 15 : 0, 60, dual ? 30 : 0}),
                  std::vector<int>({info.fps0, info.fps1, info.frameCount0, info.frameCount1}));
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
    EXPECT_EQ(0u, x.ReadRaw(riff, 4));
    EXPECT_LT(NextChunk(x).pos, 0);
    EXPECT_EQ(-1, x.SeekRaw(0, kSeekStart)) << "no file: the seek did not happen";

    // Above 30 fps the rate is reported as 30, but seeking goes by the true rate.
    const std::string fast = dir.File("fast.avi");
    WritePackets(fast, MakeRecording(false), false, 60);
    ASSERT_NE(0u, x.OpenMedia(fast.c_str(), &info));
    EXPECT_EQ(std::make_pair(30, 30), std::make_pair(x.GetFrameRate(0), info.fps0));
    ASSERT_EQ(0, x.SeekTime(0.5f));
    EXPECT_EQ(front[30], NextChunk(x).data);
    x.CloseMedia();

    // Read ahead, from a file of far more than the queue holds at once, so that the reader waits
    // for room as well; every 7th chunk has 9000 bytes.
    const std::string path = dir.File("r.avi");
    std::vector<Packet> packets;
    for (int f = 0; f < 1200; ++f)
        packets.push_back({f % 4, Payload(f % 7 == 1 ? 9000 : 100 + f * 13 % 501, f)});
    WritePackets(path, packets, true);
    x.SetReadAhead(true);
    ASSERT_TRUE(x.StartReader());
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    ASSERT_EQ(300, info.frameCount0);
    int32_t at = 532;  // where the chunks of a file of two cameras start
    for (size_t i = 0; i < packets.size(); ++i) {
        const Chunk c = NextChunk(x);
        ASSERT_EQ(at, c.pos) << "packet " << i;
        at += 8 + int32_t((packets[i].data.size() + 1) & ~size_t{1});
        ASSERT_EQ(kIds[1][packets[i].kind], c.id) << "packet " << i;
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
    for (size_t i = 0; i < 40; ++i) {
        if (packets[i].data.size() > room)
            continue;
        const Chunk c = NextChunk(x, room);
        ASSERT_EQ(kIds[1][packets[i].kind], c.id) << "packet " << i;
        ASSERT_EQ(packets[i].data, c.data) << "packet " << i;
    }
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
        const auto whole = std::count_if(payloadEnds.begin(), payloadEnds.end(),
                                         [&](size_t e) { return e <= len; });
        EXPECT_EQ(int(whole), Exercise(path, Bytes(dual.begin(), dual.begin() + len)));
        CAVIExtractor x;
        EXPECT_EQ(len >= 532, x.OpenMedia(path.c_str(), nullptr) != 0);
        MediaInfo info;
        EXPECT_EQ(len == dual.size(), x.BuildIndex(path.c_str(), &info));
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
    CAVIExtractor x;
    for (const auto& [at, bytes] : damages) {
        SCOPED_TRACE("damage at " + std::to_string(at));
        Bytes b = good;
        std::memcpy(&b[at], bytes, std::strlen(bytes));
        Exercise(path, b);
        EXPECT_EQ(0u, x.OpenMedia(path.c_str(), nullptr));
    }
    EXPECT_EQ(0u, x.OpenMedia(dir.File("missing.avi").c_str(), nullptr));
    EXPECT_EQ(0u, x.OpenMedia(nullptr, nullptr));

    // Sizes that lie: hdrl, video list, movi, first chunk, RIFF.
    for (size_t at : {16, 92, 400, 412, 4})
        for (uint32_t value : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
            Bytes b = good;
            for (int i = 0; i < 4; ++i)
                b[at + i] = uint8_t(value >> (8 * i));
            Exercise(path, b);
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
        Exercise(path, b, 64 + round);
    }
}
