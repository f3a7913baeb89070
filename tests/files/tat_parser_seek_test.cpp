// Seeking to key-frame groups, by time, while the read-ahead thread runs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tat_parser_test_card.h"

namespace locket::test {
namespace {

const RecordingTime kMorning{2014, 3, 1, 10, 15, 0};

// Reads on from the current place and checks that it starts at `group` and runs to the end.
void ExpectReadsOnFromGroup(CTATParser& parser, const std::vector<TestPacket>& packets, int group) {
    const size_t first = GroupStartIndex(packets, group);
    ASSERT_LT(first, packets.size()) << "group " << group;
    const ReadResult read = ParseAll(parser);
    EXPECT_TRUE(read.ended);
    ExpectSamePackets(read.packets, packets, first);
}

TEST(TatParserSeek, SeekLandsOnTheGroupOfTheTimeAndReadingGoesOnWithoutLossOrRepeat) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    // 11 s at 30 fps: 330 front frames, groups 0..13.
    const std::vector<TestPacket> packets = MakePackets({.seconds = 11, .seed = 51});
    const std::string name = card.Write(kTatContinuous, kMorning, packets);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    ASSERT_EQ(ParseAll(parser, CTATParser::kBufferBytes, 50).packets.size(), 50u);
    EXPECT_TRUE(parser.SeekSnapsToSecond());

    // 10 s: 12.5 groups, so group 12, which starts in second 9.
    EXPECT_EQ(parser.SeekTime(10.0f), 9);
    ExpectReadsOnFromGroup(parser, packets, 12);

    // After the end, and with group starts already counted, a seek still lands by time.
    EXPECT_EQ(parser.SeekTime(2.0f), 1);
    ExpectReadsOnFromGroup(parser, packets, 2);

    EXPECT_EQ(parser.SeekTime(-3.0f), 0);
    ExpectReadsOnFromGroup(parser, packets, 0);

    // Past the end: the last group, whose second is reported.
    EXPECT_EQ(parser.SeekTime(1000.0f), 10);
    ExpectReadsOnFromGroup(parser, packets, 13);

    EXPECT_EQ(parser.SeekTime(std::numeric_limits<float>::quiet_NaN()), 0);
    ExpectReadsOnFromGroup(parser, packets, 0);
    parser.StopReader();
}

TEST(TatParserSeek, FrameRateZeroSeeksAsThirtyFramesPerSecond) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> packets = MakePackets({.seconds = 11, .rear = false, .seed = 52});
    const std::string name = card.Write(kTatContinuous, kMorning, packets, /*fps0=*/0, 0);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    MediaInfo info;
    parser.OpenMedia(name.c_str(), &info);
    EXPECT_EQ(info.fps0, 0);
    EXPECT_EQ(parser.SeekTime(10.0f), 9);
    ExpectReadsOnFromGroup(parser, packets, 12);
    parser.StopReader();
}

TEST(TatParserSeek, TimeOfAGroupStartLandsInThatGroupDespiteFloatRounding) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    // 25 fps: frame 24 is at 0.96 s, which a float holds as a little less. 100 frames, groups
    // 0..4.
    const std::vector<TestPacket> packets = MakePackets({.seconds = 4, .fps = 25, .seed = 53});
    const std::string name = card.Write(kTatContinuous, kMorning, packets, 25, 25);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    CTATParser::SetKeyFrameGroupLength(0);  // ignored: no group length of zero
    EXPECT_EQ(CTATParser::GetKeyFrameGroupLength(), 24.0f);
    for (int group = 1; group <= 4; ++group) {
        const float seconds = static_cast<float>(group * 24) / 25.0f;
        EXPECT_EQ(parser.SeekTime(seconds), group * 24 / 25) << "group " << group;
        ExpectReadsOnFromGroup(parser, packets, group);
    }
    parser.StopReader();
}

TEST(TatParserSeek, SeeksWhileTheReaderFillsTheQueueNeverHandOutAStalePacket) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    // About 2.5 MiB of front video: the read-ahead queue fills and the reader waits on it.
    const std::vector<TestPacket> packets =
        MakePackets({.seconds = 11, .seed = 54, .extraFrontBytes = 8000});
    const std::string name = card.Write(kTatContinuous, kMorning, packets);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    for (int round = 0; round < 30; ++round) {
        const int group = (round * 5) % 14;
        const float seconds = group * 24 / 30.0f + 0.01f;
        parser.SeekTime(seconds);
        const size_t first = GroupStartIndex(packets, group);
        const size_t count = std::min<size_t>(1 + round * 5, packets.size() - first);
        const ReadResult read = ParseAll(parser, CTATParser::kBufferBytes, count);
        ASSERT_EQ(read.packets.size(), count) << "round " << round;
        ExpectSamePackets(read.packets,
                          std::vector<TestPacket>(packets.begin(), packets.begin() + first + count),
                          first);
    }
    parser.StopReader();
}

}  // namespace
}  // namespace locket::test
