// What a recording's name tells, and which recordings of a card are listed: the rules the
// list, the player and the export share.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "files/recording_listing.h"
#include "files/recording_names.h"
#include "support/temp_dir.h"
#include "tat/card_layout.h"

namespace locket {
namespace {

TEST(RecordingNames, TypeDateAndRearColumnsFollowTheNameFields) {
    struct Case {
        const char* name;
        const char* type;
        const char* date;
        bool rear;
    };
    const Case cases[] = {
        {"EVENT_20140301_093000_D1.ext", "EVT", "2014.03.01 09:30:00", true},
        {"rec_20140301_093000_F", "REC", "2014.03.01 09:30:00", false},
        {"Parking_20231231_235959_d.tat", "PAK", "2023.12.31 23:59:59", true},
        {"MANUAL_20240102_030405_D.tat", "MAN", "2024.01.02 03:04:05", true},
        // The parser's name forms: a leading '/', a trailing index.
        {"/EVT_20140301_101500_d, 3", "/EVT", "2014.03.01 10:15:00", true},
        {"/REC_20140301_101500_F, 3", "/REC", "2014.03.01 10:15:00", false},
        // Unknown kinds keep their word; short and missing fields give short or empty pieces.
        {"DUMMY_2014_0930", "DUMMY", "2014.14.14 09:30:30", false},
        {"noseparators", "noseparators", ".. ::", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecordingTypeCode(c.name), c.type) << c.name;
        EXPECT_EQ(RecordingDateText(c.name), c.date) << c.name;
        EXPECT_EQ(RecordingHasRear(c.name), c.rear) << c.name;
    }
    EXPECT_TRUE(RecordingNewerThan("REC_20240301_083001_F.tat", "EVENT_20240301_083000_D.tat"));
    EXPECT_FALSE(RecordingNewerThan("EVENT_20240301_083000_D", "REC_20240301_083000_F"));
    EXPECT_TRUE(RecordingNewerThan("REC_20250101_000000_F", "REC_20241231_235959_F"));
}

// Sizes read in 64 bits (a sparse file of 3 GiB stands for a long recording), and the 512 KiB
// floor: a file of exactly 524288 bytes is listed, one byte less is not.
TEST(RecordingListing, SizesOf64BitsAndTheFloorOf512KiB) {
    const testsupport::TempDir dir("listing");
    const std::string& root = dir.path();
    ASSERT_TRUE(CreateCardLayout(root));
    struct Case {
        int32_t category;
        const char* name;
        int64_t bytes;
        bool listed;
    };
    const Case cases[] = {
        {kTatEvent, "EVENT_20240301_083000_D.tat", 3LL << 30, true},
        {kTatEvent, "EVENT_20240301_083100_D.tat", 5LL << 30, true},
        {kTatContinuous, "REC_20240301_083000_F.tat", kMinListedBytes, true},
        {kTatContinuous, "REC_20240301_083100_F.tat", kMinListedBytes - 1, false},
        {kTatParking, "PARKING_20240301_083000_F.tat", 0, false},
        {kTatManual, "manual_20240301_083000_d.tat", 2LL << 30, true},
    };
    std::vector<std::string> all;
    for (const Case& c : cases) {
        const std::string path = JoinPath(JoinPath(root, CategoryFolder(c.category)), c.name);
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path;
        ASSERT_EQ(::ftruncate(fd, c.bytes), 0) << path;
        ::close(fd);
        if (c.listed)
            all.push_back(c.name);
    }
    TatHandle tat = TatCreate();
    TatSetMountsFile(tat, "");
    const char drive = TatRegisterCardFolder(tat, root.c_str());
    ASSERT_NE(drive, 0);
    EXPECT_EQ(ListRecordings(tat, drive, kAllCategories), all);
    for (const Case& c : cases) {
        const auto names = ListRecordings(tat, drive, c.category);
        EXPECT_EQ(std::find(names.begin(), names.end(), c.name) != names.end(), c.listed) << c.name;
    }
    EXPECT_TRUE(ListRecordings(tat, drive, 5).empty());
    EXPECT_TRUE(ListRecordings(tat, 0, kAllCategories).empty());
    TatDestroy(tat);
}

}  // namespace
}  // namespace locket
