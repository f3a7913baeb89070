// Still capture, full screen and the magnifier in the main window.
#include "viewer/evidence_controls.h"
#include "viewer/video_rect.h"
#include "viewer/zoom_dlg.h"
#include "viewer_test_support.h"

namespace locket::viewertest {
namespace {

// The first three bytes of a file: a JPEG's start, or what was left there.
std::string Head(const std::string& path) {
    return ReadText(path).substr(0, 3);
}

class Modes : public CardWindowTest {
protected:
    // Opens the first listed recording with (or without) the rear camera; waits for decoded
    // pictures.
    void Open(bool rear) {
        w().OnListDoubleClick(RowWithRear(w(), rear));
        // Counted from here, once this recording presents: a picture of the one just closed
        // may still have been on its way, and the new one decodes nothing for its preroll.
        const int front = w().FrontView()->DrawCount();
        const int back = w().RearView()->DrawCount();
        ASSERT_TRUE(qWaitFor([&] {
            return w().Player().GetShownPicture() >= 0 && w().FrontView()->DrawCount() > front &&
                   Marker(w().FrontView()) > 0 &&
                   (!rear || (w().RearView()->DrawCount() > back && Marker(w().RearView()) > 0));
        }));
    }

    bool Playing() { return w().Player().GetState() == CTRSMediaPlayer::kPlaying; }

    TempDir dir;
};

TEST_F(Modes, CaptureJpegsMagnifierAndFullScreenWithTheMapLarge) {
    struct Case {
        bool rear;
        const char* typed;
        const char* base;
    };
    const Case cases[] = {
        {true, "shot.jpeg", "shot"},  // the whole extension goes, not four characters
        {false, "one.a", "one"},
    };
    const auto Capture = [&](const std::string& typed) {
        w().SetPathAnswer([&] { return QString::fromStdString(typed); });
        Click(w(), ctl::kCapture);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Open(c.rear);
        const std::string typed = dir.path() + "/" + c.typed;
        const std::string front = dir.path() + "/" + c.base + "_front.jpg";
        const std::string rear = dir.path() + "/" + c.base + "_rear.jpg";
        Capture(typed);
        EXPECT_EQ(Head(front), "\xFF\xD8\xFF");
        EXPECT_EQ(Head(rear), c.rear ? "\xFF\xD8\xFF" : "");
        EXPECT_FALSE(std::filesystem::exists(typed));
        EXPECT_TRUE(Playing());

        // Both files exist: the question names them, and No leaves them as they are.
        std::ofstream(front) << "old";
        w().SetAutoAnswer(QMessageBox::No);
        Capture(typed);
        EXPECT_TRUE(w().LastMessage().contains(QString::fromStdString(front)));
        EXPECT_EQ(w().LastMessage().contains(QString::fromStdString(rear)), c.rear);
        EXPECT_EQ(Head(front), "old");
        w().SetAutoAnswer(QMessageBox::Yes);
        Capture(typed);
        EXPECT_EQ(Head(front), "\xFF\xD8\xFF");
        w().SetAutoAnswer(QMessageBox::Ok);
        std::filesystem::remove(front);
        std::filesystem::remove(rear);

        // A folder that cannot take the files: the message names each file not written.
        const std::string missing = dir.path() + "/gone/" + c.base;
        Capture(dir.path() + "/gone/" + c.typed);
        EXPECT_TRUE(w().LastMessage().contains(QString::fromStdString(missing + "_front.jpg")));
        EXPECT_EQ(w().LastMessage().contains(QString::fromStdString(missing + "_rear.jpg")),
                  c.rear);
    }

    // Capture resumes only a playing recording that is still open.
    const std::string typed = dir.path() + "/shot";
    Open(true);
    // After the Pause button: plays again.
    Click(w(), ctl::kPause);
    w().SetPathAnswer([&] { return QString(); });
    Click(w(), ctl::kCapture);
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(w().Control(ctl::kPause)->isVisible());

    // After a seek while paused: stays paused.
    Click(w(), ctl::kPause);
    w().Player().SeekTo(1000);
    ASSERT_TRUE(qWaitFor(
        [&] { return w().Player().m_captureGate.load() == CTRSMediaPlayer::kGateStepped; }));
    Click(w(), ctl::kCapture);
    EXPECT_FALSE(Playing());

    // Closed while the dialog was up: nothing plays.
    Click(w(), ctl::kPlay);
    ASSERT_TRUE(qWaitFor([&] {
        return Playing() && w().Player().m_captureGate.load() == CTRSMediaPlayer::kGatePlaying;
    }));
    w().SetPathAnswer([&] {
        w().OnStop();
        return QString::fromStdString(typed);
    });
    Click(w(), ctl::kCapture);
    EXPECT_TRUE(w().Control(ctl::kPlay)->isVisible());
    EXPECT_FALSE(std::filesystem::exists(typed + "_front.jpg"));
    EXPECT_TRUE(w().LastMessage().contains(QString::fromStdString(typed + "_front.jpg")));

    // The magnifier is replaced by its button and ends when closed.
    Click(w(), ctl::kZoom);
    QPointer<CZoomDlg> first = w().ZoomDlg();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSize(425, 330));
    EXPECT_TRUE(first->IsTimerRunning());
    // Either a picture of half the client, or the message where the screen cannot be read.
    const bool read = first->Magnify();
    EXPECT_EQ(read, !first->Unavailable());
    if (read) {
        EXPECT_EQ(first->Source().size(), QSize(212, 165));
    }
    Click(w(), ctl::kZoom);
    EXPECT_TRUE(first.isNull());
    QPointer<CZoomDlg> second = w().ZoomDlg();
    ASSERT_TRUE(second);
    QTest::keyClick(second, Qt::Key_Escape);
    ASSERT_TRUE(qWaitFor([&] { return second.isNull(); }));
    Click(w(), ctl::kZoom);
    ASSERT_NE(w().ZoomDlg(), nullptr);
    QTest::keyClick(w().ZoomDlg(), Qt::Key_Escape);

