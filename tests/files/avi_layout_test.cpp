// Byte layout of written files, checked against offsets and values written out here.
#include <gtest/gtest.h>

#include "avi_test_support.h"
#include "files/avi_writer.h"

using namespace avi_test;
using locket::CAVIWriter;

namespace {

struct Written {
    Bytes bytes;
    CAVIWriter* writer;
    MemoryFile* file;
};

// A writer over a memory file, configured like an export of a 320x240 recording.
std::unique_ptr<CAVIWriter> MakeWriter(Bytes* store, bool dual, MemoryFile** file = nullptr) {
    auto* f = new MemoryFile(store);
    if (file)
        *file = f;
    auto w = std::make_unique<CAVIWriter>(f);
    w->SetDualVideo(dual);
    w->SetVideoSize(0, 320, 240);
    w->SetVideoSize(1, 160, 120);
    w->SetFrameRate(0, 30);
    w->SetFrameRate(1, 15);
    return w;
}

// One video stream list starting at `at`.
void ExpectVideoList(const Bytes& b, size_t at, uint32_t rate, uint32_t length, uint32_t suggested,
                     uint16_t w, uint16_t h) {
    EXPECT_EQ("LIST", Str4(b, at));
    EXPECT_EQ(116u, U32(b, at + 4));
    EXPECT_EQ("strl", Str4(b, at + 8));
    EXPECT_EQ("strh", Str4(b, at + 12));
    EXPECT_EQ(56u, U32(b, at + 16));
    const size_t s = at + 20;
    EXPECT_EQ("vids", Str4(b, s));
    EXPECT_EQ("AVC1", Str4(b, s + 4));
    for (size_t off : {8, 12, 16, 28, 40, 44})
        EXPECT_EQ(0u, U32(b, s + off)) << "strh offset " << off;
    EXPECT_EQ(1000u, U32(b, s + 20));
    EXPECT_EQ(rate, U32(b, s + 24));
    EXPECT_EQ(length, U32(b, s + 32));
    EXPECT_EQ(suggested, U32(b, s + 36));
    EXPECT_EQ(0u, U16(b, s + 48));
    EXPECT_EQ(0u, U16(b, s + 50));
    EXPECT_EQ(w, U16(b, s + 52));
    EXPECT_EQ(h, U16(b, s + 54));
    EXPECT_EQ("strf", Str4(b, at + 76));
    EXPECT_EQ(40u, U32(b, at + 80));
    const size_t f = at + 84;
    EXPECT_EQ(40u, U32(b, f));
    EXPECT_EQ(w, U32(b, f + 4));
    EXPECT_EQ(h, U32(b, f + 8));
    EXPECT_EQ(0u, U32(b, f + 12));  // planes, bit count
    EXPECT_EQ("AVC1", Str4(b, f + 16));
    for (size_t off = 20; off < 40; off += 4)
        EXPECT_EQ(0u, U32(b, f + off));
}

void ExpectAudioList(const Bytes& b, size_t at, uint32_t length) {
    EXPECT_EQ("LIST", Str4(b, at));
    EXPECT_EQ(92u, U32(b, at + 4));
    EXPECT_EQ("strl", Str4(b, at + 8));
    EXPECT_EQ("strh", Str4(b, at + 12));
    EXPECT_EQ(56u, U32(b, at + 16));
    const size_t s = at + 20;
    EXPECT_EQ("auds", Str4(b, s));
    EXPECT_EQ(0u, U32(b, s + 4));
    EXPECT_EQ(2u, U32(b, s + 20));
    EXPECT_EQ(16000u, U32(b, s + 24));
    EXPECT_EQ(length, U32(b, s + 32));
    EXPECT_EQ(2000u, U32(b, s + 36));
    EXPECT_EQ(2u, U32(b, s + 44));
    for (size_t off : {8, 12, 16, 28, 40, 48, 52})
        EXPECT_EQ(0u, U32(b, s + off)) << "strh offset " << off;
    EXPECT_EQ("strf", Str4(b, at + 76));
    EXPECT_EQ(16u, U32(b, at + 80));
    const size_t f = at + 84;
    EXPECT_EQ(1u, U16(b, f));
    EXPECT_EQ(1u, U16(b, f + 2));
    EXPECT_EQ(8000u, U32(b, f + 4));
    EXPECT_EQ(16000u, U32(b, f + 8));
    EXPECT_EQ(2u, U16(b, f + 12));
    EXPECT_EQ(16u, U16(b, f + 14));
}

void ExpectTextList(const Bytes& b, size_t at, uint32_t length, uint32_t suggested) {
    EXPECT_EQ("LIST", Str4(b, at));
    EXPECT_EQ(76u, U32(b, at + 4));
    EXPECT_EQ("strl", Str4(b, at + 8));
    EXPECT_EQ("strh", Str4(b, at + 12));
    EXPECT_EQ(56u, U32(b, at + 16));
    const size_t s = at + 20;
    EXPECT_EQ("txts", Str4(b, s));
    EXPECT_EQ("XBLB", Str4(b, s + 4));
    EXPECT_EQ(1000u, U32(b, s + 20));
    EXPECT_EQ(100000u, U32(b, s + 24));
    EXPECT_EQ(length, U32(b, s + 32));
    EXPECT_EQ(suggested, U32(b, s + 36));
    for (size_t off : {8, 12, 16, 28, 40, 44, 48, 52})
        EXPECT_EQ(0u, U32(b, s + off)) << "strh offset " << off;
    EXPECT_EQ("strf", Str4(b, at + 76));
    EXPECT_EQ(0u, U32(b, at + 80));
}

void ExpectMainHeader(const Bytes& b, uint32_t hdrlSize, uint32_t totalFrames) {
    EXPECT_EQ("RIFF", Str4(b, 0));
    EXPECT_EQ("AVI ", Str4(b, 8));
    EXPECT_EQ("LIST", Str4(b, 12));
    EXPECT_EQ(hdrlSize, U32(b, 16));
    EXPECT_EQ("hdrl", Str4(b, 20));
    EXPECT_EQ("avih", Str4(b, 24));
    EXPECT_EQ(56u, U32(b, 28));
    EXPECT_EQ(0u, U32(b, 32));
    EXPECT_EQ(0u, U32(b, 36));
    EXPECT_EQ(0u, U32(b, 40));
    EXPECT_EQ(0x110u, U32(b, 44));
    EXPECT_EQ(totalFrames, U32(b, 48));
    EXPECT_EQ(0u, U32(b, 52));
    EXPECT_EQ(4u, U32(b, 56));
    EXPECT_EQ(0u, U32(b, 60));
    EXPECT_EQ(320u, U32(b, 64));
    EXPECT_EQ(240u, U32(b, 68));
    for (size_t off = 72; off < 88; off += 4)
        EXPECT_EQ(0u, U32(b, off));
}

struct IndexEntry {
    std::string id;
    uint32_t offset;
    uint32_t size;
};

void ExpectIndex(const Bytes& b, size_t at, const std::vector<IndexEntry>& want) {
    EXPECT_EQ("idx1", Str4(b, at));
    ASSERT_EQ(16u * want.size(), U32(b, at + 4));
    for (size_t i = 0; i < want.size(); ++i) {
        const size_t e = at + 8 + 16 * i;
        EXPECT_EQ(want[i].id, Str4(b, e)) << "entry " << i;
        EXPECT_EQ(0x10u, U32(b, e + 4)) << "entry " << i;
        EXPECT_EQ(want[i].offset, U32(b, e + 8)) << "entry " << i;
        EXPECT_EQ(want[i].size, U32(b, e + 12)) << "entry " << i;
    }
}

}  // namespace

