// Byte layout of written files, checked against offsets and values written out here.
#include <string_view>
#include <tuple>

#include "avi_test_support.h"

using namespace avi_test;
using locket::CAVIWriter;

namespace {

// A little-endian word or a fourcc expected at an offset.
struct Field {
    Field(size_t o, uint32_t w) : off(o), word(w) {}
    Field(size_t o, std::string_view s) : off(o), id(s) {}
    size_t off;
    uint32_t word = 0;
    std::string_view id;
};

void ExpectAt(const Bytes& b, size_t base, std::initializer_list<Field> fields) {
    for (const Field& f : fields) {
        if (f.id.empty()) {
            EXPECT_EQ(f.word, U32(b, base + f.off)) << "at " << base + f.off;
        } else {
            EXPECT_EQ(f.id, Str4(b, base + f.off)) << "at " << base + f.off;
        }
    }
}

// A writer over a memory file, set up by Configure (320x240 at 30 fps, 160x120 at 15 fps).
std::unique_ptr<CAVIWriter> MakeWriter(Bytes* store, bool dual, MemoryFile** file = nullptr) {
    auto* f = new MemoryFile(store);
    if (file)
        *file = f;
    auto w = std::make_unique<CAVIWriter>(f);
    Configure(*w, dual);
    return w;
}

void ExpectMainHeader(const Bytes& b, uint32_t hdrlSize, uint32_t totalFrames) {
    ExpectAt(b, 0, {{0, "RIFF"},  {8, "AVI "},       {12, "LIST"}, {16, hdrlSize}, {20, "hdrl"},
                    {24, "avih"}, {28, 56},          {32, 0},      {36, 0},        {40, 0},
                    {44, 0x110},  {48, totalFrames}, {52, 0},      {56, 4},        {60, 0},
                    {64, 320},    {68, 240},         {72, 0},      {76, 0},        {80, 0},
                    {84, 0}});
}

// Stream lists: "LIST", size, "strl", the 56-byte strh at +20, "strf" at +76, its data at +84.
void ExpectVideoList(const Bytes& b, size_t at, uint32_t rate, uint32_t length, uint32_t suggested,
                     uint32_t w, uint32_t h) {
    ExpectAt(b, at, {{0, "LIST"},   {4, 116},     {8, "strl"}, {12, "strh"},      {16, 56},
                     {20, "vids"},  {24, "AVC1"}, {28, 0},     {32, 0},           {36, 0},
                     {40, 1000},    {44, rate},   {48, 0},     {52, length},      {56, suggested},
                     {60, 0},       {64, 0},      {68, 0},     {72, w | h << 16}, {76, "strf"},
                     {80, 40},      {84, 40},     {88, w},     {92, h},           {96, 0},
                     {100, "AVC1"}, {104, 0},     {108, 0},    {112, 0},          {116, 0},
                     {120, 0}});
}

void ExpectAudioList(const Bytes& b, size_t at, uint32_t length) {
    // 8 kHz mono 16-bit PCM: format tag 1 and 1 channel, block align 2 and 16 bits per sample.
    ExpectAt(b, at, {{0, "LIST"},  {4, 92},       {8, "strl"}, {12, "strh"}, {16, 56},
                     {20, "auds"}, {24, 0},       {28, 0},     {32, 0},      {36, 0},
                     {40, 2},      {44, 16000},   {48, 0},     {52, length}, {56, 2000},
                     {60, 0},      {64, 2},       {68, 0},     {72, 0},      {76, "strf"},
                     {80, 16},     {84, 0x10001}, {88, 8000},  {92, 16000},  {96, 2 | 16 << 16}});
}

void ExpectTextList(const Bytes& b, size_t at, uint32_t length, uint32_t suggested) {
    ExpectAt(b, at,
             {{0, "LIST"},  {4, 76},      {8, "strl"},     {12, "strh"}, {16, 56},   {20, "txts"},
              {24, "XBLB"}, {28, 0},      {32, 0},         {36, 0},      {40, 1000}, {44, 100000},
              {48, 0},      {52, length}, {56, suggested}, {60, 0},      {64, 0},    {68, 0},
              {72, 0},      {76, "strf"}, {80, 0}});
}

// Walks the chunks after the "movi" fourcc at `movi` (ids, unpadded sizes, payloads, zero pad
// bytes), then the index after them: one keyframe entry per chunk with its offset from the
// fourcc and its padded size. Returns where the index starts.
size_t ExpectChunksAndIndex(const Bytes& b, size_t movi,
                            const std::vector<std::pair<std::string, Bytes>>& chunks) {
    std::vector<std::tuple<std::string, uint32_t, uint32_t>> index;  // id, offset, padded size
    size_t at = movi + 4;
    for (const auto& [id, data] : chunks) {
        const uint32_t size = uint32_t(data.size()), padded = (size + 1) & ~1u;
        EXPECT_EQ(id, Str4(b, at));
        EXPECT_EQ(size, U32(b, at + 4)) << "chunk headers carry the unpadded size";
        EXPECT_TRUE(std::equal(data.begin(), data.end(), b.begin() + at + 8)) << "at " << at;
        EXPECT_TRUE(padded == size || b[at + 8 + size] == 0) << "pad byte at " << at;
        index.emplace_back(id, uint32_t(at - movi), padded);
        at += 8 + padded;
    }
    ExpectAt(b, at, {{0, "idx1"}, {4, uint32_t(16 * index.size())}});
    for (size_t i = 0; i < index.size(); ++i) {
        const auto& [id, offset, size] = index[i];
        SCOPED_TRACE("index entry " + std::to_string(i));
        ExpectAt(b, at + 8 + 16 * i, {{0, id}, {4, 0x10}, {8, offset}, {12, size}});
    }
    return at;
}

}  // namespace