    // The five category buttons side by side in the window layout, none in full screen.
    const int categories[] = {ctl::kCatDriving, ctl::kCatEvent, ctl::kCatParking, ctl::kCatManual,
                              ctl::kCatAll};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(w().Control(categories[i])->isVisible()) << i;
        EXPECT_EQ(w().Control(categories[i])->geometry(), QRect(648 + 65 * i, 39, 65, 24)) << i;
    }
    Open(true);
    // Paused, no new signal record comes to put back values a layout switch would clear.
    ASSERT_TRUE(qWaitFor([&] { return w().Control(ctl::kMapTab)->isEnabled(); }));
    Click(w(), ctl::kPause);
    ASSERT_TRUE(qWaitFor([&] { return !Playing(); }));
    ShowSignals(w(), "Brpm=1234");
    const QString rpm = "1234";
    w().OnMapEnlarge();
    ASSERT_EQ(w().MapPlace(), 1);
    Click(w(), ctl::kFullScreen);
    ASSERT_TRUE(qWaitFor([&] { return w().isFullScreen(); }));
    EXPECT_EQ(Text(w(), ctl::kRpmValue), rpm);
    EXPECT_EQ(w().LayoutMode(), 2);
    EXPECT_NE(w().MapPlace(), 1);
    EXPECT_TRUE(w().FrontPlace() == 1 || w().RearPlace() == 1);
    CVideoView* large = w().FrontPlace() == 1 ? w().FrontView() : w().RearView();
    const auto video = VideoRectForClient(w().width(), w().height());
    EXPECT_EQ(large->geometry(), QRect(video[0], video[1], video[2], video[3]));
    for (int id : {ctl::kBarTop, ctl::kBarMiddle, ctl::kBarBottom, ctl::kPreviousSize})
        EXPECT_TRUE(w().Control(id)->isVisible()) << id;
    EXPECT_EQ(w().Control(ctl::kBarBottom)->geometry(),
              QRect(0, w().height() - 45, w().width(), 45));
    EXPECT_EQ(w().Control(ctl::kClose)->pos(), QPoint(w().width() - 44, 8));
    for (int id : {ctl::kList, ctl::kFullScreen, ctl::kZoom, ctl::kCapture, ctl::kGraph})
        EXPECT_FALSE(w().Control(id)->isVisible()) << id;
    for (int id : categories)
        EXPECT_FALSE(w().Control(id)->isVisible()) << id;
    // The speed readout follows the total time to its place.
    const QRect total = w().Control(ctl::kTotalTime)->geometry();
    EXPECT_EQ(w().Evidence()->SpeedLabel()->pos(), QPoint(total.right() + 3, total.y()));

    QTest::keyClick(w().Control(ctl::kSeekSlider), Qt::Key_Return);
    ASSERT_TRUE(qWaitFor([&] { return !w().isFullScreen(); }));
    EXPECT_EQ(w().LayoutMode(), 1);
    EXPECT_EQ(w().size(), QSize(975, 712));
    EXPECT_TRUE(w().Control(ctl::kList)->isVisible());
    EXPECT_FALSE(w().Control(ctl::kBarTop)->isVisible());
    EXPECT_EQ(w().Control(ctl::kClose)->geometry(), QRect(948, 5, 25, 25));
    EXPECT_EQ(w().Control(ctl::kGraph)->geometry(), QRect(29, 595, 760, 104));
    EXPECT_TRUE(w().Control(ctl::kCatManual)->isVisible());
    EXPECT_EQ(Text(w(), ctl::kRpmValue), rpm);
    for (int id : {ctl::kMapTab, ctl::kRearTab, ctl::kMapEnlarge})
        EXPECT_TRUE(w().Control(id)->isEnabled()) << id;

    // The manual button lists the manual recordings.
    Click(w(), ctl::kCatManual);
    EXPECT_EQ(w().CategoryShown(), 3);
    ASSERT_GT(w().RowCount(), 0);
    for (int row = 0; row < w().RowCount(); ++row)
        EXPECT_TRUE(w().RowName(row).contains("MANUAL_")) << w().RowName(row).toStdString();
}

}  // namespace
}  // namespace locket::viewertest