TEST(AviLayout, OneCameraWithAudio_HeaderChunksAndIndexAtFixedOffsets) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    const Bytes v0 = Payload(101, 1), v1 = Payload(64, 2), rear = Payload(7, 3);
    const Bytes pcm = Payload(4000, 4), text = Payload(5, 5);
    ASSERT_TRUE(w->AddData(v0.data(), 101, 0));
    ASSERT_TRUE(w->AddData(pcm.data(), 4000, 2));
    ASSERT_TRUE(w->AddData(rear.data(), 7, 1));  // merged into the front stream id
    ASSERT_TRUE(w->AddData(text.data(), 5, 3));
    ASSERT_TRUE(w->AddData(v1.data(), 64, 0));
    const uint32_t riff = w->Close();

    // hdrl 376: movi list at 396, "movi" at 404, first chunk at 408.
    ExpectMainHeader(b, 376, 5);
    ExpectVideoList(b, 88, 30000, 2, (102 + 64) / 2, 320, 240);
    ExpectAudioList(b, 212, 2000 * 1);
    ExpectTextList(b, 312, 1, 6);
    EXPECT_EQ("LIST", Str4(b, 396));
    const uint32_t movi = 4 + (8 + 102) + (8 + 4000) + (8 + 8) + (8 + 6) + (8 + 64);
    EXPECT_EQ(movi, U32(b, 400));
    EXPECT_EQ("movi", Str4(b, 404));

    struct Chunk {
        const char* id;
        const Bytes* data;
    };
    const Chunk chunks[] = {
        {"00dc", &v0}, {"01wb", &pcm}, {"00dc", &rear}, {"02tx", &text}, {"00dc", &v1}};
    size_t at = 408;
    std::vector<IndexEntry> index;
    for (const Chunk& c : chunks) {
        const uint32_t size = uint32_t(c.data->size());
        EXPECT_EQ(c.id, Str4(b, at));
        EXPECT_EQ(size, U32(b, at + 4)) << "chunk headers carry the unpadded size";
        EXPECT_TRUE(std::equal(c.data->begin(), c.data->end(), b.begin() + at + 8));
        index.push_back({c.id, uint32_t(at - 404), (size + 1) & ~1u});
        at += 8 + ((size + 1) & ~1u);
    }
    EXPECT_EQ(404 + movi, at);
    ExpectIndex(b, at, index);
    EXPECT_EQ(at + 8 + 16 * 5, b.size());
    EXPECT_EQ(b.size() - 8, riff);
    EXPECT_EQ(riff, U32(b, 4));
}

