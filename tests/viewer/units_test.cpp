// Where full screen puts the large picture, the names of captured files, and the magnifier's
// source.
#include <gtest/gtest.h>

#include "viewer/capture_names.h"
#include "viewer/video_rect.h"
#include "viewer/zoom_dlg.h"

namespace locket {
namespace {

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

TEST(CaptureNames, TwoFilesBesideTheChosenNameWithTheirOwnExtension) {
    struct Capture {
        const char* chosen;
        const char* front;
        const char* rear;
    };
    const Capture captures[] = {
        {"/home/u/shot", "/home/u/shot_front.jpg", "/home/u/shot_rear.jpg"},
        {"shot.a", "shot_front.jpg", "shot_rear.jpg"},
        {"/home/u.d/x", "/home/u.d/x_front.jpg", "/home/u.d/x_rear.jpg"},
        {"/home/u/.jpg", "/home/u/.jpg_front.jpg", "/home/u/.jpg_rear.jpg"},
    };
    for (const Capture& c : captures) {
        EXPECT_EQ(CaptureFileNames(c.chosen).front, c.front) << c.chosen;
        EXPECT_EQ(CaptureFileNames(c.chosen).rear, c.rear) << c.chosen;
    }
}

TEST(Magnifier, SourceFollowsTheCursorAndStaysOnTheScreen) {
    struct Case {
        QPoint cursor;
        QPoint origin;
    };
    const QSize screen(1920, 1080);
    const QSize source(212, 165);
    const Case cases[] = {
        {{0, 0}, {0, 0}},         {{50, 30}, {0, 0}},
        {{960, 540}, {854, 458}}, {{1919, 1079}, {1708, 915}},
        {{1900, 10}, {1708, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CZoomDlg::SourceOrigin(c.cursor, screen, source), c.origin) << c.cursor.x();
}

}  // namespace
}  // namespace locket