TEST(AviLayout, OneCameraWithAudio_HeaderChunksAndIndexAtFixedOffsets) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    const Bytes v0 = Payload(101, 1), v1 = Payload(64, 2), rear = Payload(7, 3);
    const Bytes pcm = Payload(4000, 4), text = Payload(5, 5);
    for (const auto& [data, kind] :
         {std::pair{&v0, 0}, {&pcm, 2}, {&rear, 1}, {&text, 3}, {&v1, 0}})
        ASSERT_TRUE(w->AddData(data->data(), uint32_t(data->size()), kind));
    const uint32_t riff = w->Close();

    // hdrl 376: movi list at 396, "movi" at 404, first chunk at 408.
    ExpectMainHeader(b, 376, 5);
    ExpectVideoList(b, 88, 30000, 2, (102 + 64) / 2, 320, 240);
    ExpectAudioList(b, 212, 2000);
    ExpectTextList(b, 312, 1, 6);
    const uint32_t movi = 4 + (8 + 102) + (8 + 4000) + (8 + 8) + (8 + 6) + (8 + 64);
    ExpectAt(b, 396, {{0, "LIST"}, {4, movi}, {8, "movi"}});
    // One camera: rear frames take the front stream id.
    EXPECT_EQ(
        404 + movi,
        ExpectChunksAndIndex(
            b, 404, {{"00dc", v0}, {"01wb", pcm}, {"00dc", rear}, {"02tx", text}, {"00dc", v1}}));
    EXPECT_EQ(404 + movi + 8 + 16 * 5, b.size());
    EXPECT_EQ(b.size() - 8, riff);
    EXPECT_EQ(riff, U32(b, 4));
}

TEST(AviLayout, TwoCameras_FourStreamListsAndOwnChunkIds) {
    Bytes b;
    auto w = MakeWriter(&b, true);
    ASSERT_TRUE(w->Create("x.avi"));
    const Bytes front = Payload(10, 1), rear = Payload(20, 2), pcm = Payload(4000, 3);
    const Bytes rear19(rear.begin(), rear.begin() + 19), text = {'M', 'A', 'B', 'C'};
    for (const auto& [data, kind] :
         {std::pair{&front, 0}, {&rear, 1}, {&rear19, 1}, {&pcm, 2}, {&text, 3}})
        ASSERT_TRUE(w->AddData(data->data(), uint32_t(data->size()), kind));
    const uint32_t riff = w->Close();

    // hdrl 500: lists at 88, 212, 336, 436; movi list at 520, "movi" at 528, chunks from 532.
    ExpectMainHeader(b, 500, 5);
    ExpectVideoList(b, 88, 30000, 1, 10, 320, 240);
    ExpectVideoList(b, 212, 15000, 2, 20, 160, 120);
    ExpectAudioList(b, 336, 2000);
    ExpectTextList(b, 436, 1, 4);
    ExpectAt(b, 520, {{0, "LIST"}, {4, 4 + 18 + 28 + 28 + 4008 + 12}, {8, "movi"}});
    EXPECT_EQ(
        4626u,
        ExpectChunksAndIndex(
            b, 528,
            {{"00dc", front}, {"01dc", rear}, {"01dc", rear19}, {"02wb", pcm}, {"03tx", text}}));
    EXPECT_EQ(4626u + 8 + 5 * 16, b.size());
    EXPECT_EQ(b.size() - 8, riff);
    EXPECT_EQ(riff, U32(b, 4));
}

TEST(AviLayout, EmptyFile_IsValidWithEmptyMoviAndIndex) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_EQ(408u, w->Close());
    ExpectMainHeader(b, 376, 0);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    ExpectAudioList(b, 212, 0);
    ExpectTextList(b, 312, 1, 0);
    ExpectAt(b, 0, {{4, 408}, {396, "LIST"}, {400, 4}, {404, "movi"}, {408, "idx1"}, {412, 0}});
    EXPECT_EQ(416u, b.size());
}

