// The recording reader over the TAT library: read ahead and directly, seeks, recording names.
#include "files/tat_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>
#include <thread>
#include <tuple>

#include "tat/tat_test_util.h"

namespace locket::test {
namespace {

// What the parser makes of a packet written with this stream and kind, and its chunk id.
int32_t ParserKind(const Packet& p) {
    if (p.kind == kTatKindAudio)
        return kPacketAudio;
    if (p.kind == kTatKindText)
        return kPacketText;
    return p.stream == 0 ? kPacketFrontVideo : kPacketRearVideo;
}

std::string ChunkId(const Packet& p) {
    return std::string("00dc01dc02wb03tx").substr(size_t(ParserKind(p)) * 4, 4);
}

struct ReadResult {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> packets;  // chunk id, bytes
    bool ended = false;  // ParseMedia reported the end
    int idle = 0;        // calls that delivered nothing
};

// ParseMedia until the end (or `maxPackets`), into a buffer of exactly `capacity` bytes so that
// the address sanitizer sees any write past it.
ReadResult ParseAll(CTATParser& parser, size_t maxPackets = SIZE_MAX,
                    uint32_t capacity = CTATParser::kBufferBytes) {
    ReadResult result;
    std::vector<uint8_t> buffer(capacity);
    // No recording here holds this many: a stream that runs on past it repeats or invents packets.
    constexpr size_t kRunaway = 20000;
    while (result.packets.size() < maxPackets && result.idle < 20) {
        if (result.packets.size() == kRunaway) {
            ADD_FAILURE() << "more than " << kRunaway << " packets without an end";
            break;
        }
        char id[5] = {};
        uint32_t size = capacity;
        if (parser.ParseMedia(id, buffer.data(), &size) < 0) {
            result.ended = true;
            break;
        }
        if (id[0] == '\0') {
            ++result.idle;
            continue;
        }
        EXPECT_LE(size, capacity);
        result.packets.push_back({id, std::vector<uint8_t>(buffer.begin(), buffer.begin() + size)});
    }
    return result;
}

// Compares what was read with `count` packets written from `first` on; a read of all the rest
// (no count) must have reached the end. Reports the first mismatch.
void ExpectSamePackets(const ReadResult& read, const std::vector<Packet>& written, size_t first = 0,
                       size_t count = SIZE_MAX) {
    EXPECT_TRUE(read.ended || count != SIZE_MAX);
    ASSERT_LE(first, written.size());
    ASSERT_EQ(read.packets.size(), std::min(count, written.size() - first));
    for (size_t i = 0; i < read.packets.size(); ++i) {
        ASSERT_EQ(read.packets[i].first, ChunkId(written[first + i])) << "packet " << first + i;
        ASSERT_EQ(read.packets[i].second, written[first + i].data) << "packet " << first + i;
    }
}

class TatParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_card.Ready());
        CTATParser::SetLibraryHandle(m_card.Handle());
        CTATParser::SetKeyFrameGroupLength(24);
    }
    void TearDown() override {
        m_parser.StopReader();
        CTATParser::SetLibraryHandle(nullptr);
    }

    // Writes a continuous recording at 10:`minute` and returns its file name, ".tat" included.
    std::string Write(int minute, const std::vector<Packet>& packets, bool rear = true,
                      int fps0 = 30) {
        return NameOf(m_card.Record(kTatContinuous, minute, packets, rear, true, UINT32_MAX, fps0));
    }

    TestCard m_card;
    CTATParser m_parser;
};

