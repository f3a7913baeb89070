#include "tat/tat_library.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <thread>

#include "tat_test_util.h"

using namespace locket;
using namespace locket::test;
namespace fs = std::filesystem;

namespace {

class TatLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_card.Ready()); }

    bool Start(int32_t category, const std::string& name) {
        const int64_t position = TatLocate(H(), category, name.c_str());
        return QueryRecording(H(), name.c_str()).ok == 1 && position >= 0 &&
               TatStartStream(H(), category, 0, position) == 1;
    }

    // Reads until a status other than a packet (stored in *status) or `limit` packets, into
    // `capacity` bytes followed by guard bytes that must stay untouched.
    std::vector<Packet> ReadAll(int32_t* status, size_t limit = SIZE_MAX,
                                uint32_t capacity = 1 << 20) {
        std::vector<Packet> out;
        std::vector<uint8_t> buffer(capacity + 64, 0xEE);
        *status = kTatPacket;
        while (out.size() < limit) {
            uint8_t stream = 0xFF, kind = 0xFF, flag = 0xFF;
            uint32_t size = capacity;
            int32_t extra = 0;
            *status = TatReadPacket(H(), &stream, &kind, &flag, &size, buffer.data(), &extra);
            if (std::count(buffer.begin() + capacity, buffer.end(), 0xEE) != 64) {
                ADD_FAILURE() << "written past the capacity of " << capacity;
                break;
            }
            if (*status != kTatPacket) {
                EXPECT_EQ(kind, 0xFF) << "kind is left alone without a packet";
                break;
            }
            out.push_back({stream, kind, flag, uint32_t(extra),
                           std::vector<uint8_t>(buffer.begin(), buffer.begin() + size)});
        }
        return out;
    }

    TatHandle H() const { return m_card.Handle(); }

    TestCard m_card;
};

}  // namespace

// Whole, cut by a power loss (torn in the last packet's payload, in its header, at its start,
// after it) and damaged: every whole packet comes back equal and in order, then the end for good;
// damaged stretches are passed over and counted; a cut file is scanned and seeks by the scan.
TEST_F(TatLibraryTest, ReadsEveryWholePacketInOrderThenEndsForGood) {
    const auto packets = MakePackets(65, true);  // 3 groups, 5 GPS and 4 G-sensor records
    const uint32_t lastBytes = tatfmt::kPacketHeaderBytes + uint32_t(packets.back().data.size());
    // One flipped payload byte in packet 10, a size field of packet 30 made huge, and packets
    // 50..52 overwritten with bytes that hold a sync word.
    std::vector<uint8_t> junk(PacketOffset(packets, 53) - PacketOffset(packets, 50) - 7, 0x5A);
    std::memcpy(junk.data() + 100, tatfmt::kPacketSync, 4);
    const struct {
        bool finish;
        uint32_t keep;  // of the last packet's bytes when not finished
        bool damage;
    } cases[] = {{true, 0, false},         {true, 0, true},
                 {false, lastBytes, true}, {false, lastBytes - 5, false},
                 {false, 10, false},       {false, 0, false}};
    int minute = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.finish << " " << c.keep << " " << c.damage);
        const std::string path =
            m_card.Record(kTatParking, ++minute, packets, true, c.finish, c.keep);
        std::vector<Packet> expected;
        for (size_t i = 0; i < packets.size(); ++i)
            if ((!c.damage || (i != 10 && i != 30 && (i < 50 || i > 52))) &&
                (c.finish || c.keep == lastBytes || i + 1 < packets.size()))
                expected.push_back(packets[i]);
        if (c.damage) {
            PatchFile(path, PacketOffset(packets, 10) + tatfmt::kPacketHeaderBytes + 3,
                      {uint8_t(packets[10].data[3] ^ 0x40)});
            PatchFile(path, PacketOffset(packets, 30) + 8, {0xFF, 0xFF, 0xFF, 0x7F});
            PatchFile(path, PacketOffset(packets, 50) + 7, junk);
        } else {
            // The scan's counts equal those a finished recording of the whole packets carries.
            const RecordingInfo reference = QueryRecording(
                H(), NameOf(m_card.Record(kTatParking, 30 + minute, expected, true)).c_str());
            const RecordingInfo q = QueryRecording(H(), NameOf(path).c_str());
            EXPECT_STREQ(q.counts, reference.counts);
        }
        const std::string name = NameOf(path);
        ASSERT_TRUE(Start(kTatParking, name));
        int32_t status;
        EXPECT_EQ(ReadAll(&status), expected);
        EXPECT_EQ(status, kTatEnd);
        EXPECT_EQ(TatSkippedPackets(H()), c.damage ? 3 : 0) << "damaged stretches passed over";
        EXPECT_TRUE(ReadAll(&status).empty());
        EXPECT_EQ(status, kTatEnd) << "reads after the end keep saying so";
        // Seeking works from the index or the scan's: all three groups were delivered (D = 3).
        ASSERT_NE(TatSeek(H(), 3 + 1 + 1, 100), 0);
        EXPECT_EQ(ReadAll(&status, 1), std::vector<Packet>{packets[GroupStartIndex(packets, 1)]});
        ASSERT_TRUE(Start(kTatParking, name));
        EXPECT_EQ(TatSkippedPackets(H()), 0) << "counted anew from each start";
        EXPECT_EQ(ReadAll(&status, 1), std::vector<Packet>{packets[0]}) << "played from the top";
    }

    // Packets larger than the buffer are skipped and counted, never copied.
    ASSERT_TRUE(Start(kTatParking, NameOf(m_card.Record(kTatParking, 59, packets, true))));
    std::vector<Packet> fitting;
    std::copy_if(packets.begin(), packets.end(), std::back_inserter(fitting),
                 [](const Packet& p) { return p.data.size() <= 150; });
    ASSERT_LT(fitting.size(), packets.size());
    int32_t status;
    EXPECT_EQ(ReadAll(&status, SIZE_MAX, 150), fitting);
    EXPECT_EQ(status, kTatEnd);
    EXPECT_EQ(size_t(TatSkippedPackets(H())), packets.size() - fitting.size());
}

