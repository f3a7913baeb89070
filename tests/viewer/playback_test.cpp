// Playing recordings in the main window: pictures, time, sensor overlays, the transport, the
// keys, the placement of pictures and map, still capture, full screen and the magnifier.
#include <numeric>

#include "files/vehicle_signals.h"
#include "viewer/evidence_controls.h"
#include "viewer/video_rect.h"
#include "viewer/zoom_dlg.h"
#include "viewer_test_support.h"
#include "widgets/graph_static.h"
#include "widgets/map_view.h"
#include "widgets/skin_images.h"
#include "widgets/trans_bitmap.h"
#include "widgets/window_messages.h"

namespace locket::viewertest {
namespace {

constexpr int kFps = 24;

bool ShowsBitmap(CRavuraVezedaDlg& window, int id, int bitmapId) {
    return window.ControlAs<TransBitmap>(id)->GetBitmap() == LoadSkinImage(bitmapId);
}

// The mean grey level; a 640 wide picture has no padding at the ends of its lines.
double Mean(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const uchar* bits = grey.constBits();
    return std::accumulate(bits, bits + grey.sizeInBytes(), 0.0) / grey.sizeInBytes();
}

int NewestValue(const CGraphSeries* series) {
    const int index = (series->WriteIndex() + CGraphSeries::kValues - 1) % CGraphSeries::kValues;
    return series->Value(index);
}

// The first three bytes of a file: a JPEG's start, or what was left there.
std::string Head(const std::string& path) {
    return ReadText(path).substr(0, 3);
}

class Playback : public CardWindowTest {
protected:
    void DoubleClickRow(int row) {
        auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        // An item view takes a double click only after a press on the same item.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        // QTest leaves the button held after a double click.
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_FALSE(QGuiApplication::mouseButtons() & Qt::LeftButton);
    }

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

