#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tat/tat_format.h"
#include "tat/tat_library.h"
#include "tat_test_util.h"

using namespace locket;
using namespace locket::test;
namespace fs = std::filesystem;

namespace {

struct Query {
    int32_t ok = 0;
    uint8_t desc[kTatDescriptionBytes];
    int32_t count0 = -1, count1 = -1;
    uint8_t block244[244];
    char counts[kTatCountsTextBytes];
    uint8_t block40[40];
};

// A library handle on a card folder of its own, with the volume walk turned off.
class TatLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_handle = TatCreate();
        TatSetMountsFile(m_handle, "");
        m_card = m_temp.Path() + "/card";
        ASSERT_TRUE(CreateCardLayout(m_card));
        m_drive = TatRegisterCardFolder(m_handle, m_card.c_str());
        ASSERT_NE(m_drive, 0);
    }
    void TearDown() override { TatDestroy(m_handle); }

    std::string Record(int32_t category, int minute, const std::vector<Packet>& packets, bool rear,
                       bool finish = true, uint32_t keep = UINT32_MAX) {
        RecordingTime t{2014, 3, 1, 10, minute, 0};
        std::string path = RecordingPath(m_card, category, t, rear ? 2 : 1);
        EXPECT_TRUE(WriteRecording(path, packets, rear, finish, keep));
        return path;
    }

    static std::string NameOf(const std::string& path) {
        std::string name = fs::path(path).filename().string();
        return name.substr(0, name.size() - 4);
    }

    Query QueryName(const char* name) {
        Query q;
        std::memset(q.desc, 0xCC, sizeof q.desc);
        q.ok = TatQueryRecording(m_handle, name, q.desc, &q.count0, &q.count1, q.block244, q.counts,
                                 q.block40);
        return q;
    }

    bool Start(int32_t category, const std::string& name) {
        Query q = QueryName(name.c_str());
        int64_t position = TatLocate(m_handle, category, name.c_str());
        return q.ok && position >= 0 && TatStartStream(m_handle, category, 0, position);
    }

    // Reads until the end; the status that ended it goes to *status.
    std::vector<Packet> ReadAll(int32_t* status, uint32_t capacity = 1 << 20,
                                size_t limit = SIZE_MAX) {
        std::vector<Packet> out;
        std::vector<uint8_t> buffer(1 << 20);
        while (out.size() < limit) {
            uint8_t stream = 0xFF, kind = 0xFF, flag = 0xFF;
            uint32_t size = capacity;
            int32_t extra = 0;
            int32_t s =
                TatReadPacket(m_handle, &stream, &kind, &flag, &size, buffer.data(), &extra);
            if (s != kTatPacket) {
                *status = s;
                EXPECT_EQ(kind, 0xFF) << "kind is left alone without a packet";
                return out;
            }
            EXPECT_LE(size, capacity);
            out.push_back({stream, kind, flag, uint32_t(extra),
                           std::vector<uint8_t>(buffer.begin(), buffer.begin() + size)});
        }
        *status = kTatPacket;
        return out;
    }

    TempFolder m_temp;
    std::string m_card;
    TatHandle m_handle = nullptr;
    char m_drive = 0;
};

std::vector<std::string> List(TatHandle h, char drive, int32_t category, int32_t count,
                              std::vector<uint32_t>* sizes = nullptr) {
    std::vector<char> names(size_t(std::max(count, 0)) * 40 + 40, 'x');
    std::vector<uint8_t> sizeField(size_t(std::max(count, 0)) * 8 + 8, 0xAB);
    std::vector<int32_t> extra(size_t(std::max(count, 0)) + 2 + 1, 77);
    int32_t n =
        TatListRecordings(h, drive, category, count, names.data(), sizeField.data(), extra.data());
    EXPECT_LE(n, std::max(count, 0));
    EXPECT_EQ(extra[size_t(std::max(count, 0)) + 2], 77) << "extra holds count + 2 values";
    EXPECT_EQ(names[size_t(std::max(count, 0)) * 40], 'x') << "written past the names";
    std::vector<std::string> out;
    for (int32_t i = 0; i < n; ++i) {
        const char* field = &names[size_t(i) * 40];
        EXPECT_NE(std::memchr(field, 0, 40), nullptr);
        out.emplace_back(field);
        if (sizes)
            sizes->push_back(GetLE32(&sizeField[size_t(i) * 8]));
    }
    return out;
}

}  // namespace

