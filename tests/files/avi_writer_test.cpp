// Files as the writer lays them out, checked against offsets and values written out here, also
// when the disk fills up; and the file sink under the writer.
#include "avi_test_support.h"

using namespace avi_test;
using locket::CAVIWriter;

namespace {

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

// From offset 8 on; "RIFF" and its size are checked apart.
void ExpectMainHeader(const Bytes& b, uint32_t hdrlSize, uint32_t totalFrames) {
    EXPECT_EQ("RIFF", Str4(b, 0));
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

// Writes (payload, kind) pairs; each must be taken.
void Add(CAVIWriter& w, std::initializer_list<std::pair<const Bytes*, int>> chunks) {
    for (const auto& [data, kind] : chunks)
        ASSERT_TRUE(w.AddData(data->data(), uint32_t(data->size()), kind));
}

}  // namespace

TEST(AviWriter, TwoCamerasThenOneCamera_EveryHeaderFieldChunkAndIndexEntryProvisionalUntilClose) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b));
    Configure(w, true);
    ASSERT_TRUE(w.Create("x.avi"));
    // The large front frame is written apart from its header, pad byte included.
    const Bytes front = Payload(70001, 1), rear = Payload(20, 2), rear19 = Payload(19, 3);
    const Bytes pcm = Payload(4000, 4), text = {'M', 'A', 'B', 'C'};
    Add(w, {{&front, 0}, {&rear, 1}, {&rear19, 1}, {&pcm, 2}, {&text, 3}});
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
    Add(w, {{&v0, 0}, {&pcm, 2}, {&rear, 1}, {&text, 3}, {&v1, 0}});
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
}

TEST(AviWriter, CloseTwiceCreateWhileOpenAndBadStreamKinds_AreRefused) {
    Bytes b;
    auto* file = new MemoryFile(&b);
    CAVIWriter w(file);
    Configure(w, false);
    EXPECT_EQ(0u, w.Close()) << "closing an idle writer does nothing";
    EXPECT_EQ(0, file->writes);
    EXPECT_FALSE(w.Full());
    ASSERT_TRUE(w.Create("x.avi"));
    EXPECT_FALSE(w.Create("y.avi"));
    EXPECT_FALSE(w.AddData("ab", 2, 4));
    EXPECT_FALSE(w.AddData("ab", 2, -1));
    EXPECT_TRUE(w.AddData("ab", 2, 0));
    EXPECT_EQ(434u, w.Close());
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
    // A writer left as it was made writes one-camera files.
    Bytes plain;
    CAVIWriter fresh(new MemoryFile(&plain));
    ASSERT_TRUE(fresh.Create("p.avi"));
    ASSERT_TRUE(fresh.AddData("ab", 2, 1));
    fresh.Close();
    EXPECT_EQ((Chunks{{"00dc", {'a', 'b'}}}), Walk(plain));
    // Room reserved in one file cannot be committed in the next.
    ASSERT_TRUE(w.Create("r.avi"));
    ASSERT_NE(nullptr, w.ReserveChunk(16));
    w.Close();
    ASSERT_TRUE(w.Create("s.avi"));
    EXPECT_FALSE(w.CommitChunk(1, 0));
}

TEST(AviWriter, NoAudioDropsTheAudioList_ChecksumTrailerSumsWholeWordsOfPaddedPayloads) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b));
    Configure(w, false);
    w.SetHasAudio(false);
    w.SetChecksum(true);
    ASSERT_TRUE(w.Create("x.avi"));
    EXPECT_EQ(280u, w.GetHeaderLen());
    const uint8_t a[7] = {1, 0, 0, 0, 2, 0, 0};  // padded to 8: words 1 and 2
    const uint8_t c[6] = {0, 1, 0, 0, 9, 9};     // one whole word 0x100, tail not counted
    const uint8_t d[3] = {0xFF, 0xFF, 0xFF};     // padded to 4: 0x00FFFFFF
    ASSERT_TRUE(w.AddData(a, 7, 0));
    ASSERT_TRUE(w.AddData(c, 6, 2));
    ASSERT_TRUE(w.AddData(d, 3, 3));
    w.Close();
    ExpectMainHeader(b, 276, 3);
    ExpectTextList(b, 212, 1, 4);
    // Chunks of 16, 14 and 12 bytes from 308, then an index of three entries.
    EXPECT_EQ("idx1", Str4(b, 308 + 42));
    EXPECT_EQ((Words{F("chk1"), 4, 1 + 2 + 0x100 + 0x00FFFFFF}), WordsAt(b, 308 + 42 + 56, 3));
    EXPECT_EQ(3u, Walk(b).size());
}

// A disk that fills up while chunks are written: the file must describe exactly the chunks that
// were written whole, in the stream lengths as well.
TEST(AviWriter, DiskFullAtEveryCutPoint_LeavesAFileOfWholeChunksOnly) {
    // The large chunk goes out in writes apart from its header, and never fits.
    const uint32_t sizes[] = {70001, 1000, 7, 4000, 1, 513, 2, 999, 64};
    const int kinds[] = {0, 0, 3, 2, 3, 0, 3, 0, 2};
    const char* ids[] = {"00dc", "00dc", "01wb", "02tx"};
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
                    accepted.emplace_back(ids[kinds[i]], payloads[i]);
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
    EXPECT_EQ(riff, U32(head, 4));
    EXPECT_EQ(chunks, U32(head, 48)) << "total frames";
}

// On disk: the process writer behind the free functions, and the file sink under every writer.
TEST(AviWriter, FreeFunctionsAndStdioSinkOnDisk) {
    TempDir dir;
    const std::string path = dir.File("f.avi");
    locket::AviSetDualVideo(true);
    locket::AviSetVideoSize(0, 320, 240);
    locket::AviSetVideoSize(1, 160, 120);
    locket::AviSetFrameRate(0, 30);
    locket::AviSetFrameRate(1, 15);
    locket::AviSetAudioRate(11025);
    ASSERT_TRUE(locket::AviCreate(path.c_str()));
    EXPECT_TRUE(locket::AviAddData("abc", 3, 1));
    EXPECT_EQ(4u + 8 + 500 + 8 + 16 + 8 + 16, locket::AviClose());
    const Bytes b = ReadBytes(path);
    EXPECT_EQ((Words{11025, 22050}), WordsAt(b, 336 + 88, 2));
    EXPECT_EQ((Chunks{{"01dc", {'a', 'b', 'c'}}}), Walk(b));
    locket::AviSetDualVideo(false);
    locket::AviSetAudioRate(8000);
    CAVIWriter w;
    EXPECT_FALSE(w.Create(dir.File("no/such/x.avi").c_str()));
    EXPECT_FALSE(w.AddData("ab", 2, 0));
    EXPECT_EQ(0u, w.Close());

    locket::CFSNormal fs;
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
    EXPECT_EQ(Bytes({'h', 'E', 'l', 'l', 'o', '!'}), ReadBytes(dir.File("a.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.bin")));
    ASSERT_TRUE(fs.Open(dir.File("b.bin").c_str(), "wb")) << "closed: open again";
    EXPECT_EQ(0, fs.Close());
    EXPECT_FALSE(fs.Open(dir.File("no/such/dir.bin").c_str(), "wb"));
}