    // The player presents pictures; its state says playing before that.
    bool Playing() { return w().Player().m_captureGate.load() == CTRSMediaPlayer::kGatePlaying; }
    bool Running() { return w().Player().GetState() == CTRSMediaPlayer::kPlaying; }
};

// Notes whether a view got its size while the player already had a recording open: its thread
// decodes at once, and a first key frame met without a size leaves the view dark for a group.
struct CSizedLate : QObject {
    CSizedLate(QWidget* view, const CTRSMediaPlayer& player) : player(player) {
        view->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        late |= event->type() == QEvent::Resize && player.GetState() == CTRSMediaPlayer::kPlaying;
        return false;
    }
    const CTRSMediaPlayer& player;
    bool late = false;
};

TEST_F(Playback, PicturesTimeSignalsGraphTransportKeysPlacementAndSignalPanel) {
    // Not the first or last row: NEXT and PRE have rows to go to.
    const int row = RowWithRear(w(), true);
    ASSERT_GE(row, 1);
    ASSERT_LT(row, w().RowCount() - 1);
    const CSizedLate frontLate(w().FrontView(), w().Player());
    const CSizedLate rearLate(w().RearView(), w().Player());
    DoubleClickRow(row);
    EXPECT_FALSE(frontLate.late);
    EXPECT_FALSE(rearLate.late);
    EXPECT_FALSE(w().Control(ctl::kPlay)->isVisible());
    EXPECT_EQ(Text(w(), ctl::kTotalTime), "00:00:03");

    // Both cameras reach their views; the front one is scaled to the window layout's large place.
    ASSERT_TRUE(
        qWaitFor([&] { return Marker(w().FrontView()) > 0 && Marker(w().RearView()) > 0; }));
    EXPECT_EQ(w().FrontView()->Picture().size(), QSize(640, 360));
    // What the view paints is the picture, not only what it holds.
    EXPECT_GT(Marker(w().FrontView()->grab().toImage().convertToFormat(QImage::Format_RGB32)), 0);

    // Time, seek bar, speed and graph move once a second.
    ASSERT_TRUE(qWaitFor([&] { return w().GraphShownSec() >= 1; }, 4000));
    EXPECT_EQ(w().CurrentRow(), row);
    const int position = w().ControlAs<CBitmapSlider>(ctl::kSeekSlider)->GetPos();
    EXPECT_GE(position, 1);
    EXPECT_EQ(Text(w(), ctl::kCurrentTime), QString::asprintf("00:00:%02d", position));
    EXPECT_EQ(w().ControlAs<CBitmapSlider>(ctl::kSeekSlider)->GetRangeMax(), 3);
    CGPSData fix;
    ASSERT_TRUE(w().SensorTrack().GetNewestGps(&fix));
    EXPECT_EQ(Text(w(), ctl::kSpeed),
              QStringLiteral("%1km/h").arg(static_cast<int>(fix.GetSpeedKmh())));
    const int seconds = w().GraphShownSec();
    EXPECT_LE(seconds, static_cast<int>(w().SensorTrack().GSensorCount()));
    // One value per shown second in each series, the first second last (at the left edge).
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(w().Series(i)->WriteIndex(), seconds) << "series " << i;
    const CGSensorData first = w().SensorTrack().GetGSensor(0, 1).at(0);
    const int height = w().Graph()->height();
    EXPECT_NEAR(NewestValue(w().Series(0)), height * (first.x + 150) / 200, 1);
    EXPECT_NEAR(NewestValue(w().Series(2)), height * (first.z + 50) / 200, 1);

    // The panel shows the recording's vehicle signals.
    const SignalValues values = w().SensorTrack().GetSignals();
    ASSERT_NE(values[kSignalSpd], kSignalAbsent);
    EXPECT_EQ(Text(w(), ctl::kSpeedValue), QString::number(values[kSignalSpd]));
    EXPECT_EQ(Text(w(), ctl::kRpmValue), QString::number(values[kSignalRpm]));

    // Brightness and mirror show at once while paused.
    Click(w(), ctl::kPause);
    ASSERT_TRUE(qWaitFor([&] { return w().Player().GetState() == CTRSMediaPlayer::kPaused; }));
    // The last picture of the player may still be on its way to the view.
    QImage front;
    ASSERT_TRUE(qWaitFor([&] {
        const QImage now = w().FrontView()->Picture();
        const bool settled = now == front;
        front = now;
        return settled;
    }));

    w().ControlAs<CBitmapSlider>(ctl::kBrightSlider)->SetPos(5);
    PostWindowMessage(&w(), WM_BITMAPSLIDER_MOVED, ctl::kBrightSlider, 5);
    ASSERT_TRUE(qWaitFor([&] { return w().FrontView()->Picture() != front; }));
    EXPECT_GT(Mean(w().FrontView()->Picture()), Mean(front) + 5);
    // Back to normal: the frame markers are read at the normal level.
    PostWindowMessage(&w(), WM_BITMAPSLIDER_MOVED, ctl::kBrightSlider, 0);

    const QImage rear = w().RearView()->Picture();
    Click(w(), ctl::kMirror);
    EXPECT_TRUE(qWaitFor([&] { return w().RearView()->Picture() == rear.mirrored(true, false); }));
    EXPECT_EQ(w().Player().GetState(), CTRSMediaPlayer::kPaused);

    // The placement of pictures and map, with two cameras and with one.
    const QRect large(4, 64, 640, 360), small(650, 278, 320, 170), hidden(650, 268, 0, 0);
    struct Step {
        void (CRavuraVezedaDlg::*action)();
        int front, rear, map;
    };
    struct Case {
        bool rear;
        std::vector<Step> steps;
    };
    using D = CRavuraVezedaDlg;
    const Case cases[] = {
        {true,
         {{&D::OnSwap, 2, 1, 0},
          {&D::OnSwap, 1, 2, 0},
          {&D::OnMapTab, 1, 0, 2},
          {&D::OnMapEnlarge, 2, 0, 1},
          {&D::OnSwap, 0, 2, 1},
          {&D::OnRearTab, 1, 2, 0},
          {&D::OnMapEnlarge, 2, 0, 1},
          {&D::OnMapEnlarge, 1, 0, 2},
          {&D::OnRearTab, 1, 2, 0},
          {&D::OnSwap, 2, 1, 0},
          {&D::OnMapEnlarge, 0, 2, 1},
          {&D::OnMapEnlarge, 0, 1, 2},
          {&D::OnMapEnlarge, 0, 2, 1},
          {&D::OnMapTab, 0, 2, 1}}},
        {false,
         {{&D::OnSwap, 1, 0, 0},
          {&D::OnMapTab, 1, 0, 0},
          {&D::OnMapEnlarge, 2, 0, 1},
          {&D::OnMapEnlarge, 1, 0, 2}}},
    };
    const auto rectOf = [&](int place, const QRect& none) {
        return place == 1 ? large : place == 2 ? small : none;
    };
    for (const Case& c : cases) {
        const int row = RowWithRear(w(), c.rear);
        ASSERT_GE(row, 0);
        DoubleClickRow(row);
        ASSERT_TRUE(qWaitFor([&] { return Playing(); }));
        EXPECT_EQ(w().RearPlace(), c.rear ? 2 : 0);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE(testing::Message()
                         << (c.rear ? "two cameras" : "one camera") << ", step " << i);
            (w().*step.action)();
            EXPECT_EQ(w().FrontPlace(), step.front);
            EXPECT_EQ(w().RearPlace(), step.rear);
            EXPECT_EQ(w().MapPlace(), step.map);
            for (const auto& [view, place] :
                 {std::pair{w().FrontView(), step.front}, {w().RearView(), step.rear}}) {
                EXPECT_EQ(view->isVisible(), place != 0);
                if (place) {
                    EXPECT_EQ(view->geometry(), rectOf(place, large));
                }
            }
            EXPECT_EQ(w().MapView()->geometry(), rectOf(step.map, hidden));
        }
        Click(w(), ctl::kStop);
        EXPECT_FALSE(w().MapView()->isVisible()) << "STOP leaves no map over the video area";
    }