TEST_F(TatLibraryTest, RoundTripDeliversEveryPacketEqualThenEndsForGood) {
    auto packets = MakePackets(100, true);
    std::string path = Record(kTatEvent, 15, packets, true);
    ASSERT_TRUE(Start(kTatEvent, NameOf(path)));
    int32_t status = 0;
    auto got = ReadAll(&status);
    EXPECT_EQ(status, kTatEnd);
    ASSERT_EQ(got.size(), packets.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], packets[i]) << "packet " << i;
    // Reads after the end keep saying so, and a new start plays again from the top.
    uint8_t buf[16], s, k = 9, f;
    uint32_t size = sizeof buf;
    EXPECT_EQ(TatReadPacket(m_handle, &s, &k, &f, &size, buf, nullptr), kTatEnd);
    EXPECT_EQ(k, 9);
    ASSERT_TRUE(Start(kTatEvent, NameOf(path)));
    EXPECT_EQ(ReadAll(&status, 1 << 20, 3).front(), packets.front());
}

TEST_F(TatLibraryTest, QueryGivesDescriptionFieldsCountsAndCountsText) {
    auto packets = MakePackets(50, true);
    std::string name = NameOf(Record(kTatContinuous, 1, packets, true));
    Query q = QueryName(name.c_str());
    ASSERT_NE(q.ok, 0);
    EXPECT_EQ(q.desc[3], 30);
    EXPECT_EQ(q.desc[4], 15);
    EXPECT_EQ(GetLE16(q.desc + 20), 720);
    EXPECT_EQ(GetLE16(q.desc + 22), 480);
    EXPECT_EQ(GetLE16(q.desc + 52), 1280);
    EXPECT_EQ(GetLE16(q.desc + 54), 640);
    EXPECT_EQ(q.count0, 50);
    EXPECT_EQ(q.count1, 50);
    // 50 frames: audio on every third (17), text on every fifth (10: G M B G M B G M B G).
    EXPECT_STREQ(q.counts, "cntVideo0=50; cntVideo1=50; cntAudio=17; cntACC=3; cntGPS=4");

    // Front camera only; the extension and a leading '/' are accepted too.
    std::string front = NameOf(Record(kTatParking, 2, MakePackets(10, false), false));
    EXPECT_EQ(front.back(), 'F');
    for (std::string n : {front, front + ".tat", "/" + front}) {
        Query f = QueryName(n.c_str());
        ASSERT_NE(f.ok, 0) << n;
        EXPECT_EQ(f.desc[4], 0);
        EXPECT_EQ(GetLE16(f.desc + 54), 0);
        EXPECT_EQ(f.count1, 0);
    }
}

