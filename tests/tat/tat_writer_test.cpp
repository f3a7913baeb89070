#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tat/tat_format.h"
#include "tat/tat_reader.h"
#include "tat/tat_writer.h"
#include "tat_test_util.h"

using namespace locket;
using namespace locket::test;
namespace fs = std::filesystem;

TEST(TatFormat, Crc32MatchesTheStandardCheckValueInPieces) {
    const char* check = "123456789";
    auto data = reinterpret_cast<const uint8_t*>(check);
    EXPECT_EQ(tatfmt::Crc32(data, 9), 0xCBF43926u);
    EXPECT_EQ(tatfmt::Crc32(data + 5, 4, tatfmt::Crc32(data, 5)), 0xCBF43926u);
    EXPECT_EQ(tatfmt::Crc32(nullptr, 0), 0u);
}

TEST(TatWriter, RefusesPacketsTheFormatCannotCarry) {
    TempFolder temp;
    CTatWriter writer;
    uint8_t data[4000] = {'G'};
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, data, 10)) << "nothing open";
    EXPECT_FALSE(writer.Create(temp.Path() + "/missing/x.tat", MakeDesc(true)));
    TatRecordingDesc tooFast = MakeDesc(true);
    tooFast.fps0 = 300;
    EXPECT_FALSE(writer.Create(temp.Path() + "/a.tat", tooFast));
    ASSERT_TRUE(writer.Create(temp.Path() + "/a.tat", MakeDesc(true)));
    EXPECT_FALSE(writer.WritePacket(1, kTatKindGroupStart, 0, data, 10)) << "groups are front";
    EXPECT_FALSE(writer.WritePacket(2, kTatKindVideo, 0, data, 10));
    EXPECT_FALSE(writer.WritePacket(0, 4, 0, data, 10));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindAudio, 0, data, 3841));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, nullptr, 10));
    EXPECT_TRUE(writer.WritePacket(0, kTatKindAudio, 0, data, 3840));
    EXPECT_TRUE(writer.WritePacket(0, kTatKindGroupStart, 0, data, 10));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindText, 0, data, 0)) << "empty packets carry nothing";
    EXPECT_TRUE(writer.WritePacket(0, kTatKindText, 0, data, 7));
    EXPECT_EQ(writer.LastPacketBytes(), tatfmt::kPacketHeaderBytes + 7);
    EXPECT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, data, 10));
    EXPECT_FALSE(writer.Finish());

    CTatReader reader;
    ASSERT_TRUE(reader.Open(temp.Path() + "/a.tat"));
    EXPECT_FALSE(reader.Scanned());
    EXPECT_EQ(reader.GroupCount(), 1);
    EXPECT_EQ(reader.Counts().audio, 1u);
}

// The index only speeds things up: a power-cut file, scanned, reads exactly like the finished
// one, and the unfinished header carries no counts of its own.
TEST(TatWriter, PowerCutFileScansToTheSameIndexAndCounts) {
    TempFolder temp;
    auto packets = MakePackets(130, true);
    std::string finished = temp.Path() + "/finished.tat";
    std::string cut = temp.Path() + "/cut.tat";
    ASSERT_TRUE(WriteRecording(finished, packets, true));
    ASSERT_TRUE(WriteRecording(cut, packets, true, false));
    EXPECT_EQ(fs::file_size(cut), PacketOffset(packets, packets.size()));
    EXPECT_GT(fs::file_size(finished), fs::file_size(cut));

    CTatReader a, b;
    ASSERT_TRUE(a.Open(finished));
    ASSERT_TRUE(b.Open(cut));
    EXPECT_FALSE(a.Scanned());
    EXPECT_TRUE(b.Scanned());
    EXPECT_EQ(a.GroupCount(), 6);
    EXPECT_EQ(b.GroupCount(), 6);
    EXPECT_EQ(std::memcmp(a.Description(), b.Description(), kTatDescriptionBytes), 0);
    char ta[256], tb[256];
    a.CountsText(ta, sizeof ta);
    b.CountsText(tb, sizeof tb);
    EXPECT_STREQ(ta, tb);
    EXPECT_EQ(a.DurationMs(), packets.back().timeMs);
    EXPECT_EQ(b.DurationMs(), packets.back().timeMs);
    // Group 3 starts with the same packet in both.
    std::vector<uint8_t> bufA(2048), bufB(2048);
    TatPacketInfo ia, ib;
    ASSERT_TRUE(a.SeekGroup(3));
    ASSERT_TRUE(b.SeekGroup(3));
    ASSERT_EQ(a.ReadPacket(bufA.data(), 2048, &ia), kTatPacket);
    ASSERT_EQ(b.ReadPacket(bufB.data(), 2048, &ib), kTatPacket);
    EXPECT_EQ(ia.timeMs, 72u * 1000 / 30);
    EXPECT_EQ(ib.timeMs, ia.timeMs);
    EXPECT_EQ(ib.kind, kTatKindGroupStart);
    EXPECT_EQ(bufA, bufB);

    uint8_t header[512];
    FILE* f = std::fopen(cut.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fread(header, 1, 512, f), 512u);
    std::fclose(f);
    EXPECT_EQ(GetLE32(header + tatfmt::kHdrFlags) & tatfmt::kFlagFinished, 0u);
    EXPECT_EQ(GetLE32(header + tatfmt::kHdrCount0), 0u);
}

TEST(TatReader, RejectsFilesThatAreNotRecordings) {
    TempFolder temp;
    auto packets = MakePackets(30, false);
    std::string path = temp.Path() + "/r.tat";
    ASSERT_TRUE(WriteRecording(path, packets, false));
    CTatReader reader;
    EXPECT_FALSE(reader.Open(temp.Path() + "/none.tat"));
    EXPECT_FALSE(reader.Open(temp.Path()));
    WriteText(temp.Path() + "/short.tat", "KXTA");
    EXPECT_FALSE(reader.Open(temp.Path() + "/short.tat"));
    // A damaged header cannot be trusted for the description.
    PatchFile(path, tatfmt::kHdrDesc + 3, {99});
    EXPECT_FALSE(reader.Open(path));
    EXPECT_FALSE(reader.IsOpen());
    uint8_t buf[16];
    EXPECT_EQ(reader.ReadPacket(buf, sizeof buf, nullptr), kTatEndDamaged);
    EXPECT_FALSE(reader.SeekGroup(0));

    // A damaged index falls back to the scan and still plays everything.
    ASSERT_TRUE(WriteRecording(path, packets, false));
    PatchFile(path, fs::file_size(path) - 16 - 4 - 5, {0xFF});
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.Scanned());
    EXPECT_EQ(reader.GroupCount(), 2);
    size_t n = 0;
    std::vector<uint8_t> big(4096);
    while (reader.ReadPacket(big.data(), 4096, nullptr) == kTatPacket)
        ++n;
    EXPECT_EQ(n, packets.size());
}