TEST(AviLayout, TwoCameras_FourStreamListsAndOwnChunkIds) {
    Bytes b;
    auto w = MakeWriter(&b, true);
    ASSERT_TRUE(w->Create("x.avi"));
    const Bytes front = Payload(10, 1), rear = Payload(20, 2), pcm = Payload(4000, 3);
    ASSERT_TRUE(w->AddData(front.data(), 10, 0));
    ASSERT_TRUE(w->AddData(rear.data(), 20, 1));
    ASSERT_TRUE(w->AddData(rear.data(), 19, 1));
    ASSERT_TRUE(w->AddData(pcm.data(), 4000, 2));
    const uint32_t riff = w->Close();

    // hdrl 500: lists at 88, 212, 336, 436; movi list at 520, "movi" at 528, chunks from 532.
    ExpectMainHeader(b, 500, 4);
    ExpectVideoList(b, 88, 30000, 1, 10, 320, 240);
    ExpectVideoList(b, 212, 15000, 2, 20, 160, 120);
    ExpectAudioList(b, 336, 2000);
    ExpectTextList(b, 436, 1, 0);
    EXPECT_EQ("LIST", Str4(b, 520));
    EXPECT_EQ(4u + 18 + 28 + 28 + 4008, U32(b, 524));
    EXPECT_EQ("movi", Str4(b, 528));
    EXPECT_EQ("00dc", Str4(b, 532));
    EXPECT_EQ("01dc", Str4(b, 550));
    EXPECT_EQ("01dc", Str4(b, 578));
    EXPECT_EQ(19u, U32(b, 582));
    EXPECT_EQ("02wb", Str4(b, 606));
    ExpectIndex(b, 606 + 4008,
                {{"00dc", 4, 10}, {"01dc", 22, 20}, {"01dc", 50, 20}, {"02wb", 78, 4000}});
    EXPECT_EQ(b.size() - 8, riff);
    EXPECT_EQ(riff, U32(b, 4));
}

TEST(AviLayout, TextChunksInTwoCameraLayoutUse03tx) {
    Bytes b;
    auto w = MakeWriter(&b, true);
    ASSERT_TRUE(w->Create("x.avi"));
    ASSERT_TRUE(w->AddData("MABC", 4, 3));
    w->Close();
    EXPECT_EQ("03tx", Str4(b, 532));
}

TEST(AviLayout, EmptyFile_IsValidWithEmptyMoviAndIndex) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    const uint32_t riff = w->Close();
    ExpectMainHeader(b, 376, 0);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    ExpectAudioList(b, 212, 0);
    ExpectTextList(b, 312, 1, 0);
    EXPECT_EQ(4u, U32(b, 400));
    ExpectIndex(b, 408, {});
    EXPECT_EQ(416u, b.size());
    EXPECT_EQ(408u, riff);
    EXPECT_EQ(408u, U32(b, 4));
}

TEST(AviLayout, SingleOddTextChunk_IsPaddedAndIndexedWithPaddedSize) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    ASSERT_TRUE(w->AddData("Mxyz!", 5, 3));
    w->Close();
    EXPECT_EQ(18u, U32(b, 400));
    EXPECT_EQ("02tx", Str4(b, 408));
    EXPECT_EQ(5u, U32(b, 412));
    EXPECT_EQ(0, std::memcmp(&b[416], "Mxyz!", 5));
    ExpectIndex(b, 422, {{"02tx", 4, 6}});
    ExpectTextList(b, 312, 1, 6);
}

