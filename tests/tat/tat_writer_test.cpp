#include "tat/tat_writer.h"

#include <gtest/gtest.h>

#include "tat_test_util.h"

using namespace locket;
using namespace locket::test;
namespace fs = std::filesystem;

TEST(TatFormat, Crc32MatchesTheStandardCheckValueInPieces) {
    const auto data = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(tatfmt::Crc32(data, 9), 0xCBF43926u);
    EXPECT_EQ(tatfmt::Crc32(data + 5, 4, tatfmt::Crc32(data, 5)), 0xCBF43926u);
}

TEST(TatWriter, RefusesPacketsTheFormatCannotCarry) {
    TempFolder temp;
    CTatWriter writer;
    uint8_t data[4000] = {'G'};
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, data, 10)) << "nothing open";
    EXPECT_FALSE(writer.Create(temp.path() + "/missing/x.tat", MakeDesc(true)));
    EXPECT_FALSE(writer.Create(temp.path() + "/a.tat", MakeDesc(true, 300)));
    ASSERT_TRUE(writer.Create(temp.path() + "/a.tat", MakeDesc(true)));
    EXPECT_FALSE(writer.WritePacket(1, kTatKindGroupStart, 0, data, 10)) << "groups are front";
    EXPECT_FALSE(writer.WritePacket(2, kTatKindVideo, 0, data, 10));
    EXPECT_FALSE(writer.WritePacket(0, 4, 0, data, 10));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindAudio, 0, data, 3841));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, nullptr, 10));
    EXPECT_FALSE(writer.WritePacket(0, kTatKindText, 0, data, 0)) << "empty packets carry nothing";
    EXPECT_TRUE(writer.WritePacket(0, kTatKindAudio, 0, data, 3840));
    EXPECT_TRUE(writer.WritePacket(0, kTatKindGroupStart, 0, data, 10));
    EXPECT_TRUE(writer.WritePacket(0, kTatKindText, 0, data, 7));
    EXPECT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.WritePacket(0, kTatKindVideo, 0, data, 10));

    CTatReader reader;
    ASSERT_TRUE(reader.Open(temp.path() + "/a.tat"));
    EXPECT_FALSE(reader.Scanned());
    EXPECT_EQ(reader.GroupCount(), 1);
    EXPECT_EQ(reader.Counts().audio, 1u);
}

// Readers seek by the index and check the header against it: decoded here byte by byte. A
// damaged header is refused; a damaged index falls back to the scan, which still plays everything.
TEST(TatReader, IndexHoldsEveryGroupWithItsOffsetTimeAndFramesBeforeAndDamageIsNotTrusted) {
    TempFolder temp;
    const auto packets = MakePackets(24 * 4 + 7, true);
    const std::string path = temp.path() + "/i.tat";
    ASSERT_TRUE(WriteRecording(path, packets, true));
    const std::vector<uint8_t> file = testsupport::ReadBytes(path);
    ASSERT_GT(file.size(), tatfmt::kHeaderBytes + tatfmt::kTrailerBytes);
    const uint8_t* trailer = file.data() + file.size() - tatfmt::kTrailerBytes;
    ASSERT_EQ(std::memcmp(trailer, tatfmt::kTrailerMagic, 4), 0);
    const uint8_t* index = file.data() + GetLE64(trailer + 4);
    ASSERT_EQ(std::memcmp(index, tatfmt::kIndexMagic, 4), 0);
    ASSERT_EQ(GetLE32(index + 4), 5u);
    for (int g = 0; g < 5; ++g) {
        SCOPED_TRACE(g);
        const uint8_t* entry = index + tatfmt::kIndexHeadBytes + g * tatfmt::kIndexEntryBytes;
        const size_t start = GroupStartIndex(packets, g);
        EXPECT_EQ(GetLE64(entry), PacketOffset(packets, start));
        EXPECT_EQ(GetLE32(entry + 8), packets[start].timeMs);
        EXPECT_EQ(GetLE32(entry + 12), uint32_t(24 * g));
    }

    CTatReader reader;
    EXPECT_FALSE(reader.Open(temp.path() + "/none.tat"));
    EXPECT_FALSE(reader.Open(temp.path()));
    PatchFile(path, tatfmt::kHdrDesc + 3, {99});
    EXPECT_FALSE(reader.Open(path));
    uint8_t buf[16];
    EXPECT_EQ(reader.ReadPacket(buf, sizeof buf, nullptr), kTatEndDamaged);
    EXPECT_FALSE(reader.SeekGroup(0));

    ASSERT_TRUE(WriteRecording(path, packets, true));
    PatchFile(path, fs::file_size(path) - 16 - 4 - 5, {0xFF});
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.Scanned());
    EXPECT_EQ(reader.GroupCount(), 5);
    EXPECT_EQ(reader.DurationMs(), packets.back().timeMs);
    size_t n = 0;
    std::vector<uint8_t> big(4096);
    while (reader.ReadPacket(big.data(), 4096, nullptr) == kTatPacket)
        ++n;
    EXPECT_EQ(n, packets.size());
}