// Through the read-ahead queue into a buffer of any size, into a small one that gets only the
// packets that fit, and directly without the reader thread: in order, then the end for good.
TEST_F(TatParserTest, EveryPacketComesBackInOrderThroughTheQueueOrDirectlyThenTheEndStays) {
    auto packets = MakePackets(90, true, 7);
    // The largest packets the format allows, in the middle.
    const size_t middle = packets.size() / 2;
    const uint32_t t = packets[middle].timeMs;
    packets.insert(packets.begin() + long(middle),
                   {{0, kTatKindVideo, 0, t, std::vector<uint8_t>(1u << 20, 0x41)},
                    {0, kTatKindText, 0, t, std::vector<uint8_t>(1u << 20, 'B')}});
    const std::string name = Write(15, packets);
    ASSERT_TRUE(m_parser.StartReader());
    MediaInfo info;
    EXPECT_NE(m_parser.OpenMedia(("/" + name).c_str(), &info), 0u);
    const auto front = m_parser.GetVideoSize(0), rear = m_parser.GetVideoSize(1);
    // Audio on every third frame; text on every fifth, 'G', 'M' and 'B' in turn.
    const TatStreamInfo& counts = m_parser.GetStreamInfo();
    EXPECT_EQ(
        std::vector<int>({30, 15, 91, 90, 1280, 720, 640, 480, 15, 30, 6, 6}),
        std::vector<int>({info.fps0, info.fps1, info.frameCount0, info.frameCount1, front.width,
                          front.height, rear.width, rear.height, m_parser.GetFrameRate(1),
                          counts.audioCount, counts.gpsCount, counts.accCount}));
    ExpectSamePackets(ParseAll(m_parser), packets);
    EXPECT_TRUE(ParseAll(m_parser).ended) << "the end stays the end";

    constexpr uint32_t kSmall = 500;
    std::vector<Packet> fitting;
    std::copy_if(packets.begin(), packets.end(), std::back_inserter(fitting),
                 [](const Packet& p) { return p.data.size() <= kSmall; });
    m_parser.OpenMedia(name.c_str(), nullptr);
    ExpectSamePackets(ParseAll(m_parser, SIZE_MAX, kSmall), fitting);

    m_parser.StopReader();
    m_parser.OpenMedia(name.c_str(), nullptr);
    std::vector<uint8_t> buffer(CTATParser::kBufferBytes);
    for (size_t i = 0; i < packets.size(); ++i) {
        uint32_t size = uint32_t(buffer.size());
        ASSERT_EQ(m_parser.ReadPacket(buffer.data(), &size), ParserKind(packets[i])) << i;
        ASSERT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + size), packets[i].data);
    }
    uint32_t size = uint32_t(buffer.size());
    EXPECT_EQ(m_parser.ReadPacket(buffer.data(), &size), kPacketEnd);
    EXPECT_EQ(size, 1u);  // the end packet must be visible in a queue
    // The library streams the recording again: a read that reached it now would get a packet.
    const TatHandle h = m_card.Handle();
    ASSERT_EQ(TatStartStream(h, kTatContinuous, 0, TatLocate(h, kTatContinuous, name.c_str())), 1);
    for (int i = 0; i < 3; ++i) {
        size = uint32_t(buffer.size());
        EXPECT_EQ(m_parser.ReadPacket(buffer.data(), &size), kPacketEnd);
        EXPECT_EQ(size, 0u);
    }
}

TEST_F(TatParserTest, ReopeningClosingAndRestartingTheReaderLeaveNothingStale) {
    const auto first = MakePackets(60, true, 31);
    const auto second = MakePackets(30, false, 32);
    const std::string firstName = Write(15, first);
    const std::string secondName = Write(45, second, false);
    m_parser.StartReader();
    for (size_t round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        m_parser.OpenMedia(firstName.c_str(), nullptr);
        ExpectSamePackets(ParseAll(m_parser, 5 + round * 20), first, 0, 5 + round * 20);
        MediaInfo info;
        m_parser.OpenMedia(secondName.c_str(), &info);
        EXPECT_EQ(info.fps1, 0);
        ExpectSamePackets(ParseAll(m_parser), second);
    }
    m_parser.OpenMedia(firstName.c_str(), nullptr);
    EXPECT_EQ(ParseAll(m_parser, 3).packets.size(), 3u);
    ASSERT_TRUE(m_parser.WaitForPacket(10000));  // read ahead, so the close has a queue to empty
    m_parser.CloseMedia();
    ExpectSamePackets(ParseAll(m_parser), {});

    for (size_t cycle = 1; cycle <= 4; ++cycle) {
        SCOPED_TRACE(cycle);
        EXPECT_TRUE(m_parser.StartReader());
        EXPECT_TRUE(m_parser.StartReader());  // a second start leaves the running reader alone
        m_parser.OpenMedia(firstName.c_str(), nullptr);
        ExpectSamePackets(ParseAll(m_parser, 10 * cycle), first, 0, 10 * cycle);
        m_parser.StopReader();
        // What was read ahead still comes out, in order; then the stopped reader means the end.
        const ReadResult rest = ParseAll(m_parser);
        EXPECT_EQ(rest.idle, 0);
        ExpectSamePackets(rest, first, 10 * cycle, rest.packets.size());
    }
}

