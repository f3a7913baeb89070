#include <QMenu>

#include "tools/locket-record/recording_writer.h"
#include "viewer/evidence_controls.h"
#include "viewer_test_support.h"
#include "widgets/seek_marks.h"

namespace locket::viewertest {
namespace {

// An event recording of 8 s at 30 pictures a second, both cameras: its knock at second 4.
TEST(EvidenceWindowTest, KnockTicksKeysStepsSpeedMarksAndClipMenus) {
    TempDir card;
    ASSERT_TRUE(
        MakeCard(card.path(), {"--seconds", "8", "--count", "1", "--only", "EVENT", "--size",
                               "160x96", "--rear-size", "96x64", "--rear", "--min-kib", "520"}));
    const std::string name =
        std::filesystem::directory_iterator(card.path() + "/EVENT")->path().filename();
    Window window(card.path());
    ASSERT_TRUE(window.WaitForList(1));
    CRavuraVezedaDlg& w = *window;
    CEvidenceControls* evidence = w.Evidence();
    ASSERT_NE(nullptr, evidence);
    ASSERT_TRUE(w.OpenRecording(QString::fromStdString(name)));
    // Pause is taken only once the player plays.
    ASSERT_TRUE(qWaitFor(
        [&] {
            return !evidence->Knocks().empty() &&
                   w.Player().m_captureGate.load() == CTRSMediaPlayer::kGatePlaying;
        },
        10000));
    w.OnPause();
    ASSERT_TRUE(qWaitFor([&] { return w.Player().GetState() == CTRSMediaPlayer::kPaused; }));
    ASSERT_TRUE(w.Player().StepFrames(-1000));
    // Chooses an entry of the picture's menu.
    const auto Choose = [&](int entry) {
        emit w.FrontView()->customContextMenuRequested(QPoint(10, 10));
        ASSERT_NE(nullptr, evidence->ContextMenu());
        evidence->ContextMenu()->actions().at(entry)->trigger();
    };
    // Waits for the player to stand still on picture `n` (at least `n` when `orLater`).
    const auto ShownPicture = [&](int n, bool orLater = false) {
        return qWaitFor([&] {
            const int shown = w.Player().GetShownPicture();
            return w.Player().GetState() == CTRSMediaPlayer::kPaused &&
                   (shown == n || (orLater && shown > n));
        });
    };

    EXPECT_EQ(std::vector<uint32_t>{4000}, evidence->Knocks());

    // K lands two seconds before the knock: the group of picture 60 starts at picture 48.
    QTest::keyClick(&w, Qt::Key_K);
    ASSERT_TRUE(ShownPicture(48));
    // Shift+K from further on, and a click on the tick, land at the same place again.
    w.Player().SeekTo(7000);
    ASSERT_TRUE(ShownPicture(192, true));
    QTest::keyClick(&w, Qt::Key_K, Qt::ShiftModifier);
    ASSERT_TRUE(ShownPicture(48));
    w.Player().SeekTo(7000);
    ASSERT_TRUE(ShownPicture(192, true));
    auto* bar = w.ControlAs<CBitmapSlider>(ctl::kSeekSlider);
    const int tick = static_cast<int>(std::lround(evidence->SeekMarks()->PixelOf(4000)));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(tick + 2, bar->height() / 2));
    ASSERT_TRUE(ShownPicture(48));

    // Picture steps; the time readout follows.
    for (int i = 0; i < 13; ++i)
        QTest::keyClick(&w, Qt::Key_Period);
    ASSERT_TRUE(ShownPicture(61));
    QTest::keyClick(&w, Qt::Key_Comma);
    ASSERT_TRUE(ShownPicture(60));
    EXPECT_EQ("00:00:02", Text(w, ctl::kCurrentTime));

    // Clip marks: I here, O thirty pictures on; Esc clears them.
    QTest::keyClick(&w, Qt::Key_I);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(&w, Qt::Key_Period);
    ASSERT_TRUE(ShownPicture(90));
    QTest::keyClick(&w, Qt::Key_O);
    EXPECT_EQ(60 * 1000 / 30, evidence->MarkIn());
    EXPECT_EQ(91 * 1000 / 30, evidence->MarkOut());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(-1, evidence->MarkIn());
    EXPECT_EQ(-1, evidence->MarkOut());

