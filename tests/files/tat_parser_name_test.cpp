// Recording names: the optional ", index", the category letter, and the counts text.
#include <gtest/gtest.h>

#include <cstring>

#include "tat_parser_test_card.h"

namespace locket::test {
namespace {

TEST(TatParserName, NameIsCutAtTheFirstRunOfCommasAndBlanksAndAnIndexMayFollow) {
    struct Case {
        const char* path;
        const char* name;
        bool hasIndex;
        int32_t index;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
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

// The library's index of a listed recording, asked after the open.
int ListingIndex(const TestCard& card, int32_t category, const std::string& name) {
    const int32_t count = TatCountRecordings(card.Handle(), card.Drive(), category);
    std::vector<char> names(static_cast<size_t>(std::max(count, 1)) * kTatNameBytes);
    std::vector<uint8_t> sizes(static_cast<size_t>(std::max(count, 1)) * kTatSizeBytes);
    const int32_t filled = TatListRecordings(card.Handle(), card.Drive(), category, count,
                                             names.data(), sizes.data(), nullptr);
    for (int32_t i = 0; i < filled; ++i) {
        const char* listed = names.data() + i * kTatNameBytes;
        if (std::strncmp(listed, name.c_str(), kTatNameBytes) == 0 ||
            name.rfind(listed, 0) == 0)  // listed without the extension
            return i;
    }
    return -1;
}

TEST(TatParserName, CategoryLetterAndIndexPickTheRecordingWithoutAListingFirst) {
    TestCard card;
    ASSERT_TRUE(card.Ready());
    struct Written {
        int32_t libraryCategory;
        RecordingTime time;
        std::vector<TestPacket> packets;
        std::string name;
    };
    std::vector<Written> written = {
        {kTatEvent, {2014, 3, 1, 10, 15, 0}, {}, {}},
        {kTatEvent, {2014, 3, 1, 11, 0, 0}, {}, {}},
        {kTatContinuous, {2014, 3, 1, 10, 15, 0}, {}, {}},
        {kTatParking, {2014, 3, 2, 8, 0, 0}, {}, {}},
        {kTatManual, {2014, 3, 3, 9, 30, 0}, {}, {}},
    };
    uint32_t seed = 60;
    for (Written& w : written) {
        w.packets = MakePackets({.seconds = 1, .seed = ++seed});
        w.name = card.Write(w.libraryCategory, w.time, w.packets);
        ASSERT_FALSE(w.name.empty());
    }

    CTATParser parser;
    parser.StartReader();
    EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryContinuous);

    // By name: the first letter selects the category, whose folder holds the recording.
    const int32_t expectedCategory[] = {CTATParser::kCategoryEvent, CTATParser::kCategoryEvent,
                                        CTATParser::kCategoryContinuous,
                                        CTATParser::kCategoryParking, CTATParser::kCategoryManual};
    for (size_t i = 0; i < written.size(); ++i) {
        parser.OpenMedia(("/" + written[i].name).c_str(), nullptr);
        EXPECT_EQ(parser.GetCategory(), expectedCategory[i]) << written[i].name;
        const ReadResult read = ParseAll(parser);
        EXPECT_TRUE(read.ended);
        ExpectSamePackets(read.packets, written[i].packets);
    }

    // By index within the category of the letter; a letter that is no category keeps the last.
    for (int pick : {0, 1}) {
        parser.OpenMedia(("/EVT_20140301_101500_D, " + std::to_string(pick)).c_str(), nullptr);
        EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryEvent);
        const ReadResult byIndex = ParseAll(parser);

        parser.OpenMedia(("DUMMY, " + std::to_string(pick)).c_str(), nullptr);
        EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryEvent);
        const ReadResult kept = ParseAll(parser);

        const size_t which = ListingIndex(card, kTatEvent, written[0].name) == pick ? 0 : 1;
        ASSERT_EQ(ListingIndex(card, kTatEvent, written[which].name), pick);
        ExpectSamePackets(byIndex.packets, written[which].packets);
        ExpectSamePackets(kept.packets, written[which].packets);
    }
    parser.OpenMedia("/MANUAL_X, 0", nullptr);
    EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryManual);
    ExpectSamePackets(ParseAll(parser).packets, written[4].packets);
    parser.OpenMedia("PARKING_X, 0", nullptr);
    EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryParking);
    ExpectSamePackets(ParseAll(parser).packets, written[3].packets);
    parser.OpenMedia("/x, 0", nullptr);  // lower case is no category letter
    EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryParking);
    parser.OpenMedia("RECORD, 0", nullptr);
    EXPECT_EQ(parser.GetCategory(), CTATParser::kCategoryContinuous);
    ExpectSamePackets(ParseAll(parser).packets, written[2].packets);
    parser.StopReader();
}

}  // namespace
}  // namespace locket::test
