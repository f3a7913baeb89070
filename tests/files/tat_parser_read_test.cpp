// Reading recordings through the read-ahead thread and through direct reads.
#include <gtest/gtest.h>

#include "tat_parser_test_card.h"

namespace locket::test {
namespace {

const RecordingTime kMorning{2014, 3, 1, 10, 15, 0};
const RecordingTime kNoon{2014, 3, 1, 12, 0, 0};

TEST(TatParserRead, EveryPacketComesBackInOrderWithItsChunkIdAndTheStreamDescription) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> packets = MakePackets({.seconds = 3, .seed = 7});
    const std::string name = card.Write(kTatContinuous, kMorning, packets, 30, 15);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    ASSERT_TRUE(parser.StartReader());
    MediaInfo info;
    EXPECT_NE(parser.OpenMedia(("/" + name).c_str(), &info), 0u);
    EXPECT_EQ(info.fps0, 30);
    EXPECT_EQ(info.fps1, 15);
    EXPECT_EQ(info.frameCount0,
              CountKind(packets, 0, kTatKindGroupStart) + CountKind(packets, 0, kTatKindVideo));
    EXPECT_EQ(info.frameCount1, CountKind(packets, 1, kTatKindVideo));
    EXPECT_EQ(parser.GetVideoSize(0).width, 320);
    EXPECT_EQ(parser.GetVideoSize(0).height, 240);
    EXPECT_EQ(parser.GetVideoSize(1).width, 160);
    EXPECT_EQ(parser.GetVideoSize(1).height, 120);
    EXPECT_EQ(parser.GetFrameRate(1), 15);
    EXPECT_EQ(parser.GetStreamInfo().audioCount, CountKind(packets, 0, kTatKindAudio));
    int gps = 0;
    int acc = 0;
    for (const TestPacket& p : packets) {
        gps += p.kind == kTatKindText && p.bytes[0] == 'G';
        acc += p.kind == kTatKindText && p.bytes[0] == 'M';
    }
    EXPECT_EQ(parser.GetStreamInfo().gpsCount, gps);
    EXPECT_EQ(parser.GetStreamInfo().accCount, acc);

    const ReadResult read = ParseAll(parser);
    EXPECT_TRUE(read.ended);
    ExpectSamePackets(read.packets, packets);

    // The end stays the end.
    char id[5] = {};
    uint8_t byte = 0;
    uint32_t size = 1;
    EXPECT_LT(parser.ParseMedia(id, &byte, &size), 0);
    EXPECT_LT(parser.ParseMedia(id, &byte, &size), 0);
    parser.StopReader();
}

TEST(TatParserRead, DirectReadsCountOnlyGroupStartsAndStopAskingTheLibraryAfterTheEnd) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> packets = MakePackets({.seconds = 2, .seed = 3});
    const std::string name = card.Write(kTatContinuous, kMorning, packets);
    const std::vector<TestPacket> other = MakePackets({.seconds = 1, .seed = 4});
    const std::string otherName = card.Write(kTatContinuous, kNoon, other);
    ASSERT_FALSE(name.empty());
    ASSERT_FALSE(otherName.empty());

    CTATParser parser;  // no reader thread: the caller reads directly
    parser.OpenMedia(name.c_str(), nullptr);
    std::vector<uint8_t> buffer(CTATParser::kBufferBytes);
    static const int32_t kExpectedKind[2][4] = {{0, 2, 0, 3}, {1, 2, 1, 3}};
    for (size_t i = 0; i < packets.size(); ++i) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        const int32_t kind = parser.ReadPacket(buffer.data(), &size);
        ASSERT_EQ(kind, kExpectedKind[packets[i].stream][packets[i].kind]) << "packet " << i;
        ASSERT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + size), packets[i].bytes);
    }
    EXPECT_EQ(parser.GetKind0Count(), CountKind(packets, 0, kTatKindGroupStart));
    EXPECT_LT(CountKind(packets, 0, kTatKindGroupStart), CountKind(packets, 0, kTatKindVideo));

    uint32_t size = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(parser.ReadPacket(buffer.data(), &size), kPacketEnd);
    EXPECT_EQ(size, 1u);  // the end packet must be visible in a queue

    // A second handle streaming another recording: a read that reached the library now would
    // deliver one of its packets.
    TatHandle second = TatCreate();
    ASSERT_NE(TatRegisterCardFolder(second, card.Root().c_str()), 0);
    const int64_t position = TatLocate(second, kTatContinuous, otherName.c_str());
    ASSERT_GE(position, 0);
    TatStartStream(second, kTatContinuous, 0, position);
    CTATParser::SetLibraryHandle(second);
    for (int i = 0; i < 3; ++i) {
        size = static_cast<uint32_t>(buffer.size());
        EXPECT_EQ(parser.ReadPacket(buffer.data(), &size), kPacketEnd);
        EXPECT_EQ(size, 0u);
    }
    uint8_t stream = 0xFF, kind = 0xFF, flag = 0xFF;
    int32_t extra = 0;
    size = static_cast<uint32_t>(buffer.size());
    EXPECT_EQ(TatReadPacket(second, &stream, &kind, &flag, &size, buffer.data(), &extra),
              kTatPacket);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + size), other[0].bytes);
    CTATParser::SetLibraryHandle(card.Handle());
    TatDestroy(second);
}