TEST_F(TatLibraryTest, ListsEachCategoryOldestFirstWithSizes) {
    std::string e2 = Record(kTatEvent, 30, MakePackets(30, true), true);
    std::string e1 = Record(kTatEvent, 5, MakePackets(5, false), false);
    std::string c1 = Record(kTatContinuous, 7, MakePackets(3, true), true);
    std::string m1 = Record(kTatManual, 8, MakePackets(3, true), true);
    std::string p1 = Record(kTatParking, 9, MakePackets(3, false), false);
    WriteText(m_card + "/EVENT/notes.txt", "not a recording");
    WriteText(m_card + "/EVENT/" + std::string(40, 'A') + ".tat", "name too long");
    fs::create_directory(m_card + "/EVENT/folder.tat");

    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatEvent), 2);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatContinuous), 1);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatParking), 1);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatManual), 1);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, 4), 0);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, -1), 0);
    EXPECT_EQ(TatCountRecordings(m_handle, char(m_drive + 1), kTatEvent), 0);

    std::vector<uint32_t> sizes;
    auto events = List(m_handle, m_drive, kTatEvent, 2, &sizes);
    ASSERT_EQ(events, (std::vector<std::string>{NameOf(e1), NameOf(e2)}));
    EXPECT_EQ(sizes[0], fs::file_size(e1));
    EXPECT_EQ(sizes[1], fs::file_size(e2));
    EXPECT_EQ(List(m_handle, m_drive, kTatEvent, 1), std::vector<std::string>{NameOf(e1)});
    EXPECT_EQ(List(m_handle, m_drive, kTatContinuous, 5), std::vector<std::string>{NameOf(c1)});
    EXPECT_EQ(List(m_handle, m_drive, kTatManual, 1), std::vector<std::string>{NameOf(m1)});
    EXPECT_EQ(List(m_handle, m_drive, kTatParking, 1), std::vector<std::string>{NameOf(p1)});
    EXPECT_TRUE(List(m_handle, m_drive, kTatEvent, 0).empty());

    // A new recording and a removed one show at the next listing.
    std::string e3 = Record(kTatEvent, 45, MakePackets(2, true), true);
    fs::remove(e1);
    EXPECT_EQ(List(m_handle, m_drive, kTatEvent, 5),
              (std::vector<std::string>{NameOf(e2), NameOf(e3)}));

    // A folder last changed long ago is listed from the cache; a change moves its time on.
    struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_card + "/EVENT").c_str(), old, 0), 0);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatEvent), 2);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatEvent), 2);
    fs::remove(e2);
    EXPECT_EQ(List(m_handle, m_drive, kTatEvent, 5), std::vector<std::string>{NameOf(e3)});
}

TEST_F(TatLibraryTest, SeekReachesTheGroupAndReadingGoesOnWithoutLossOrRepeat) {
    auto packets = MakePackets(24 * 6 + 5, true);  // 7 groups, the last one short
    std::string name = NameOf(Record(kTatEvent, 1, packets, true));
    std::vector<size_t> groupStarts;
    for (size_t i = 0; i < packets.size(); ++i)
        if (packets[i].kind == kTatKindGroupStart)
            groupStarts.push_back(i);
    ASSERT_EQ(groupStarts.size(), 7u);
    const int32_t limitGroups = (24 * 6 + 5) / 24;  // the parser's frames0 / 24

    ASSERT_TRUE(Start(kTatEvent, name));
    int32_t status;
    auto head = ReadAll(&status, 1 << 20, groupStarts[2] + 3);  // D = 3 groups delivered
    ASSERT_EQ(head.size(), groupStarts[2] + 3);
    int32_t delivered = 3;

    // The parser's arithmetic: target D + k + 1 reaches group k from the start.
    ASSERT_NE(TatSeek(m_handle, delivered + 4 + 1, limitGroups + delivered + 1), 0);
    auto rest = ReadAll(&status);
    EXPECT_EQ(status, kTatEnd);
    std::vector<Packet> expected(packets.begin() + long(groupStarts[4]), packets.end());
    EXPECT_EQ(rest, expected);
    delivered += 3;  // groups 4, 5 and 6

    // Backwards, to the first group, after the end.
    ASSERT_NE(TatSeek(m_handle, delivered + 0 + 1, limitGroups + delivered + 1), 0);
    auto again = ReadAll(&status);
    EXPECT_EQ(again, packets);
    delivered += 7;

    // Beyond the limit: clamped to it; beyond the last group: the last group.
    ASSERT_NE(TatSeek(m_handle, delivered + 100 + 1, 2 + delivered + 1), 0);
    EXPECT_EQ(ReadAll(&status, 1 << 20, 1).front(), packets[groupStarts[2]]);
    delivered += 1;
    ASSERT_NE(TatSeek(m_handle, delivered + 100 + 1, 100 + delivered + 1), 0);
    EXPECT_EQ(ReadAll(&status, 1 << 20, 1).front(), packets[groupStarts[6]]);
    delivered += 1;
    ASSERT_NE(TatSeek(m_handle, delivered - 50, 100 + delivered + 1), 0);
    EXPECT_EQ(ReadAll(&status, 1 << 20, 1).front(), packets[0]);
}