TEST_F(TatLibraryTest, QueryGivesDescriptionFieldsAndCountsTakenFromTheFile) {
    const auto packets = MakePackets(50, true);
    // 50 frames: audio on every third (17), text on every fifth (10: G M B G M B G M B G).
    const std::string honest = "cntVideo0=50; cntVideo1=50; cntAudio=17; cntACC=3; cntGPS=4";
    const RecordingInfo q =
        QueryRecording(H(), NameOf(m_card.Record(kTatContinuous, 1, packets, true)).c_str());
    EXPECT_EQ(std::make_tuple(30, 1280, 720, 50), q.Camera(0));
    EXPECT_EQ(std::make_tuple(15, 640, 480, 50), q.Camera(1));
    // Version, cameras, 16-bit mono sound at 8 kHz, groups of 24.
    EXPECT_EQ(std::make_tuple(1, 2, 16, 1, 8000u, 24),
              std::make_tuple(q.desc[0], q.desc[2], q.desc[5], q.desc[6], GetLE32(q.desc + 8),
                              q.Word(12)));
    // Duration, groups, and nothing else in the 244-byte block.
    EXPECT_EQ(std::make_tuple(49u * 1000 / 30, 3u, 236L, 0xA5),
              std::make_tuple(GetLE32(q.block244), GetLE32(q.block244 + 4),
                              std::count(q.block244 + 8, q.block244 + 244, 0), int(q.pastBlock)));
    EXPECT_EQ(q.counts, honest);

    // Counts the header claims against the file; each lie keeps the header's checksum intact.
    auto le32 = [](uint32_t v) {
        std::vector<uint8_t> b(4);
        PutLE32(b.data(), v);
        return b;
    };
    using Patch = std::pair<size_t, std::vector<uint8_t>>;
    const std::vector<std::vector<Patch>> lies = {
        {{tatfmt::kHdrCount0, le32(49)}},
        {{tatfmt::kHdrGps, le32(2000000000)}},
        {{tatfmt::kHdrCountsText, std::vector<uint8_t>(kTatCountsTextBytes, '9')}},  // no NUL
    };
    for (size_t i = 0; i < lies.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string path = m_card.Record(kTatContinuous, 1, packets, true);
        for (const Patch& patch : lies[i])
            PatchFile(path, patch.first, patch.second);
        const std::vector<uint8_t> header = testsupport::ReadBytes(path);
        PatchFile(path, tatfmt::kHdrCrc, le32(tatfmt::Crc32(header.data(), tatfmt::kHdrCrc)));
        const RecordingInfo lied = QueryRecording(H(), NameOf(path).c_str());
        EXPECT_EQ(lied.counts, honest);
    }

    // Front camera only; a leading '/' is accepted too.
    const std::string front = NameOf(m_card.Record(kTatParking, 2, MakePackets(10, false), false));
    for (const std::string& n : {front, "/" + front}) {
        const RecordingInfo f = QueryRecording(H(), n.c_str());
        ASSERT_NE(f.ok, 0) << n;
        EXPECT_EQ(std::make_tuple(0, 0, 0, 0), f.Camera(1)) << n;
    }
}

