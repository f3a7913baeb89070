// The extractor on damaged files: every failure is clean, nothing is read or written out of bounds.
#include "avi_test_support.h"

using namespace avi_test;
using namespace locket;

namespace {

// 12 chunks of 40..73 bytes cycling through the four stream kinds.
Bytes ValidFile(bool dual) {
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

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = uint8_t(v >> (8 * i));
}

}  // namespace

TEST(AviDamaged, WrongMagicOrFormOrHeaderSizesFailToOpen) {
    TempDir dir;
    const std::string path = dir.File("bad.avi");
    const Bytes good = ValidFile(false);
    const struct {
        size_t at;
        const char* bytes;
    } damages[] = {
        {0, "RIFX"},    // magic
        {8, "AVI2"},    // form type
        {28, "\x39"},   // avih size 57
        {104, "\x37"},  // video strh size 55
        {168, "\x29"},  // video strf size 41
        {292, "\x11"},  // audio strf size 17
    };
    for (const auto& d : damages) {
        SCOPED_TRACE("damage at " + std::to_string(d.at));
        Bytes b = good;
        std::memcpy(&b[d.at], d.bytes, std::strlen(d.bytes));
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
}

TEST(AviDamaged, EveryTruncationFailsCleanlyAndDeliversOnlyWholeChunks) {
    TempDir dir;
    const std::string path = dir.File("cut.avi");
    const Bytes good = ValidFile(true);
    // Chunk i has 40 + 3i bytes, padded to even, from 532 on; it is delivered once its payload is
    // whole, even without its pad byte.
    std::vector<size_t> payloadEnds;
    for (size_t i = 0, at = 532; i < 12; at += 8 + ((40 + 3 * i + 1) & ~size_t{1}), ++i)
        payloadEnds.push_back(at + 8 + 40 + 3 * i);
    for (size_t len = 0; len < good.size(); ++len) {
        SCOPED_TRACE("length " + std::to_string(len));
        WriteFile(path, Bytes(good.begin(), good.begin() + len));
        CAVIExtractor x;
        EXPECT_EQ(len >= 532, x.OpenMedia(path.c_str(), nullptr) != 0);
        MediaInfo info;
        EXPECT_EQ(len == good.size(), x.BuildIndex(path.c_str(), &info));
        const auto whole = std::count_if(payloadEnds.begin(), payloadEnds.end(),
                                         [&](size_t e) { return e <= len; });
        EXPECT_EQ(int(whole), Exercise(path));
    }
    WriteFile(path, good);
    EXPECT_EQ(12, Exercise(path));
}

TEST(AviDamaged, LyingSizesAndRandomBytesNeitherOverrunNorLoop) {
    TempDir dir;
    const std::string path = dir.File("lies.avi");
    const Bytes good = ValidFile(false);
    for (size_t at : {16, 92, 400, 412, 4})  // hdrl, video list, movi, first chunk, RIFF
        for (uint32_t value : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
            Bytes b = good;
            Put32(b, at, value);
            WriteFile(path, b);
            Exercise(path);
        }
    // An index entry count beyond the file, and index offsets that point anywhere.
    const size_t idx = 404 + U32(good, 400);
    ASSERT_EQ("idx1", Str4(good, idx));
    Bytes b = good;
    Put32(b, idx + 4, 0x7F000000u);
    WriteFile(path, b);
    CAVIExtractor x;
    MediaInfo info;
    EXPECT_FALSE(x.BuildIndex(path.c_str(), &info));
    b = good;
    for (size_t e = idx + 8; e + 16 <= b.size(); e += 16)
        b[e + 10] = 0x7F;
    WriteFile(path, b);
    EXPECT_TRUE(x.BuildIndex(path.c_str(), &info));
    ASSERT_NE(0u, x.OpenMedia(path.c_str(), &info));
    for (float t : {0.0f, 0.04f, 0.07f})
        EXPECT_TRUE(x.SeekTime(t) != 0 || NextChunk(x).pos < 0) << "nothing lies out there";

    const Bytes dual = ValidFile(true);
    uint32_t r = 12345;
    for (int round = 0; round < 300; ++round) {
        b = dual;
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