TEST_F(TatLibraryTest, PowerCutRecordingPlaysToItsLastWholePacket) {
    auto packets = MakePackets(60, true);
    const uint32_t lastBytes = tatfmt::kPacketHeaderBytes + uint32_t(packets.back().data.size());
    // Torn in the payload, torn in the header, and cut between packets.
    for (uint32_t keep : {lastBytes - 5, 10u, 0u, lastBytes}) {
        SCOPED_TRACE(keep);
        std::string name = NameOf(Record(kTatParking, 3, packets, true, false, keep));
        std::vector<Packet> whole(packets.begin(), packets.end() - (keep == lastBytes ? 0 : 1));
        Query q = QueryName(name.c_str());
        ASSERT_NE(q.ok, 0);
        uint32_t audio = 0, acc = 0, gps = 0, v0 = 0, v1 = 0;
        for (const Packet& p : whole) {
            if (p.kind == kTatKindAudio)
                ++audio;
            else if (p.kind == kTatKindText)
                p.data[0] == 'M' ? ++acc : p.data[0] == 'G' ? ++gps : 0;
            else
                ++(p.stream ? v1 : v0);
        }
        char expected[256];
        std::snprintf(expected, sizeof expected,
                      "cntVideo0=%u; cntVideo1=%u; cntAudio=%u; cntACC=%u; cntGPS=%u", v0, v1,
                      audio, acc, gps);
        EXPECT_STREQ(q.counts, expected);
        EXPECT_EQ(q.count0, int32_t(v0));
        EXPECT_EQ(q.desc[3], 30);

        ASSERT_TRUE(Start(kTatParking, name));
        int32_t status;
        EXPECT_EQ(ReadAll(&status), whole);
        EXPECT_EQ(status, kTatEnd);
        // Seeking works from the scan's index: all three groups were delivered (D = 3).
        ASSERT_NE(TatSeek(m_handle, 3 + 1 + 1, 100), 0);
        auto first = ReadAll(&status, 1 << 20, 1);
        ASSERT_EQ(first.size(), 1u);
        EXPECT_EQ(first[0], packets[size_t(std::find_if(packets.begin() + 1, packets.end(),
                                                        [](const Packet& p) {
                                                            return p.kind == kTatKindGroupStart;
                                                        }) -
                                           packets.begin())]);
    }
}

TEST_F(TatLibraryTest, DamagedStretchesAreSkippedAndReadingResumesAtTheNextGoodPacket) {
    auto packets = MakePackets(60, true);
    std::string path = Record(kTatEvent, 4, packets, true);
    std::string name = NameOf(path);
    // One flipped payload byte in packet 10, a size field of packet 30 made huge, and packets
    // 50..52 overwritten with bytes that hold a sync word.
    PatchFile(path, PacketOffset(packets, 10) + tatfmt::kPacketHeaderBytes + 3,
              {uint8_t(packets[10].data[3] ^ 0x40)});
    PatchFile(path, PacketOffset(packets, 30) + 8, {0xFF, 0xFF, 0xFF, 0x7F});
    std::vector<uint8_t> junk(PacketOffset(packets, 53) - PacketOffset(packets, 50) - 7, 0x5A);
    std::memcpy(junk.data() + 100, tatfmt::kPacketSync, 4);
    PatchFile(path, PacketOffset(packets, 50) + 7, junk);

    ASSERT_TRUE(Start(kTatEvent, name));
    int32_t status;
    auto got = ReadAll(&status);
    EXPECT_EQ(status, kTatEnd);
    std::vector<Packet> expected;
    for (size_t i = 0; i < packets.size(); ++i)
        if (i != 10 && i != 30 && (i < 50 || i > 52))
            expected.push_back(packets[i]);
    EXPECT_EQ(got, expected);

    // The same damage without the index (a power-cut file) reads the same way.
    std::string cut = Record(kTatEvent, 5, packets, true, false);
    PatchFile(cut, PacketOffset(packets, 10) + tatfmt::kPacketHeaderBytes + 3,
              {uint8_t(packets[10].data[3] ^ 0x40)});
    PatchFile(cut, PacketOffset(packets, 30) + 8, {0xFF, 0xFF, 0xFF, 0x7F});
    PatchFile(cut, PacketOffset(packets, 50) + 7, junk);
    ASSERT_TRUE(Start(kTatEvent, NameOf(cut)));
    EXPECT_EQ(ReadAll(&status), expected);
}