TEST_F(TatLibraryTest, ListsEachCategoryOldestFirst) {
    const std::string e2 = m_card.Record(kTatEvent, 30, MakePackets(30, true), true);
    const std::string e1 = m_card.Record(kTatEvent, 5, MakePackets(5, false), false);
    const std::string others[] = {m_card.Record(kTatContinuous, 7, MakePackets(3, true), true),
                                  m_card.Record(kTatParking, 9, MakePackets(3, false), false),
                                  m_card.Record(kTatManual, 8, MakePackets(3, true), true)};
    const std::string& root = m_card.Root();
    WriteText(root + "/EVENT/notes.txt", "not a recording");
    WriteText(root + "/EVENT/" + std::string(40, 'A') + ".tat", "name too long");
    fs::create_directory(root + "/EVENT/folder.tat");
    const char d = m_card.Drive();
    // Sizes past 4 GiB are listed whole; the file is sparse.
    fs::resize_file(others[kTatParking - 1], 5ull << 30);

    for (int32_t category : {kTatContinuous, kTatParking, kTatManual}) {
        SCOPED_TRACE(category);
        std::vector<uint64_t> sizes;
        EXPECT_EQ(List(H(), d, category, 5, &sizes),
                  std::vector<std::string>{NameOf(others[category - 1])});
        EXPECT_EQ(sizes, std::vector<uint64_t>{fs::file_size(others[category - 1])});
    }
    EXPECT_EQ(TatCountRecordings(H(), d, kTatEvent), 2);
    EXPECT_EQ(TatCountRecordings(H(), d, 4), 0);
    EXPECT_EQ(TatCountRecordings(H(), d, -1), 0);
    EXPECT_EQ(TatCountRecordings(H(), char(d + 1), kTatEvent), 0);
    ASSERT_EQ(List(H(), d, kTatEvent, 2), (std::vector<std::string>{NameOf(e1), NameOf(e2)}));
    EXPECT_EQ(List(H(), d, kTatEvent, 1), std::vector<std::string>{NameOf(e1)});

    // A new recording and a removed one show at the next listing.
    const std::string e3 = m_card.Record(kTatEvent, 45, MakePackets(2, true), true);
    fs::remove(e1);
    EXPECT_EQ(List(H(), d, kTatEvent, 5), (std::vector<std::string>{NameOf(e2), NameOf(e3)}));

    // A folder last changed long ago is listed from the cache; a change moves its time on.
    struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (root + "/EVENT").c_str(), old, 0), 0);
    EXPECT_EQ(TatCountRecordings(H(), d, kTatEvent), 2);
    fs::remove(e2);
    EXPECT_EQ(List(H(), d, kTatEvent, 5), std::vector<std::string>{NameOf(e3)});

    // On FAT a recording added within the 2-second step of the folder's time leaves that time
    // as it was: a listing taken 1 s after the change is not trusted again.
    struct timespec step[2] = {{0, UTIME_OMIT}, {0, 0}};
    for (time_t now = 0; now != std::time(nullptr);) {
        now = std::time(nullptr);
        step[1].tv_sec = now - 1;
        ASSERT_EQ(::utimensat(AT_FDCWD, (root + "/EVENT").c_str(), step, 0), 0);
        ASSERT_EQ(TatCountRecordings(H(), d, kTatEvent), 1);
    }
    const std::string e4 = m_card.Record(kTatEvent, 50, MakePackets(2, true), true);
    ASSERT_EQ(::utimensat(AT_FDCWD, (root + "/EVENT").c_str(), step, 0), 0);
    EXPECT_EQ(List(H(), d, kTatEvent, 5), (std::vector<std::string>{NameOf(e3), NameOf(e4)}));
}