    // The signal panel's pictures, set while nothing plays.
    struct Panel {
        const char* text;
        int accel, brake, left, right, gear;
    };
    const Panel panels[] = {
        {"spd=0;Accel=1;GearPos=4", 530, 535, 536, 534, 527},
        {"spd=40;Accel=1;GearPos=4;TurnSig=2", 529, 535, 531, 532, 527},
        {"spd=40;Accel=1;Break=1;TurnSig=-1;GearPos=2", 530, 533, 531, 534, 523},
        {"spd=40;Accel=1;GearPos=3;TurnSig=1", 530, 535, 536, 532, 526},
        {"spd=30;Accel=2", 529, 535, 536, 534, 528},
    };
    for (const Panel& c : panels) {
        SCOPED_TRACE(c.text);
        ShowSignals(w(), std::string("B") + c.text);
        EXPECT_TRUE(ShowsBitmap(w(), ctl::kAccel, c.accel));
        EXPECT_TRUE(ShowsBitmap(w(), ctl::kBrake, c.brake));
        EXPECT_TRUE(ShowsBitmap(w(), ctl::kTurnLeft, c.left));
        EXPECT_TRUE(ShowsBitmap(w(), ctl::kTurnRight, c.right));
        EXPECT_TRUE(ShowsBitmap(w(), ctl::kGear, c.gear));
    }
    EXPECT_EQ(Text(w(), ctl::kSpeedValue), "30");
    EXPECT_EQ(Text(w(), ctl::kRpmValue), "0");
    // STOP puts every lit signal out.
    ShowSignals(w(), "Bspd=40;Accel=1;Break=1;TurnSig=2;GearPos=2");
    ASSERT_TRUE(ShowsBitmap(w(), ctl::kTurnRight, 532));
    Click(w(), ctl::kStop);
    for (const auto& [id, off] : {std::pair{ctl::kAccel, 530},
                                  {ctl::kBrake, 535},
                                  {ctl::kTurnLeft, 536},
                                  {ctl::kTurnRight, 534},
                                  {ctl::kGear, 528}})
        EXPECT_TRUE(ShowsBitmap(w(), id, off)) << id;