TEST_F(TatLibraryTest, BadNamesAndNonRecordingsFailCleanly) {
    std::string good = NameOf(Record(kTatEvent, 6, MakePackets(5, true), true));
    WriteText(m_card + "/EVENT/EVENT_20140301_101500_D.tat", "this is no recording at all");
    WriteText(m_card + "/EVENT/EVENT_20140301_101600_D.tat", "");
    WriteText(m_temp.Path() + "/outside.tat", "x");
    std::string longName(300, 'E');
    for (const char* bad : {(const char*)nullptr, "", "/", ".tat", "../outside", "EVENT/../../x",
                            "NOPE_20140301_101500_D", "..", longName.c_str(),
                            "EVENT_20140301_101500_D", "EVENT_20140301_101600_D"}) {
        SCOPED_TRACE(bad ? bad : "(null)");
        Query q = QueryName(bad);
        EXPECT_EQ(q.ok, 0);
        EXPECT_EQ(q.count0, 0);
        for (uint8_t b : q.desc)
            ASSERT_EQ(b, 0) << "the description is zeroed first";
        // Files that are there but hold no recording are found, and then fail to start.
        int64_t position = TatLocate(m_handle, kTatEvent, bad);
        if (bad && std::strncmp(bad, "EVENT_", 6) == 0)
            EXPECT_EQ(TatStartStream(m_handle, kTatEvent, 0, position), 0);
        else
            EXPECT_LT(position, 0);
    }
    // A stream that never started ends at once, with the damaged-end status.
    EXPECT_EQ(TatStartStream(m_handle, kTatEvent, 0, -1), 0);
    EXPECT_EQ(TatStartStream(m_handle, kTatEvent, 0, 12345), 0);
    int32_t status;
    EXPECT_TRUE(ReadAll(&status).empty());
    EXPECT_EQ(status, kTatEndDamaged);
    EXPECT_EQ(TatSeek(m_handle, 5, 5), 0);
    EXPECT_LT(TatLocateAt(m_handle, kTatEvent, 99), 0);
    EXPECT_LT(TatLocateAt(m_handle, 7, 0), 0);
    // The good one is found in any category's folder and by its index in its own.
    EXPECT_GE(TatLocate(m_handle, kTatManual, good.c_str()), 0);
    int64_t byIndex = TatLocateAt(m_handle, kTatEvent, 0);
    EXPECT_EQ(byIndex, TatLocate(m_handle, kTatEvent, good.c_str()));
    Query q;
    EXPECT_NE(TatQueryRecordingAt(m_handle, ("/" + good).c_str(), 0, q.desc, &q.count0, &q.count1,
                                  q.block244, q.counts, q.block40),
              0);
    EXPECT_EQ(q.count0, 5);
    // Null out-pointers are tolerated.
    EXPECT_NE(TatQueryRecording(m_handle, good.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr),
              0);
    EXPECT_EQ(TatQueryRecording(nullptr, good.c_str(), q.desc, &q.count0, &q.count1, q.block244,
                                q.counts, q.block40),
              0);
}

TEST_F(TatLibraryTest, CardRemovedWhileReadingEndsTheStreamAndThePoll) {
    auto packets = MakePackets(48, true);
    std::string name = NameOf(Record(kTatEvent, 7, packets, true));
    ASSERT_TRUE(Start(kTatEvent, name));
    int32_t status;
    ASSERT_EQ(ReadAll(&status, 1 << 20, 10).size(), 10u);
    fs::remove_all(m_card);
    auto after = ReadAll(&status);
    EXPECT_TRUE(after.empty());
    EXPECT_EQ(status, kTatEndDamaged);
    EXPECT_TRUE(ReadAll(&status).empty());
    EXPECT_EQ(status, kTatEndDamaged);
    EXPECT_EQ(TatSeek(m_handle, 2, 5) ? ReadAll(&status).size() : 0u, 0u);
    char drive = 'x';
    EXPECT_EQ(TatPollCard(m_handle, &drive), 0);
    EXPECT_EQ(drive, 0);
    EXPECT_EQ(TatCountRecordings(m_handle, m_drive, kTatEvent), 0);

    // The same folder made again is the same card again.
    ASSERT_TRUE(CreateCardLayout(m_card));
    EXPECT_EQ(TatPollCard(m_handle, &drive), m_drive);
}