TEST_F(TatLibraryTest, SeekReachesTheGroupAndReadingGoesOnWithoutLossOrRepeat) {
    const auto packets = MakePackets(24 * 6 + 5, true);  // 7 groups, the last one short
    ASSERT_TRUE(Start(kTatEvent, NameOf(m_card.Record(kTatEvent, 1, packets, true))));
    int32_t status;
    const size_t first = GroupStartIndex(packets, 2) + 3;
    ASSERT_EQ(ReadAll(&status, first).size(), first);
    // With D groups delivered, target D + k + 1 reaches group k counted from the start, and no
    // further than the limit (the parser's frames0 / 24 = 6).
    const struct {
        int32_t group, limit, reached;
        bool toEnd;  // else one packet
    } seeks[] = {
        {4, 6, 4, true},       // forwards
        {0, 6, 0, true},       // backwards, after the end
        {100, 2, 2, false},    // beyond the limit: clamped to it
        {100, 100, 6, false},  // beyond the last group: the last one
        {-51, 100, 0, false},  // before the start: the first
    };
    int32_t delivered = 3;
    for (const auto& seek : seeks) {
        SCOPED_TRACE(seek.group);
        ASSERT_NE(TatSeek(H(), delivered + seek.group + 1, delivered + seek.limit + 1), 0);
        const auto from = packets.begin() + long(GroupStartIndex(packets, seek.reached));
        const std::vector<Packet> got = ReadAll(&status, seek.toEnd ? SIZE_MAX : 1);
        EXPECT_EQ(got, std::vector<Packet>(from, seek.toEnd ? packets.end() : from + 1));
        EXPECT_EQ(status, seek.toEnd ? kTatEnd : kTatPacket);
        delivered += int32_t(std::count_if(
            got.begin(), got.end(), [](const Packet& p) { return p.kind == kTatKindGroupStart; }));
    }
}