TEST_F(TatParserTest, SeekLandsOnTheGroupOfTheTimeAndReadingGoesOnWithoutLossRepeatOrStalePacket) {
    m_parser.StartReader();
    CTATParser::SetKeyFrameGroupLength(0);  // ignored: no group length of zero
    EXPECT_EQ(CTATParser::GetKeyFrameGroupLength(), 24.0f);
    // 11 s at 30 fps: groups 0..13, so 10 s is group 12, which starts in second 9; past the end
    // is the last group. A frame rate of 0 computes with 30. At 25 fps frame 24 is at 0.96 s,
    // which a float holds as a little less. Seeks follow each other after reading to the end.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int fps;  // as written
        int frames;
        std::vector<std::tuple<float, int, int>> seeks;  // seconds, second told, group
    } recordings[] = {
        {30, 330, {{10.0f, 9, 12}, {2.0f, 1, 2}, {-3.0f, 0, 0}, {1000.0f, 10, 13}, {nan, 0, 0}}},
        {0, 330, {{10.0f, 9, 12}}},
        {25, 100, {{24 / 25.0f, 0, 1}, {48 / 25.0f, 1, 2}, {72 / 25.0f, 2, 3}, {96 / 25.0f, 3, 4}}},
    };
    int minute = 15;
    for (const auto& r : recordings) {
        SCOPED_TRACE(r.fps);
        const auto packets = MakePackets(r.frames, r.fps != 0, 51 + minute, r.fps ? r.fps : 30);
        MediaInfo info;
        m_parser.OpenMedia(Write(minute++, packets, r.fps != 0, r.fps).c_str(), &info);
        EXPECT_EQ(info.fps0, r.fps);
        ASSERT_EQ(ParseAll(m_parser, 50).packets.size(), 50u);
        for (const auto& [seconds, second, group] : r.seeks) {
            SCOPED_TRACE(seconds);
            EXPECT_EQ(m_parser.SeekTime(seconds), second);
            ExpectSamePackets(ParseAll(m_parser), packets, GroupStartIndex(packets, group));
        }
    }
    EXPECT_TRUE(m_parser.SeekSnapsToSecond());

    // Seeks while the reader fills the queue never hand out a stale packet. About 2.6 MiB of
    // front video: the read-ahead queue fills and the reader waits on it.
    const auto packets = MakePackets(330, true, 54, 30, 8000);
    m_parser.OpenMedia(Write(minute++, packets).c_str(), nullptr);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const int group = (round * 5) % 14;
        m_parser.SeekTime(group * 24 / 30.0f + 0.01f);
        const size_t count = 1 + size_t(round) * 5;
        ExpectSamePackets(ParseAll(m_parser, count), packets, GroupStartIndex(packets, group),
                          count);
    }

    // Seeking while the reader waits for room: six key frames of 300 KB, three fit the queue, so
    // the reader stops after reading the fourth.
    std::vector<Packet> big;
    for (int i = 0; i < 6; ++i)
        big.push_back({0, kTatKindGroupStart, 1, uint32_t(i * 800),
                       std::vector<uint8_t>(300000, uint8_t(i))});
    m_parser.OpenMedia(Write(minute, big, false).c_str(), nullptr);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_parser.GetKind0Count() < 4 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    ASSERT_EQ(m_parser.GetKind0Count(), 4);
    m_parser.SeekTime(0.0f);
    ExpectSamePackets(ParseAll(m_parser), big);
}

TEST(TatParserName, NameIsCutAtTheFirstRunOfCommasAndBlanksAndAnIndexMayFollow) {
    const struct {
        const char* path;
        const char* name;
        bool hasIndex;
        int32_t index;
    } cases[] = {
        {"/EVT_20140301_101500_D, 3", "EVT_20140301_101500_D", true, 3},
        {"REC_20140301_101500_D.tat", "REC_20140301_101500_D.tat", false, 0},
        {"//REC", "/REC", false, 0},  // one leading slash only
        {"/A,, ,12,5", "A", true, 12},
        {"A ,  ", "A", false, 0},
        {"A 7x", "A", true, 7},
        {"A, x", "A", true, 0},
        {", 4", "", true, 4},
        {"A, -2", "A", true, -2},
        {"A, 99999999999", "A", true, INT32_MAX},
        {"", "", false, 0},
    };
    for (const auto& c : cases) {
        const CTATParser::RecordingName r = CTATParser::SplitRecordingName(c.path);
        EXPECT_EQ(r.name, c.name) << c.path;
        EXPECT_EQ(r.hasIndex, c.hasIndex) << c.path;
        EXPECT_EQ(r.index, c.index) << c.path;
    }
    EXPECT_EQ(CTATParser::SplitRecordingName(nullptr).name, "");
}

