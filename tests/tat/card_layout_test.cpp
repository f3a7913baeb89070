#include "tat/card_layout.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tat_test_util.h"

using namespace locket;
namespace fs = std::filesystem;

TEST(CardLayout, RecordingNamesFollowTheKindDateTimeCameraRule) {
    const RecordingTime t{2014, 3, 1, 9, 30, 5};
    const char* expected[] = {"EVENT_20140301_093005_D.tat", "REC_20140301_093005_D.tat",
                              "PARKING_20140301_093005_D.tat", "MANUAL_20140301_093005_D.tat"};
    for (int32_t c = 0; c < kTatCategoryCount; ++c) {
        const std::string name = RecordingFileName(c, t, 2);
        EXPECT_EQ(name, expected[c]);
        EXPECT_TRUE(IsRecordingFileName(name)) << name;
        EXPECT_TRUE(IsRecordingFileName(name.substr(0, name.size() - 4))) << name;
        EXPECT_EQ(CategoryOfName(name), c);
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
    locket::test::TempFolder temp;
    const std::string card = temp.path() + "/card";
    EXPECT_FALSE(IsCardFolder(card));
    ASSERT_TRUE(CreateCardLayout(card));
    EXPECT_TRUE(IsCardFolder(card));
    EXPECT_TRUE(CreateCardLayout(card)) << "an existing card is kept";
    for (const char* folder : {"EVENT", "REC", "PARKING", "MANUAL", "SETTING"}) {
        fs::rename(card + "/" + folder, card + "/moved");
        EXPECT_FALSE(IsCardFolder(card)) << folder;
        locket::test::WriteText(card + "/" + folder, "a file in a folder's place");
        EXPECT_FALSE(IsCardFolder(card)) << folder;
        fs::remove(card + "/" + folder);
        fs::rename(card + "/moved", card + "/" + folder);
    }
    EXPECT_TRUE(IsCardFolder(card));
    EXPECT_FALSE(CreateCardLayout(temp.path() + "/missing/parent"));
}