TEST_F(TatLibraryTest, BadNamesAndNonRecordingsFailCleanly) {
    const std::string good = NameOf(m_card.Record(kTatEvent, 6, MakePackets(5, true), true));
    WriteText(m_card.Root() + "/EVENT/EVENT_20140301_101500_D.tat", "this is no recording at all");
    WriteText(m_card.Root() + "/EVENT/EVENT_20140301_101600_D.tat", "");
    WriteText(m_card.Temp() + "/outside.tat", "x");
    for (const char* bad : {(const char*)nullptr, "", "../../outside", "NOPE_20140301_101500_D",
                            "EVENT_20140301_101500_D", "EVENT_20140301_101600_D"}) {
        SCOPED_TRACE(bad ? bad : "(null)");
        const RecordingInfo q = QueryRecording(H(), bad);
        EXPECT_EQ(q.ok, 0);
        EXPECT_EQ(q.count0, 0);
        EXPECT_EQ(q.counts[0], '\0') << "the counts text is emptied";
        EXPECT_EQ(std::count(q.desc, q.desc + kTatDescriptionBytes, 0), kTatDescriptionBytes)
            << "the description is zeroed first";
        // Files that are there but hold no recording are found, and then fail to start.
        const int64_t position = TatLocate(H(), kTatEvent, bad);
        if (bad && std::strncmp(bad, "EVENT_", 6) == 0)
            EXPECT_EQ(TatStartStream(H(), kTatEvent, 0, position), 0);
        else
            EXPECT_LT(position, 0);
    }
    // A stream that never started ends at once, with the damaged-end status.
    EXPECT_EQ(TatStartStream(H(), kTatEvent, 0, 12345), 0);
    int32_t status;
    EXPECT_TRUE(ReadAll(&status).empty());
    EXPECT_EQ(status, kTatEndDamaged);
    EXPECT_EQ(TatSeek(H(), 5, 5), 0);
    EXPECT_LT(TatLocateAt(H(), kTatEvent, 99), 0);
    EXPECT_LT(TatLocateAt(H(), 7, 0), 0);
    // The good one is found in any category's folder and by its index in its own.
    EXPECT_GE(TatLocate(H(), kTatManual, good.c_str()), 0);
    EXPECT_EQ(TatLocateAt(H(), kTatEvent, 0), TatLocate(H(), kTatEvent, good.c_str()));
    // Null out-pointers are tolerated; a null handle fails.
    EXPECT_NE(
        TatQueryRecording(H(), good.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        0);
    EXPECT_EQ(QueryRecording(nullptr, good.c_str()).ok, 0);
}

TEST_F(TatLibraryTest, SettingsTextIsDeliveredFromTheCardWithRoomForItsTerminator) {
    char buffer[2048];
    auto read = [&](int32_t capacity) {
        int32_t size = capacity;
        return TatReadSettings(H(), buffer, &size) ? size : -1;
    };
    const std::string path = m_card.Root() + "/" + kSettingsCopyFile;
    EXPECT_EQ(read(2048), -1) << "no copy on the card yet";
    const std::string text = "[blackbox]\r\nmic_in=1\r\nmodel=KX2\r\n";
    WriteText(path, text);
    ASSERT_EQ(read(2048), int32_t(text.size()));
    EXPECT_EQ(std::string(buffer, text.size()), text);
    // Exactly the capacity leaves no room for the caller's terminating zero: refused.
    WriteText(path, std::string(2048, 'a'));
    EXPECT_EQ(read(2048), -1);
    WriteText(path, std::string(2047, 'a'));
    EXPECT_EQ(read(2048), 2047);
    EXPECT_EQ(TatReadSettings(H(), buffer, nullptr), 0);
}

TEST_F(TatLibraryTest, PollFollowsTheCardsUntilTheyLoseTheirLayoutOrAreRemovedWhileReading) {
    const char first = m_card.Drive();
    char drive = 0;
    EXPECT_EQ(TatRegisterCardFolder(H(), (m_card.Root() + "/").c_str()), first)
        << "same folder, same token";
    // Not a card: a missing folder, a plain folder, nothing.
    EXPECT_EQ(TatRegisterCardFolder(H(), (m_card.Temp() + "/none").c_str()), 0);
    EXPECT_EQ(TatRegisterCardFolder(H(), m_card.Temp().c_str()), 0);
    EXPECT_EQ(TatRegisterCardFolder(H(), nullptr), 0);

    // Two more cards get their own tokens, each current when registered; a card that loses
    // its layout gives way to the newest registered one that keeps it.
    const std::string second = m_card.Temp() + "/second";
    const std::string third = m_card.Temp() + "/third";
    ASSERT_TRUE(CreateCardLayout(second));
    ASSERT_TRUE(CreateCardLayout(third));
    const char other = TatRegisterCardFolder(H(), second.c_str());
    const char last = TatRegisterCardFolder(H(), third.c_str());
    ASSERT_NE(other, 0);
    ASSERT_NE(last, 0);
    // A token names its own folder, by its canonical path.
    char root[512];
    const std::string canonical = fs::canonical(second).string();
    EXPECT_EQ(TatCardRoot(H(), other, root, sizeof root), int32_t(canonical.size()));
    EXPECT_EQ(root, canonical);
    EXPECT_EQ(TatCardRoot(H(), other, root, int32_t(canonical.size())), 0)
        << "no room for the zero";
    EXPECT_EQ(TatCardRoot(H(), 0, root, sizeof root), 0);
    EXPECT_EQ(TatPollCard(H(), &drive), last);
    fs::remove(third + "/MANUAL");
    EXPECT_EQ(TatPollCard(H(), &drive), other);
    fs::remove(second + "/MANUAL");
    EXPECT_EQ(TatPollCard(H(), &drive), first);

    // The card removed while a recording is read: the stream ends damaged, for good, and
    // neither poll nor listing finds the card.
    ASSERT_TRUE(Start(kTatEvent, NameOf(m_card.Record(kTatEvent, 7, MakePackets(48, true), true))));
    int32_t status;
    ASSERT_EQ(ReadAll(&status, 10).size(), 10u);
    fs::remove_all(m_card.Root());
    EXPECT_TRUE(ReadAll(&status).empty());
    EXPECT_EQ(status, kTatEndDamaged);
    EXPECT_TRUE(TatSeek(H(), 2, 5) == 0 || ReadAll(&status).empty());
    drive = 'x';
    EXPECT_EQ(TatPollCard(H(), &drive), 0);
    EXPECT_EQ(drive, 0);
    EXPECT_EQ(TatCountRecordings(H(), first, kTatEvent), 0);
    EXPECT_EQ(TatPollCard(nullptr, &drive), 0);
    // The same folder made again is the same card again.
    ASSERT_TRUE(CreateCardLayout(m_card.Root()));
    EXPECT_EQ(TatPollCard(H(), &drive), first);
}

// The player's reader thread reads while the UI thread polls and lists.
TEST_F(TatLibraryTest, ReadingAndPollingFromTwoThreadsAtOnce) {
    const auto packets = MakePackets(240, true);
    const std::string name = NameOf(m_card.Record(kTatContinuous, 9, packets, true));
    for (int i = 0; i < 5; ++i)
        m_card.Record(kTatEvent, 20 + i, MakePackets(2, false), false);
    ASSERT_TRUE(Start(kTatContinuous, name));
    std::atomic<bool> done{false};
    std::atomic<int> listed{0};
    std::thread ui([&] {
        while (!done) {
            char drive = 0;
            TatPollCard(H(), &drive);
            if (List(H(), drive, kTatEvent, TatCountRecordings(H(), drive, kTatEvent)).size() == 5)
                ++listed;
        }
    });
    int32_t status;
    std::vector<Packet> got;
    // Three readings at least, and on until the UI thread has listed alongside.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int round = 0; round < 3 || (listed == 0 && std::chrono::steady_clock::now() < until);
         ++round) {
        got = ReadAll(&status);
        TatSeek(H(), 0, 0);
    }
    done = true;
    ui.join();
    EXPECT_EQ(status, kTatEnd);
    EXPECT_EQ(got, packets);
    EXPECT_GT(listed.load(), 0);
}