TEST(TatParserName, CountsTextFieldsFromTheFirstMismatchOnKeepTheirValues) {
    TatStreamInfo info;
    info.frameCount[1] = 2;
    info.audioCount = 3;
    EXPECT_EQ(CTATParser::ScanCountsText("cntVideo0=  -5;cntVideo1=x; cntAudio=9", &info), 1);
    EXPECT_EQ(info.frameCount[0], -5);
    EXPECT_EQ(info.frameCount[1], 2);
    EXPECT_EQ(info.audioCount, 3);
    EXPECT_EQ(CTATParser::ScanCountsText("cntVideo0=123456789012345678901234567890", &info), 1);
    EXPECT_EQ(info.frameCount[0], INT32_MAX);
    EXPECT_EQ(CTATParser::ScanCountsText("cntvideo0=1", &info), 0);
}

TEST_F(TatParserTest, CategoryLetterAndIndexPickTheRecordingWithoutAListingOrEndAtOnce) {
    // The two events are listed oldest first: minute 15 is index 0, minute 45 index 1. Lengths
    // differ, so that the frame count shows which recording was opened.
    const struct {
        int32_t library;
        int minute;
        int32_t parser;
    } written[] = {{kTatEvent, 15, CTATParser::kCategoryEvent},
                   {kTatEvent, 45, CTATParser::kCategoryEvent},
                   {kTatContinuous, 15, CTATParser::kCategoryContinuous},
                   {kTatParking, 20, CTATParser::kCategoryParking},
                   {kTatManual, 30, CTATParser::kCategoryManual}};
    std::vector<std::vector<Packet>> packets;
    std::vector<std::string> names;
    for (const auto& w : written) {
        packets.push_back(MakePackets(20 + 5 * int(names.size()), true, 60 + names.size()));
        names.push_back(NameOf(m_card.Record(w.library, w.minute, packets.back(), true)));
    }
    m_parser.StartReader();
    EXPECT_EQ(m_parser.GetCategory(), CTATParser::kCategoryContinuous);
    // A recording that cannot be opened (which < 0) is described as empty and ends at once.
    auto open = [&](const std::string& path, int32_t category, int which) {
        SCOPED_TRACE(path);
        MediaInfo info;
        info.fps0 = 77;
        EXPECT_NE(m_parser.OpenMedia(path.c_str(), &info), 0u);
        EXPECT_EQ(m_parser.GetCategory(), category);
        const ReadResult read = ParseAll(m_parser);
        ExpectSamePackets(read, which < 0 ? std::vector<Packet>() : packets[size_t(which)]);
        EXPECT_EQ(std::make_tuple(info.fps0, info.frameCount0),
                  which < 0 ? std::make_tuple(0, 0) : std::make_tuple(30, 20 + 5 * which));
        EXPECT_TRUE(which >= 0 || read.idle == 0) << "a missing one ends at once";
    };

    // By name: the first letter selects the category, whose folder holds the recording.
    for (size_t i = 0; i < names.size(); ++i)
        open("/" + names[i], written[i].parser, int(i));
    // By index within the category of the letter; a letter that is no category keeps the last.
    for (int pick : {0, 1}) {
        open("/EVT_20140301_101500_D, " + std::to_string(pick), CTATParser::kCategoryEvent, pick);
        open("DUMMY, " + std::to_string(pick), CTATParser::kCategoryEvent, pick);
    }
    open("/MANUAL_X, 0", CTATParser::kCategoryManual, 4);
    open("PARKING_X, 0", CTATParser::kCategoryParking, 3);
    open("/x, 0", CTATParser::kCategoryParking, 3);  // lower case is no category letter
    open("RECORD, 0", CTATParser::kCategoryContinuous, 2);
    open("/REC_20990101_000000_D.tat", CTATParser::kCategoryContinuous, -1);
    for (const char* missing : {"EVENT_20990101_000000_D, 5", "", "/", ", 9999999999"})
        open(missing, CTATParser::kCategoryEvent, -1);
}

}  // namespace
}  // namespace locket::test