    // Speeds: shown beside the time except at normal speed, bounded at both ends.
    const struct {
        Qt::Key key;
        int speed;
        const char* shown;
    } speeds[] = {
        {Qt::Key_BracketRight, 200, "2×"},   {Qt::Key_BracketRight, 400, "4×"},
        {Qt::Key_BracketRight, 400, "4×"},   {Qt::Key_BracketLeft, 200, "2×"},
        {Qt::Key_BracketLeft, 100, nullptr}, {Qt::Key_BracketLeft, 50, "½×"},
        {Qt::Key_BracketLeft, 25, "¼×"},     {Qt::Key_BracketLeft, 25, "¼×"},
    };
    for (const auto& s : speeds) {
        QTest::keyClick(&w, s.key);
        EXPECT_EQ(s.speed, w.Player().GetSpeed());
        EXPECT_EQ(s.shown != nullptr, evidence->SpeedLabel()->isVisible()) << s.speed;
        if (s.shown) {
            EXPECT_EQ(QString::fromUtf8(s.shown), evidence->SpeedLabel()->text());
        }
    }

    // Menus: the list's and the picture's offer the same three entries.
    ASSERT_TRUE(w.Player().StepFrames(-1000));
    QTreeWidget* list = w.ControlAs<QTreeWidget>(ctl::kList);
    const QRect row = list->visualItemRect(list->topLevelItem(0));
    emit list->customContextMenuRequested(row.center());
    ASSERT_NE(nullptr, evidence->ContextMenu());
    QStringList texts;
    for (QAction* a : evidence->ContextMenu()->actions())
        texts << a->text();
    EXPECT_EQ((QStringList{"Export clip as MP4…", "Export GPS track (GPX)…",
                           "Export sensor data (CSV)…"}),
              texts);
    evidence->ContextMenu()->close();

    ASSERT_TRUE(w.Player().StepFrames(30));
    QTest::keyClick(&w, Qt::Key_I);
    ASSERT_TRUE(w.Player().StepFrames(60));
    QTest::keyClick(&w, Qt::Key_O);
    TempDir out;
    w.SetPathAnswer([&] { return QString::fromStdString(out.path()); });
    Choose(0);
    const std::string base = name.substr(0, name.size() - 4), stem = out.path() + "/" + base;
    ASSERT_TRUE(qWaitFor([&] { return !w.ExportRunning(); }, 20000));
    std::string probe;
    ASSERT_EQ(0,
              Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + stem + ".mp4",
                    &probe));
    // From the key picture before the start mark (picture 24) to the end of picture 90.
    EXPECT_NEAR(std::stod(probe), (91 - 24) / 30.0, 0.05) << probe;

    Choose(1);
    ASSERT_TRUE(qWaitFor([&] { return !w.ExportRunning(); }, 20000));
    EXPECT_TRUE(std::filesystem::exists(stem + ".gpx"));

    // A folder that cannot take files: the window names what was not written.
    w.SetPathAnswer([&] { return QString::fromStdString(out.path() + "/missing"); });
    Choose(2);
    ASSERT_TRUE(qWaitFor([&] { return !w.LastMessage().isEmpty(); }, 20000));
    EXPECT_THAT(w.LastMessage().toStdString(), testing::HasSubstr("missing/" + base + ".csv"));

    // A clip over a damaged stretch is kept under its incomplete name, which the message after
    // the batch names.
    const std::string source = card.path() + "/EVENT/" + name;
    ASSERT_TRUE(DamageMiddle(source, 4096, 7));
    w.SetPathAnswer([&] { return QString::fromStdString(out.path()); });
    QTest::keyClick(&w, Qt::Key_Escape);
    Choose(0);
    ASSERT_TRUE(
        qWaitFor([&] { return w.LastMessage().startsWith("These files hold only part"); }, 20000))
        << w.LastMessage().toStdString();
    EXPECT_THAT(w.LastMessage().toStdString(), testing::HasSubstr(base + ".incomplete.mp4"));
    EXPECT_TRUE(std::filesystem::exists(stem + ".incomplete.mp4"));
}

}  // namespace
}  // namespace locket::viewertest