TEST(CardLayout, RecordingNamesFollowTheKindDateTimeCameraRule) {
    const RecordingTime t{2014, 3, 1, 9, 30, 5};
    const char* expected[] = {"EVENT_20140301_093005_D.tat", "REC_20140301_093005_D.tat",
                              "PARKING_20140301_093005_D.tat", "MANUAL_20140301_093005_D.tat"};
    for (int32_t c = 0; c < kTatCategoryCount; ++c) {
        const std::string name = RecordingFileName(c, t, 2);
        EXPECT_EQ(name, expected[c]);
        EXPECT_TRUE(IsRecordingFileName(name)) << name;
        EXPECT_TRUE(IsRecordingFileName(name.substr(0, name.size() - 4))) << name;
    }
    EXPECT_EQ(RecordingFileName(kTatContinuous, t, 1), "REC_20140301_093005_F.tat");
    EXPECT_EQ(RecordingPath("/card/", kTatManual, t, 2),
              "/card/MANUAL/MANUAL_20140301_093005_D.tat");
    EXPECT_EQ(RecordingFileName(4, t, 2), "");
    EXPECT_EQ(RecordingFileName(-1, t, 2), "");
    EXPECT_EQ(RecordingFileName(kTatEvent, RecordingTime{2014, 13, 1, 0, 0, 0}, 2), "");
    EXPECT_EQ(RecordingFileName(kTatEvent, RecordingTime{2014, 1, 1, 24, 0, 0}, 2), "");
    EXPECT_EQ(CategoryOfName("parking_20140301_093000_F"), kTatParking);
    EXPECT_EQ(CategoryOfName("EVT_20140301_093000_D"), -1);
    for (const char* bad :
         {"EVENT_2014030_093005_D.tat", "EVENT_20140301_093005_.tat", "EVENT_20140301_0930x5_D",
          "EVENT20140301_093005_D", "", "EVENT_20140301_093005_DX", "EVENT_20140301_093005_1"})
        EXPECT_FALSE(IsRecordingFileName(bad)) << bad;
}

TEST(CardLayout, AFolderIsACardWithAllCategoryFoldersAndSetting) {
    TempFolder temp;
    const std::string card = temp.path() + "/card";
    EXPECT_FALSE(IsCardFolder(card));
    ASSERT_TRUE(CreateCardLayout(card));
    EXPECT_TRUE(CreateCardLayout(card)) << "an existing card is kept";
    for (const char* folder : {"EVENT", "REC", "PARKING", "MANUAL", "SETTING"}) {
        fs::rename(card + "/" + folder, card + "/moved");
        EXPECT_FALSE(IsCardFolder(card)) << folder;
        WriteText(card + "/" + folder, "a file in a folder's place");
        EXPECT_FALSE(IsCardFolder(card)) << folder;
        fs::remove(card + "/" + folder);
        fs::rename(card + "/moved", card + "/" + folder);
    }
    EXPECT_FALSE(CreateCardLayout(temp.path() + "/missing/parent"));
}