TEST_F(TatLibraryTest, PacketsLargerThanTheBufferAreSkippedNeverCopied) {
    auto packets = MakePackets(30, true);
    std::string name = NameOf(Record(kTatEvent, 8, packets, true));
    ASSERT_TRUE(Start(kTatEvent, name));
    const uint32_t capacity = 150;
    std::vector<uint8_t> buffer(capacity + 64, 0xEE);
    std::vector<Packet> got;
    while (true) {
        uint8_t stream, kind, flag;
        uint32_t size = capacity;
        int32_t s = TatReadPacket(m_handle, &stream, &kind, &flag, &size, buffer.data(), nullptr);
        for (size_t i = capacity; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "written past the capacity";
        if (s != kTatPacket)
            break;
        ASSERT_LE(size, capacity);
        got.push_back({stream, kind, flag, 0, {buffer.begin(), buffer.begin() + size}});
    }
    std::vector<Packet> expected;
    for (Packet p : packets) {
        if (p.data.size() <= capacity) {
            p.timeMs = 0;
            expected.push_back(p);
        }
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(got, expected);
}

TEST_F(TatLibraryTest, SettingsTextIsDeliveredFromTheCardWithRoomForItsTerminator) {
    char buffer[2048];
    int32_t size = sizeof buffer;
    EXPECT_EQ(TatReadSettings(m_handle, buffer, &size), 0) << "no copy on the card yet";
    const std::string text = "[blackbox]\r\nmic_in=1\r\nmodel=KX2\r\n";
    WriteText(m_card + "/" + kSettingsCopyFile, text);
    size = sizeof buffer;
    ASSERT_NE(TatReadSettings(m_handle, buffer, &size), 0);
    EXPECT_EQ(size, int32_t(text.size()));
    EXPECT_EQ(std::string(buffer, size_t(size)), text);

    // Exactly the capacity leaves no room for the caller's terminating zero: refused.
    WriteText(m_card + "/" + kSettingsCopyFile, std::string(2048, 'a'));
    size = sizeof buffer;
    EXPECT_EQ(TatReadSettings(m_handle, buffer, &size), 0);
    WriteText(m_card + "/" + kSettingsCopyFile, std::string(2047, 'a'));
    size = sizeof buffer;
    EXPECT_NE(TatReadSettings(m_handle, buffer, &size), 0);
    EXPECT_EQ(size, 2047);
    size = 0;
    EXPECT_EQ(TatReadSettings(m_handle, buffer, &size), 0);
    EXPECT_EQ(TatReadSettings(m_handle, buffer, nullptr), 0);
}

TEST_F(TatLibraryTest, PollReportsTheRegisteredCardUntilItLosesItsLayout) {
    char drive = 0;
    EXPECT_EQ(TatPollCard(m_handle, &drive), m_drive);
    EXPECT_EQ(drive, m_drive);
    EXPECT_EQ(TatRegisterCardFolder(m_handle, m_card.c_str()), m_drive)
        << "same folder, same token";
    EXPECT_EQ(TatRegisterCardFolder(m_handle, (m_card + "/").c_str()), m_drive);

    // A second card gets its own token and becomes current; when it loses its layout the
    // first one is reported again.
    std::string second = m_temp.Path() + "/second";
    ASSERT_TRUE(CreateCardLayout(second));
    char other = TatRegisterCardFolder(m_handle, second.c_str());
    ASSERT_NE(other, 0);
    EXPECT_NE(other, m_drive);
    EXPECT_EQ(TatPollCard(m_handle, &drive), other);
    fs::remove(second + "/MANUAL");
    EXPECT_EQ(TatPollCard(m_handle, &drive), m_drive);

    // Not a card: a missing folder, a plain folder, a file.
    EXPECT_EQ(TatRegisterCardFolder(m_handle, (m_temp.Path() + "/none").c_str()), 0);
    EXPECT_EQ(TatRegisterCardFolder(m_handle, m_temp.Path().c_str()), 0);
    EXPECT_EQ(TatRegisterCardFolder(m_handle, nullptr), 0);
    EXPECT_EQ(TatPollCard(nullptr, &drive), 0);
    EXPECT_EQ(drive, 0);
}

// The player's reader thread reads while the UI thread polls and lists.
TEST_F(TatLibraryTest, ReadingAndPollingFromTwoThreadsAtOnce) {
    auto packets = MakePackets(240, true);
    std::string name = NameOf(Record(kTatContinuous, 9, packets, true));
    for (int i = 0; i < 5; ++i)
        Record(kTatEvent, 20 + i, MakePackets(2, false), false);
    ASSERT_TRUE(Start(kTatContinuous, name));
    std::atomic<bool> done{false};
    std::atomic<int> listed{0};
    std::thread ui([&] {
        while (!done) {
            char drive = 0;
            TatPollCard(m_handle, &drive);
            int32_t n = TatCountRecordings(m_handle, drive, kTatEvent);
            if (List(m_handle, drive, kTatEvent, n).size() == 5)
                ++listed;
        }
    });
    int32_t status;
    std::vector<Packet> got;
    for (int round = 0; round < 3; ++round) {
        got = ReadAll(&status);
        TatSeek(m_handle, 0, 0);
    }
    done = true;
    ui.join();
    EXPECT_EQ(status, kTatEnd);
    EXPECT_EQ(got, packets);
    EXPECT_GT(listed.load(), 0);
}

TEST(TatLibraryVolumes, AMountedVolumeWithTheLayoutIsTheCardUntilUnmounted) {
    TempFolder temp;
    const std::string root = temp.Path() + "/root";
    const std::string mounts = temp.Path() + "/mounts";
    ASSERT_TRUE(fs::create_directories(root + "/media/kim/USB") &&
                fs::create_directories(root + "/mnt") &&
                fs::create_directories(root + "/home/kim"));
    ASSERT_TRUE(CreateCardLayout(root + "/media/kim/KX2"));
    ASSERT_TRUE(CreateCardLayout(root + "/mnt/sd"));
    ASSERT_TRUE(CreateCardLayout(root + "/home/kim/card"));  // not a removable place
    WriteText(mounts, "/dev/sda1 / ext4 rw 0 0\n/dev/sdc1 /home/kim/card vfat rw 0 0\n");

    TatHandle h = TatCreate();
    TatSetMountsFile(h, mounts.c_str(), root.c_str());
    char drive = 'x';
    EXPECT_EQ(TatPollCard(h, &drive), 0);
    EXPECT_EQ(drive, 0);

    // A plain stick first in the walk's order, then the recorder's card.
    WriteText(mounts,
              "/dev/sdb1 /media/kim/USB vfat rw 0 0\n/dev/sdd1 /mnt/sd vfat rw 0 0\n"
              "/dev/sdc1 /media/kim/KX2 vfat rw 0 0\n");
    char card = TatPollCard(h, &drive);
    ASSERT_NE(card, 0);
    RecordingTime t{2014, 3, 1, 10, 0, 0};
    ASSERT_TRUE(WriteRecording(RecordingPath(root + "/media/kim/KX2", kTatEvent, t, 2),
                               MakePackets(3, true), true));
    EXPECT_EQ(TatCountRecordings(h, card, kTatEvent), 1) << "/media comes before /mnt";
    EXPECT_EQ(TatPollCard(h, &drive), card);

    // Unmounted (its folder stays behind): the next card in the walk is reported.
    WriteText(mounts, "/dev/sdd1 /mnt/sd vfat rw 0 0\n");
    char second = TatPollCard(h, &drive);
    EXPECT_NE(second, 0);
    EXPECT_NE(second, card);
    EXPECT_EQ(TatCountRecordings(h, second, kTatEvent), 0);
    WriteText(mounts, "");
    EXPECT_EQ(TatPollCard(h, &drive), 0);
    // Mounted again: the same token as before.
    WriteText(mounts, "/dev/sdc1 /media/kim/KX2 vfat rw 0 0\n");
    EXPECT_EQ(TatPollCard(h, &drive), card);
    TatDestroy(h);
}