TEST(AviLayout, ProvisionalHeaderHoldsPlaceholdersAndSettingsAfterCreateDoNotReachTheFile) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    ASSERT_TRUE(w->Create("x.avi"));
    w->SetFrameRate(0, 5);
    w->SetVideoSize(0, 640, 480);
    w->SetDualVideo(true);
    const Bytes v = Payload(33, 1), pcm = Payload(4000, 2);
    ASSERT_TRUE(w->AddData(v.data(), 33, 1));
    ASSERT_TRUE(w->AddData(pcm.data(), 4000, 2));
    ASSERT_TRUE(w->AddData("Mabc", 4, 3));
    // The file as it stands on disk while recording goes on.
    ExpectAt(b, 0, {{4, "0000"}, {400, "0000"}});
    ExpectMainHeader(b, 376, 0);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
    ExpectAudioList(b, 212, 0);
    ExpectTextList(b, 312, 1, 0);
    EXPECT_EQ(408u + 8 + 34 + 8 + 4000 + 8 + 4, b.size());
    // The layout of the open file keeps its chunk ids, sizes and rates.
    ExpectAt(b, 408, {{0, "00dc"}, {42, "01wb"}, {4050, "02tx"}});
    w->Close();
    ExpectMainHeader(b, 376, 3);
    ExpectVideoList(b, 88, 30000, 1, 0, 320, 240);
}

TEST(AviLayout, CloseTwiceCreateWhileOpenAndBadStreamKinds_AreRefused) {
    Bytes b;
    MemoryFile* file = nullptr;
    auto w = MakeWriter(&b, false, &file);
    EXPECT_EQ(0u, w->Close()) << "closing an idle writer does nothing";
    EXPECT_EQ(0, file->writes);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_FALSE(w->Create("y.avi"));
    EXPECT_FALSE(w->AddData("ab", 2, 4));
    EXPECT_FALSE(w->AddData("ab", 2, -1));
    EXPECT_TRUE(w->AddData("ab", 2, 0));
    EXPECT_EQ(434u, w->Close());
    ExpectMainHeader(b, 376, 1);
    const Bytes before = b;
    const int writes = file->writes;
    EXPECT_EQ(0u, w->Close());
    EXPECT_EQ(writes, file->writes);
    EXPECT_EQ(before, b);
    EXPECT_FALSE(w->AddData("ab", 2, 0));
}

TEST(AviLayout, NoAudioDropsTheAudioList_ChecksumTrailerSumsWholeWordsOfPaddedPayloads) {
    Bytes b;
    auto w = MakeWriter(&b, false);
    w->SetHasAudio(false);
    w->SetChecksum(true);
    ASSERT_TRUE(w->Create("x.avi"));
    EXPECT_EQ(280u, w->GetHeaderLen());
    const uint8_t a[7] = {1, 0, 0, 0, 2, 0, 0};  // padded to 8: words 1 and 2
    const uint8_t c[6] = {0, 1, 0, 0, 9, 9};     // one whole word 0x100, tail not counted
    const uint8_t d[3] = {0xFF, 0xFF, 0xFF};     // padded to 4: 0x00FFFFFF
    ASSERT_TRUE(w->AddData(a, 7, 0));
    ASSERT_TRUE(w->AddData(c, 6, 2));
    ASSERT_TRUE(w->AddData(d, 3, 3));
    const uint32_t riff = w->Close();
    ExpectMainHeader(b, 276, 3);
    ExpectTextList(b, 212, 1, 4);
    // Chunks of 16, 14 and 12 bytes from 308, then an index of three entries.
    ExpectAt(b, 296, {{0, "LIST"}, {4, 46}, {8, "movi"}, {12, "00dc"}, {16, 7}});
    ExpectAt(b, 308 + 42, {{0, "idx1"}, {56, "chk1"}, {60, 4}, {64, 1 + 2 + 0x100 + 0x00FFFFFF}});
    EXPECT_EQ(308u + 42 + 56 + 12, b.size());
    EXPECT_EQ(b.size() - 8, riff);
}

TEST(AviLayout, FreeFunctionsDriveTheProcessWriterOnDisk) {
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
    const Bytes b = ReadFile(path);
    ExpectMainHeader(b, 500, 1);
    ExpectAt(b, 336 + 84, {{4, 11025}, {8, 22050}});
    ExpectAt(b, 532, {{0, "01dc"}, {4, 3}});
    EXPECT_EQ(b.size() - 8, U32(b, 4));
    locket::AviSetDualVideo(false);
    locket::AviSetAudioRate(8000);
}