    // The tick leaves the seek bar alone only while the bar itself is held; a button the
    // application still thinks is down (its release went elsewhere) must not freeze the clock.
    auto* seek = w().ControlAs<CBitmapSlider>(ctl::kSeekSlider);
    auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
    DoubleClickRow(row);
    const QPoint thumb(seek->PixelFromPos(0), seek->height() / 2);
    QTest::mousePress(seek, Qt::LeftButton, {}, thumb);
    ASSERT_TRUE(seek->IsDragging());
    ASSERT_TRUE(qWaitFor([&] { return w().Player().GetCurTime() >= 2000; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(seek->GetPos(), 0);
    QTest::mouseRelease(seek, Qt::LeftButton, {}, thumb);

    // A double click whose last release never reaches the application.
    const int oneCamera = RowWithRear(w(), false);
    const QPoint at = list->visualItemRect(list->topLevelItem(oneCamera)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(QGuiApplication::mouseButtons() & Qt::LeftButton);
    ASSERT_EQ(w().CurrentRow(), oneCamera);
    EXPECT_TRUE(qWaitFor([&] { return Text(w(), ctl::kCurrentTime) != "00:00:00"; }, 4000));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);

    // The transport, the seek bar and the keys.
    DoubleClickRow(row);
    ASSERT_TRUE(qWaitFor([&] { return Playing(); }));
    Click(w(), ctl::kPause);
    EXPECT_TRUE(w().Control(ctl::kPlay)->isVisible());

    // Releasing the seek bar at p shows the picture of p + 1 s. The view may still hold the
    // last recording's picture, which can bear the same number: the seek must have been made
    // and its step ended before the picture tells anything.
    PostWindowMessage(&w(), WM_BITMAPSLIDER_MOVED, ctl::kSeekSlider, 0);
    QCoreApplication::sendPostedEvents(&w());
    ASSERT_TRUE(qWaitFor([&] {
        return w().Player().GetState() == CTRSMediaPlayer::kPaused &&
               w().Player().GetShownPicture() == kFps && Marker(w().FrontView()) == kFps;
    }));
    // Jumps: back within the first 10 s and forward within the last 10 s do nothing (a seek
    // while paused would move the time at once).
    const int before = w().Player().GetCurTime();
    Click(w(), ctl::kBack10);
    Click(w(), ctl::kForward10);
    EXPECT_EQ(w().Player().GetCurTime(), before);

    // Space plays and pauses again.
    QTest::keyClick(&w(), Qt::Key_Space);
    EXPECT_TRUE(w().Control(ctl::kPause)->isVisible());
    QTest::keyClick(&w(), Qt::Key_Space);
    EXPECT_TRUE(w().Control(ctl::kPlay)->isVisible());

    // Volume keys away from the list; down to 0 mutes.
    QCursor::setPos(w().mapToGlobal(QPoint(10, 10)));
    auto* volume = w().ControlAs<CBitmapSlider>(ctl::kVolumeSlider);
    volume->SetPos(7);
    QTest::keyClick(&w(), Qt::Key_Up);
    EXPECT_EQ(volume->GetPos(), 12);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&w(), Qt::Key_Down);
    EXPECT_EQ(volume->GetPos(), 0);
    EXPECT_EQ(w().WaveBox().GetVolume(), 0);

    // PageUp is NEXT (newer), PageDown is PRE (older).
    QTest::keyClick(&w(), Qt::Key_PageUp);
    EXPECT_EQ(w().CurrentRow(), row - 1);
    QTest::keyClick(&w(), Qt::Key_PageDown);
    EXPECT_EQ(w().CurrentRow(), row);

    // A refill by the card poll or a category keeps the open recording's row.
    const QString open = w().RowName(row);
    Click(w(), ctl::kCatAll);
    EXPECT_EQ(w().RowName(w().CurrentRow()), open);

    // STOP: closed, labels reset, graph back at its baseline.
    Click(w(), ctl::kStop);
    EXPECT_EQ(Text(w(), ctl::kTotalTime), "00:00:00");
    EXPECT_FALSE(w().FrontView()->isVisible());
    EXPECT_GT(NewestValue(w().Series(0)), NewestValue(w().Series(1)));
    EXPECT_GT(NewestValue(w().Series(1)), NewestValue(w().Series(2)));
    EXPECT_GT(NewestValue(w().Series(2)), 0);

    // PLAY on the last row keeps its index.
    const int last = w().RowCount() - 1;
    list->setCurrentItem(list->topLevelItem(last));
    Click(w(), ctl::kPlay);
    EXPECT_EQ(w().CurrentRow(), last);
    // PRE past the last row stops.
    Click(w(), ctl::kPre);
    EXPECT_EQ(w().CurrentRow(), -1);
}

TEST_F(Playback, CaptureJpegsMagnifierAndFullScreenWithTheMapLarge) {
    TempDir dir;
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
        EXPECT_TRUE(Running());

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
    EXPECT_TRUE(Running());
    EXPECT_TRUE(w().Control(ctl::kPause)->isVisible());

    // After a seek while paused: stays paused.
    Click(w(), ctl::kPause);
    w().Player().SeekTo(1000);
    ASSERT_TRUE(qWaitFor(
        [&] { return w().Player().m_captureGate.load() == CTRSMediaPlayer::kGateStepped; }));
    Click(w(), ctl::kCapture);
    EXPECT_FALSE(Running());

    // Closed while the dialog was up: nothing plays.
    Click(w(), ctl::kPlay);
    ASSERT_TRUE(qWaitFor([&] { return Running() && Playing(); }));
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
    ASSERT_TRUE(qWaitFor([&] { return !Running(); }));
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