TEST(TatLibraryVolumes, AMountedVolumeWithTheLayoutIsTheCardUntilUnmounted) {
    TempFolder temp;
    const std::string root = temp.path() + "/root";
    const std::string mounts = temp.path() + "/mounts";
    ASSERT_TRUE(fs::create_directories(root + "/media/kim/USB"));
    for (const char* card : {"/media/kim/KX2", "/mnt/sd"}) {
        fs::create_directories(fs::path(root + card).parent_path());
        ASSERT_TRUE(CreateCardLayout(root + card)) << card;
    }
    // A plain stick first in the walk's order, then the recorder's card.
    WriteText(mounts,
              "/dev/sdb1 /media/kim/USB vfat rw 0 0\n/dev/sdd1 /mnt/sd vfat rw 0 0\n"
              "/dev/sdc1 /media/kim/KX2 vfat rw 0 0\n");
    TatHandle h = TatCreate();
    TatSetMountsFile(h, mounts.c_str(), root.c_str());
    char drive = 'x';
    const char card = TatPollCard(h, &drive);
    ASSERT_NE(card, 0);
    ASSERT_TRUE(WriteRecording(
        RecordingPath(root + "/media/kim/KX2", kTatEvent, RecordingTime{2014, 3, 1, 10, 0, 0}, 2),
        MakePackets(3, true), true));
    EXPECT_EQ(TatCountRecordings(h, card, kTatEvent), 1) << "/media comes before /mnt";
    EXPECT_EQ(TatPollCard(h, &drive), card);

    // Unmounted (its folder stays behind): the next card in the walk is reported.
    WriteText(mounts, "/dev/sdd1 /mnt/sd vfat rw 0 0\n");
    const char second = TatPollCard(h, &drive);
    EXPECT_NE(second, 0);
    EXPECT_NE(second, card);
    EXPECT_EQ(TatCountRecordings(h, second, kTatEvent), 0);
    fs::remove(mounts);
    EXPECT_EQ(TatPollCard(h, &drive), 0) << "a vanished mounts file reads as no volumes";
    // Mounted again: the same token as before.
    WriteText(mounts, "/dev/sdc1 /media/kim/KX2 vfat rw 0 0\n");
    EXPECT_EQ(TatPollCard(h, &drive), card);
    TatDestroy(h);
}