TEST(AviLayout, ProvisionalHeader_BeforeCloseHoldsPlaceholders) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    const Bytes v = Payload(33, 1), pcm = Payload(4000, 2);
    ASSERT_TRUE(w->AddData(v.data(), 33, 0));
    ASSERT_TRUE(w->AddData(pcm.data(), 4000, 2));
    ASSERT_TRUE(w->AddData("Mabc", 4, 3));
    // The file as it stands on disk while recording goes on.
    EXPECT_EQ("0000", Str4(b, 4));
    EXPECT_EQ("0000", Str4(b, 400));
    ExpectMainHeader(b, 376, 0);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    ExpectAudioList(b, 212, 0);
    ExpectTextList(b, 312, 1, 0);
    EXPECT_EQ(408u + 8 + 34 + 8 + 4000 + 8 + 4, b.size());
    w->Close();
}

TEST(AviLayout, SettingsAfterCreate_DoNotReachTheFile) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    w->SetFrameRate(0, 5);
    w->SetVideoSize(0, 640, 480);
    w->SetDualVideo(true);
    ASSERT_TRUE(w->AddData("abcd", 4, 1));
    w->Close();
    ExpectMainHeader(b, 376, 1);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    EXPECT_EQ("00dc", Str4(b, 408)) << "the layout of the open file keeps its chunk ids";
}

TEST(AviLayout, SecondCloseReturnsZeroAndWritesNothing) {
    Bytes b;
    MemoryFile* file = nullptr;
    auto w = MakeWriter(&b, false, &file);
    EXPECT_EQ(0u, w->Close()) << "closing an idle writer does nothing";
    EXPECT_EQ(0, file->writes);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_EQ(408u, w->Close());
    const Bytes before = b;
    const int writes = file->writes;
    EXPECT_EQ(0u, w->Close());
    EXPECT_EQ(writes, file->writes);
    EXPECT_EQ(before, b);
    EXPECT_FALSE(w->AddData("ab", 2, 0));
}

TEST(AviLayout, CreateWhileOpenIsRefusedAndBadStreamKindsAreRefused) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_FALSE(w->Create("y.avi"));
    EXPECT_FALSE(w->AddData("ab", 2, 4));
    EXPECT_FALSE(w->AddData("ab", 2, -1));
    EXPECT_TRUE(w->AddData("ab", 2, 0));
    w->Close();
    ExpectMainHeader(b, 376, 1);
}

TEST(AviLayout, NoAudio_DropsTheAudioList) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    w->SetHasAudio(false);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_EQ(280u, w->GetHeaderLen());
    w->Close();
    ExpectMainHeader(b, 276, 0);
    ExpectTextList(b, 212, 1, 0);
    EXPECT_EQ("LIST", Str4(b, 296));
    EXPECT_EQ("movi", Str4(b, 304));
}

TEST(AviLayout, ChecksumTrailer_SumsWholeWordsOfPaddedPayloads) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    w->SetChecksum(true);
    ASSERT_TRUE(w->Create("x.avi"));
    const uint8_t a[7] = {1, 0, 0, 0, 2, 0, 0};  // padded to 8: words 1 and 2
    const uint8_t c[6] = {0, 1, 0, 0, 9, 9};     // one whole word 0x100, tail not counted
    const uint8_t d[3] = {0xFF, 0xFF, 0xFF};     // padded to 4: 0x00FFFFFF
    ASSERT_TRUE(w->AddData(a, 7, 0));
    ASSERT_TRUE(w->AddData(c, 6, 2));
    ASSERT_TRUE(w->AddData(d, 3, 3));
    const uint32_t riff = w->Close();
    const size_t idx = 408 + 16 + 14 + 12;
    EXPECT_EQ("idx1", Str4(b, idx));
    const size_t chk = idx + 8 + 48;
    EXPECT_EQ("chk1", Str4(b, chk));
    EXPECT_EQ(4u, U32(b, chk + 4));
    EXPECT_EQ(1u + 2u + 0x100u + 0x00FFFFFFu, U32(b, chk + 8));
    EXPECT_EQ(b.size() - 8, riff);
}

TEST(AviLayout, FreeFunctionsDriveTheProcessWriter) {
    TempDir dir;
    const std::string path = dir.File("f.avi");
    locket::AviClose();
    locket::AviSetDualVideo(true);
    locket::AviSetVideoSize(0, 320, 240);
    locket::AviSetVideoSize(1, 160, 120);
    locket::AviSetFrameRate(0, 30);
    locket::AviSetFrameRate(1, 15);
    locket::AviSetAudioRate(8000);
    ASSERT_TRUE(locket::AviCreate(path.c_str()));
    EXPECT_TRUE(locket::AviAddData("abc", 3, 1));
    EXPECT_EQ(4u + 8 + 500 + 8 + 16 + 8 + 16, locket::AviClose());
    const Bytes b = ReadFile(path);
    ExpectMainHeader(b, 500, 1);
    EXPECT_EQ("01dc", Str4(b, 532));
    EXPECT_EQ(b.size() - 8, U32(b, 4));
    locket::AviSetDualVideo(false);
}
