// The extractor on damaged files: every failure is clean, nothing is read or written out of bounds.
#include <gtest/gtest.h>

#include "avi_test_support.h"
#include "files/avi_extractor.h"
#include "files/avi_writer.h"

using namespace avi_test;
using namespace locket;

namespace {

Bytes ValidFile(bool dual) {
    Bytes b;
    CAVIWriter w(new MemoryFile(&b));
    w.SetDualVideo(dual);
    w.SetVideoSize(0, 320, 240);
    w.SetFrameRate(0, 30);
    w.Create("x.avi");
    for (int i = 0; i < 12; ++i) {
        const Bytes p = Payload(40 + i * 3, i);
        w.AddData(p.data(), uint32_t(p.size()), i % 4);
    }
    w.Close();
    return b;
}

// Reads a file to its end through every entry point; returns the packets delivered.
int Exercise(const std::string& path, size_t capacity = 4096) {
    CAVIExtractor x;
    MediaInfo info;
    int packets = 0;
    if (x.OpenMedia(path.c_str(), &info)) {
        // Guard bytes after the capacity catch any write past it.
        std::vector<uint8_t> buf(capacity + 64, 0x5A);
        for (int i = 0; i < 10000; ++i) {
            uint32_t size = uint32_t(capacity);
            const int kind = x.ReadPacket(buf.data(), &size);
            if (kind == kPacketEnd)
                break;
            EXPECT_LE(size, capacity);
            ++packets;
        }
        for (size_t i = capacity; i < buf.size(); ++i)
            EXPECT_EQ(0x5A, buf[i]);
        x.SeekTime(0.0f);
        x.SeekTime(100.0f);
    }
    EXPECT_EQ(info.frameCount0, info.frameOffsets.GetSize());
    return packets;
}

}  // namespace

TEST(AviDamaged, WrongMagicOrFormOrHeaderSizesFailToOpen) {
    TempDir dir;
    const std::string path = dir.File("bad.avi");
    const Bytes good = ValidFile(false);
    struct Damage {
        size_t at;
        const char* bytes;
    };
    const Damage damages[] = {
        {0, "RIFX"},    // magic
        {8, "AVI2"},    // form type
        {28, "\x39"},   // avih size 57
        {104, "\x37"},  // video strh size 55
        {168, "\x29"},  // video strf size 41
        {292, "\x11"},  // audio strf size 17
    };
    for (const Damage& d : damages) {
        Bytes b = good;
        std::memcpy(&b[d.at], d.bytes, std::strlen(d.bytes));
        WriteFile(path, b);
        CAVIExtractor x;
        EXPECT_EQ(0u, x.OpenMedia(path.c_str(), nullptr)) << "damage at " << d.at;
        MediaInfo info;
        EXPECT_FALSE(x.BuildIndex(path.c_str(), &info)) << "damage at " << d.at;
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
    // 520 + 12: the header ends where the first chunk starts.
    const size_t headerEnd = 532;
    int lastPackets = 0;
    for (size_t len = 0; len < good.size(); ++len) {
        WriteFile(path, Bytes(good.begin(), good.begin() + len));
        CAVIExtractor x;
        const uint32_t movi = x.OpenMedia(path.c_str(), nullptr);
        EXPECT_EQ(len >= headerEnd, movi != 0) << "length " << len;
        MediaInfo info;
        EXPECT_EQ(len == good.size(), x.BuildIndex(path.c_str(), &info)) << "length " << len;
        const int packets = Exercise(path);
        EXPECT_GE(packets, lastPackets) << "length " << len;
        EXPECT_LE(packets, 12);
        lastPackets = packets;
    }
    WriteFile(path, good);
    EXPECT_EQ(12, Exercise(path));
}

TEST(AviDamaged, LyingSizesNeitherOverrunNorLoop) {
    TempDir dir;
    const std::string path = dir.File("lies.avi");
    const Bytes good = ValidFile(false);
    const size_t lies[] = {16, 92, 400, 412, 4};  // hdrl, video list, movi, first chunk, RIFF
    for (size_t at : lies)
        for (uint32_t value : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
            Bytes b = good;
            b[at] = uint8_t(value);
            b[at + 1] = uint8_t(value >> 8);
            b[at + 2] = uint8_t(value >> 16);
            b[at + 3] = uint8_t(value >> 24);
            WriteFile(path, b);
            Exercise(path);
        }
    // An index entry count beyond the file, and index offsets that point anywhere.
    Bytes b = good;
    const size_t idx = 404 + U32(good, 400);
    ASSERT_EQ("idx1", Str4(good, idx));
    b[idx + 7] = 0x7F;
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
    std::vector<uint8_t> buf(4096);
    for (float t : {0.0f, 0.04f, 0.07f}) {
        if (x.SeekTime(t) == 0) {
            uint32_t size = uint32_t(buf.size());
            EXPECT_EQ(kPacketEnd, x.ReadPacket(buf.data(), &size)) << "nothing lies out there";
        }
    }
}

TEST(AviDamaged, RandomByteDamageNeverCrashes) {
    TempDir dir;
    const std::string path = dir.File("noise.avi");
    const Bytes good = ValidFile(true);
    uint32_t x = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes b = good;
        for (int k = 0; k < 1 + round % 8; ++k) {
            x = x * 1103515245u + 12345u;
            const size_t at = (x >> 8) % b.size();
            x = x * 1103515245u + 12345u;
            b[at] = uint8_t(x >> 16);
        }
        WriteFile(path, b);
        Exercise(path, 64 + round);
    }
}
