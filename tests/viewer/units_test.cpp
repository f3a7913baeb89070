// What the list makes of recording names, and where full screen puts the large picture.
#include <gtest/gtest.h>

#include "viewer/recording_names.h"
#include "viewer/video_rect.h"

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

TEST(VideoRect, FullScreenPictureFitsBetweenTheBarsInMultiplesOfFour) {
    struct Case {
        int w, h;
        std::array<int, 4> rect;
    };
    const Case cases[] = {
        {1366, 768, {172, 44, 1016, 596}},
        {1920, 1248, {0, 40, 1920, 1080}},
        {2560, 1440, {320, 136, 1920, 1080}},
        {1500, 1200, {8, 144, 1480, 828}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VideoRectForClient(c.w, c.h), c.rect) << c.w << "x" << c.h;
}

}  // namespace
}  // namespace locket