TEST(TatParserRead, SmallCallerBufferGetsOnlyThePacketsThatFitAndLargestPacketsPass) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    std::vector<TestPacket> packets = MakePackets({.seconds = 2, .seed = 11});
    // The largest packet the format allows, in the middle, and another right behind it.
    const size_t middle = packets.size() / 2;
    packets.insert(packets.begin() + middle,
                   {0, kTatKindVideo, packets[middle].timeMs, VideoBytes(99, 1u << 20, false)});
    packets.insert(packets.begin() + middle + 1,
                   {0, kTatKindText, packets[middle].timeMs, PatternBytes(98, 1u << 20)});
    const std::string name = card.Write(kTatContinuous, kMorning, packets);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    const ReadResult whole = ParseAll(parser);
    EXPECT_TRUE(whole.ended);
    ExpectSamePackets(whole.packets, packets);

    constexpr uint32_t kSmall = 1000;
    std::vector<TestPacket> fitting;
    for (const TestPacket& p : packets)
        if (p.bytes.size() <= kSmall)
            fitting.push_back(p);
    ASSERT_LT(fitting.size(), packets.size());
    parser.OpenMedia(name.c_str(), nullptr);
    const ReadResult small = ParseAll(parser, kSmall);
    EXPECT_TRUE(small.ended);
    ExpectSamePackets(small.packets, fitting);
    parser.StopReader();
}

TEST(TatParserRead, PowerCutRecordingPlaysToItsLastWholePacket) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> packets = MakePackets({.seconds = 2, .seed = 21});
    // Header and a few payload bytes of the last packet survive.
    const std::string name = card.Write(kTatContinuous, kMorning, packets, 30, 30, /*cutKeep=*/30);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    parser.StartReader();
    MediaInfo info;
    parser.OpenMedia(name.c_str(), &info);
    const ReadResult read = ParseAll(parser);
    EXPECT_TRUE(read.ended);
    const std::vector<TestPacket> whole(packets.begin(), packets.end() - 1);
    ExpectSamePackets(read.packets, whole);
    parser.StopReader();
}

TEST(TatParserRead, RecordingThatCannotBeOpenedEndsAtOnce) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    CTATParser parser;
    parser.StartReader();
    for (const char* missing :
         {"/REC_20990101_000000_D.tat", "EVENT_20990101_000000_D, 5", "", "/", ", 9999999999"}) {
        MediaInfo info;
        info.fps0 = 77;
        EXPECT_NE(parser.OpenMedia(missing, &info), 0u) << missing;
        EXPECT_EQ(info.fps0, 0) << missing;
        EXPECT_EQ(info.frameCount0, 0) << missing;
        const ReadResult read = ParseAll(parser);
        EXPECT_TRUE(read.ended) << missing;
        EXPECT_TRUE(read.packets.empty()) << missing;
        EXPECT_EQ(read.idle, 0) << missing;
    }
    parser.StopReader();
}

TEST(TatParserRead, OpeningAnotherRecordingOrClosingLeavesNothingOfTheOldOne) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> first = MakePackets({.seconds = 2, .seed = 31});
    const std::vector<TestPacket> second = MakePackets({.seconds = 1, .rear = false, .seed = 32});
    const std::string firstName = card.Write(kTatContinuous, kMorning, first);
    const std::string secondName = card.Write(kTatContinuous, kNoon, second, 30, 0);
    ASSERT_FALSE(firstName.empty());
    ASSERT_FALSE(secondName.empty());

    CTATParser parser;
    parser.StartReader();
    for (int round = 0; round < 3; ++round) {
        parser.OpenMedia(firstName.c_str(), nullptr);
        EXPECT_EQ(ParseAll(parser, CTATParser::kBufferBytes, 5 + round * 40).packets.size(),
                  5u + round * 40);
        MediaInfo info;
        parser.OpenMedia(secondName.c_str(), &info);
        EXPECT_EQ(info.fps1, 0);
        const ReadResult read = ParseAll(parser);
        EXPECT_TRUE(read.ended);
        ExpectSamePackets(read.packets, second);
    }
    parser.OpenMedia(firstName.c_str(), nullptr);
    EXPECT_EQ(ParseAll(parser, CTATParser::kBufferBytes, 3).packets.size(), 3u);
    parser.CloseMedia();
    const ReadResult afterClose = ParseAll(parser);
    EXPECT_TRUE(afterClose.ended);
    EXPECT_TRUE(afterClose.packets.empty());
    parser.StopReader();
}

TEST(TatParserRead, ReaderSurvivesStopStartCycles) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    const std::vector<TestPacket> packets = MakePackets({.seconds = 2, .seed = 41});
    const std::string name = card.Write(kTatContinuous, kMorning, packets);
    ASSERT_FALSE(name.empty());

    CTATParser parser;
    for (int cycle = 0; cycle < 4; ++cycle) {
        EXPECT_TRUE(parser.StartReader());
        EXPECT_TRUE(parser.StartReader());  // a second start leaves the running reader alone
        parser.OpenMedia(name.c_str(), nullptr);
        const ReadResult part = ParseAll(parser, CTATParser::kBufferBytes, 10 * (cycle + 1));
        ASSERT_EQ(part.packets.size(), 10u * (cycle + 1));
        ExpectSamePackets(part.packets, std::vector<TestPacket>(
                                            packets.begin(), packets.begin() + 10 * (cycle + 1)));
        parser.StopReader();
        // What was read ahead still comes out, in order; then the stopped reader means the end.
        const ReadResult rest = ParseAll(parser);
        EXPECT_TRUE(rest.ended);
        EXPECT_EQ(rest.idle, 0);
        const size_t next = part.packets.size();
        ASSERT_LE(next + rest.packets.size(), packets.size());
        ExpectSamePackets(
            rest.packets,
            std::vector<TestPacket>(packets.begin(), packets.begin() + next + rest.packets.size()),
            next);
    }
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    const ReadResult whole = ParseAll(parser);
    EXPECT_TRUE(whole.ended);
    ExpectSamePackets(whole.packets, packets);
    // The destructor stops the running reader.
}

}  // namespace
}  // namespace locket::test
