// locket-viewer-shots CARD_DIR OUT_DIR [--lang en|ko]: drives the real main window on a card
// through its main states, the magnifier and an export's progress window, and saves each as a
// PNG, for people to judge the look by eye.
// Run it on an X server (Xvfb will do): pictures are taken from the screen, so the map page,
// which the web engine draws on its own, and the message box appear as a person sees them.
// Elsewhere the widgets are rendered into the picture instead, without the web content.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "files/vehicle_signals.h"
#include "viewer/control_ids.h"
#include "viewer/evidence_controls.h"
#include "viewer/export_worker.h"
#include "viewer/main_window.h"
#include "viewer/progress_dlg.h"
#include "viewer/video_view.h"
#include "widgets/map_view.h"
#include "widgets/window_messages.h"

using namespace locket;

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

bool OnScreen() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

class CShooter {
public:
    explicit CShooter(QString folder) : m_folder(std::move(folder)) {}

    // The screen area of the rectangle, or the widget rendered by itself off screen.
    bool Save(const QString& name, QWidget* widget, QRect area = {}) {
        if (area.isNull())
            area = widget->frameGeometry();
        QPixmap picture;
        if (OnScreen()) {
            QScreen* screen =
                widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
            picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        } else {
            picture = widget->grab();
        }
        const QString path = m_folder + QLatin1Char('/') + name + QStringLiteral(".png");
        const bool saved = !picture.isNull() && picture.save(path);
        std::printf("%s %s (%dx%d)\n", saved ? "saved" : "FAILED", qPrintable(path),
                    picture.width(), picture.height());
        m_failed += saved ? 0 : 1;
        return saved;
    }
    void Fail(const char* what) {
        std::printf("FAILED %s\n", what);
        ++m_failed;
    }
    int Failed() const { return m_failed; }

private:
    QString m_folder;
    int m_failed = 0;
};

// A driving recording (REC) when there is one: its signal panel has the most to show.
int FindRow(CRavuraVezedaDlg& window, bool twoCameras) {
    int found = -1;
    for (int row = 0; row < window.RowCount(); ++row) {
        const QString name = window.RowName(row);
        if (name.endsWith(QStringLiteral("_D.tat")) != twoCameras)
            continue;
        if (name.startsWith(QStringLiteral("REC_")))
            return row;
        if (found < 0)
            found = row;
    }
    return found;
}

int64_t PlayedSeconds(CRavuraVezedaDlg& window) {
    return window.Player().GetCurTime() / 1000;
}

// Something on the signal panel besides the gear: a turn signal or the brake.
bool SignalLit(CRavuraVezedaDlg& window) {
    const SignalValues values = window.SensorTrack().GetSignals();
    const int turn = values[kSignalTurnSig];
    return (turn != 0 && turn != kSignalAbsent) || values[kSignalBreak] > 0;
}

// Gives the views, the graph and the map page time to show the state just entered.
void Settle(CRavuraVezedaDlg& window, int ms = 700) {
    const int before = window.FrontView()->DrawCount();
    Pump(ms);
    WaitFor([&] { return window.FrontView()->DrawCount() != before; }, 2000);
    Pump(100);
}

// A recording in the middle of a trip on the large map: the whole trip's route with this
// recording's part highlighted (offline, without tiles, on a plain background), then in mph.
void ShootTrip(CRavuraVezedaDlg& window, CShooter& shooter, const QString& suffix) {
    int row = -1;
    for (int each = 0; each < window.RowCount() && row < 0; ++each) {
        const std::string name = window.RowName(each).toStdString();
        const auto members = window.Trips().Members(window.Trips().TripOf(name));
        if (members.size() >= 3 && members.front().name != name && members.back().name != name)
            row = each;
    }
    if (row < 0) {
        std::printf("no trip of three recordings on the card\n");
        return;
    }
    window.OnListDoubleClick(row);
    WaitFor([&] { return PlayedSeconds(window) >= 2 && window.MapView()->IsPageReady(); }, 30000);
    window.OnMapEnlarge();
    Settle(window, 1000);
    shooter.Save(QStringLiteral("12-trip-map") + suffix, &window);
    window.ToggleSpeedUnit();
    Settle(window, 1200);
    shooter.Save(QStringLiteral("13-trip-map-mph") + suffix, &window);
    window.ToggleSpeedUnit();
    window.OnMapEnlarge();
    Settle(window);
}

// The magnifier over the playing front picture, the cursor in the picture's middle.
void ShootMagnifier(CRavuraVezedaDlg& window, CShooter& shooter, const QString& suffix) {
    window.OnZoom();
    CZoomDlg* zoom = window.ZoomDlg();
    WaitFor([&] { return zoom->windowHandle() && zoom->windowHandle()->isExposed(); }, 3000);
    QWidget* front = window.FrontView();
    QCursor::setPos(front->mapToGlobal(front->rect().center()));
    // A few of its 80 ms refreshes, so it shows what is under the cursor now.
    Pump(400);
    if (zoom->Unavailable())
        shooter.Fail("the magnifier could not read the screen");
    shooter.Save(QStringLiteral("09-magnifier") + suffix, &window,
                 window.frameGeometry().united(zoom->frameGeometry()));
    zoom->close();
}

// The progress window halfway through the first of the ticked recordings. The copy is slowed
// and then held on the export thread, so the picture never depends on the machine's speed.
void ShootExport(CRavuraVezedaDlg& window, CShooter& shooter, const QString& suffix,
                 const std::vector<int>& rows) {
    QTemporaryDir target;
    window.SetPathAnswer([&] { return target.path(); });
    for (int row : rows)
        window.SetRowChecked(row, true);
    std::atomic<bool> hold{false};
    std::atomic<bool> held{false};
    std::binary_semaphore release{0};
    window.ExportWorker()->SetFrameHook([&](int, int) {
        if (hold.load()) {
            held.store(true);
            release.acquire();
            hold.store(false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    window.OnFileDownload();
    CProgressDlg* progress = window.ProgressDlg();
    QProgressBar* bar = progress->FileProgress();
    WaitFor(
        [&] {
            return progress->isVisible() && progress->windowHandle() &&
                   progress->windowHandle()->isExposed() && bar->maximum() > 0 &&
                   bar->value() * 2 >= bar->maximum();
        },
        30000);
    hold.store(true);
    WaitFor([&] { return held.load() || !window.ExportRunning(); }, 5000);
    // The last progress report reaches the bars.
    Pump(300);
    if (progress->isVisible())
        shooter.Save(QStringLiteral("10-export-progress") + suffix, &window,
                     window.frameGeometry().united(progress->frameGeometry()));
    else
        shooter.Fail("the progress window did not show");
    // Once even when the copy was not held: a late hold then passes straight through.
    release.release();
    if (!WaitFor([&] { return !window.ExportRunning() && !window.ExportWorker()->IsBusy(); },
                 60000)) {
        window.StopExport();
        window.WaitExportIdle();
    }
    Pump(100);
    window.ExportWorker()->SetFrameHook(nullptr);
    for (int row : rows)
        window.SetRowChecked(row, false);
}

// An event recording paused near its knock, a clip marked around it: the tick and the band on
// the seek bar, then the picture's menu of the clip export.
void ShootEvidence(CRavuraVezedaDlg& window, CShooter& shooter, const QString& suffix) {
    int row = -1;
    for (int r = 0; r < window.RowCount() && row < 0; ++r) {
        if (window.RowName(r).startsWith(QStringLiteral("EVENT_")))
            row = r;
    }
    if (row < 0) {
        std::printf("no event recording on the card\n");
        return;
    }
    CEvidenceControls* evidence = window.Evidence();
    window.OnListDoubleClick(row);
    if (!WaitFor([&] { return !evidence->Knocks().empty(); }, 20000)) {
        shooter.Fail("no knock found in the event recording");
        return;
    }
    window.OnPause();
    WaitFor([&] { return window.Player().GetState() == CTRSMediaPlayer::kPaused; }, 3000);
    const int knock = static_cast<int>(evidence->Knocks().front());
    window.Player().SeekTo(std::max(0, knock - 3000));
    WaitFor([&] { return window.Player().GetState() == CTRSMediaPlayer::kPaused; }, 3000);
    evidence->HandleKey(Qt::Key_I, Qt::NoModifier);
    window.Player().StepFrames(150);
    evidence->HandleKey(Qt::Key_O, Qt::NoModifier);
    evidence->HandleKey(Qt::Key_BracketLeft, Qt::NoModifier);
    Settle(window, 300);
    shooter.Save(QStringLiteral("12-knock-and-clip-marks") + suffix, &window);

    QWidget* picture = window.FrontView();
    evidence->ShowMenu(window.RowName(row), picture->mapToGlobal(picture->rect().center()));
    QMenu* menu = evidence->ContextMenu();
    if (menu && WaitFor(
                    [&] {
                        return menu->isVisible() && menu->windowHandle() &&
                               menu->windowHandle()->isExposed();
                    },
                    3000)) {
        Pump(200);
        shooter.Save(QStringLiteral("13-clip-menu") + suffix, &window,
                     window.frameGeometry().united(menu->frameGeometry()));
        menu->close();
    } else {
        shooter.Fail("the clip menu did not show");
    }
    evidence->HandleKey(Qt::Key_BracketRight, Qt::NoModifier);
    evidence->HandleKey(Qt::Key_Escape, Qt::NoModifier);
}

int Usage() {
    std::fprintf(stderr, "usage: locket-viewer-shots CARD_DIR OUT_DIR [--lang en|ko]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    int langId = 0x09;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--lang") && i + 1 < argc) {
            langId = !std::strcmp(argv[++i], "ko") ? 0x12 : 0x09;
        } else {
            return Usage();
        }
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    const QString suffix = langId == 0x12 ? QStringLiteral("-ko") : QString();
    QDir().mkpath(QString::fromLocal8Bit(argv[2]));
    CShooter shooter(QString::fromLocal8Bit(argv[2]));
    if (!OnScreen())
        std::printf("not on an X server: pictures are rendered without the map page\n");

    QTemporaryDir config;
    ViewerOptions options;
    options.cardFolder = argv[1];
    options.watchVolumes = false;
    options.configFolder = config.path().toStdString();
    options.langId = langId;
    options.autoAnswer = QMessageBox::Ok;
    CRavuraVezedaDlg window(options);
    window.OnInitDialog();
    window.show();
    WaitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
    if (!WaitFor([&] { return window.RowCount() > 0; }, 10000)) {
        std::fprintf(stderr, "locket-viewer-shots: the card lists no recording\n");
        return 1;
    }
    Pump(500);
    shooter.Save(QStringLiteral("01-listing") + suffix, &window);

    const int twoRow = FindRow(window, true);
    const int oneRow = FindRow(window, false);
    if (twoRow >= 0) {
        window.OnListDoubleClick(twoRow);
        // Mid-recording, with the graph grown and, when the drive has one nearby, a turn
        // signal or the brake lit.
        const int64_t middle = std::max<int64_t>(2, window.TotalSeconds() / 2);
        WaitFor([&] { return PlayedSeconds(window) >= middle; }, 60000);
        WaitFor([&] { return SignalLit(window); }, 4000);
        Settle(window, 300);
        shooter.Save(QStringLiteral("02-playing-front-large-rear-small") + suffix, &window);

        // Back a few seconds, so every placement below shows this recording still playing.
        PostWindowMessage(&window, WM_BITMAPSLIDER_MOVED, ctl::kSeekSlider, middle / 2);
        WaitFor([&] { return PlayedSeconds(window) < middle; }, 3000);

        window.OnSwap();
        Settle(window);
        shooter.Save(QStringLiteral("03-swapped") + suffix, &window);
        window.OnSwap();

        window.OnMapTab();
        Settle(window);
        shooter.Save(QStringLiteral("04-map-tab") + suffix, &window);

        window.OnMapEnlarge();
        Settle(window);
        shooter.Save(QStringLiteral("05-map-large") + suffix, &window);
        window.OnMapEnlarge();

        window.OnFullScreen();
        // Without a window manager nobody sizes the window to the screen: do it as one would.
        QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
        WaitFor([&] { return window.geometry() == screen->geometry(); }, 1500);
        if (window.geometry() != screen->geometry()) {
            std::printf("no window manager made the window full screen: the driver sized it\n");
            window.setGeometry(screen->geometry());
        }
        Settle(window, 1000);
        shooter.Save(QStringLiteral("06-full-screen") + suffix, &window, screen->geometry());
        window.OnPreviousSize();
        Settle(window);
    } else {
        std::printf("no two-camera recording on the card\n");
    }
    if (oneRow >= 0) {
        window.OnListDoubleClick(oneRow);
        WaitFor([&] { return PlayedSeconds(window) >= 4; }, 30000);
        Settle(window);
        shooter.Save(QStringLiteral("07-one-camera") + suffix, &window);
        window.OnMapEnlarge();
        Settle(window);
        shooter.Save(QStringLiteral("08-one-camera-map-large") + suffix, &window);
        window.OnMapEnlarge();
        Settle(window);
    } else {
        std::printf("no one-camera recording on the card\n");
    }
    ShootTrip(window, shooter, suffix);
    ShootMagnifier(window, shooter, suffix);

    std::vector<int> exportRows;
    for (int row : {twoRow, oneRow}) {
        if (row >= 0)
            exportRows.push_back(row);
    }
    if (!exportRows.empty())
        ShootExport(window, shooter, suffix, exportRows);
    ShootEvidence(window, shooter, suffix);

    // The close question as the person sees it: a real box over the window, answered Yes.
    window.SetAutoAnswer(0);
    bool answered = false;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        WaitFor(
            [&] {
                box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return box && box->isVisible() && box->windowHandle() &&
                       box->windowHandle()->isExposed();
            },
            5000);
        if (!box)
            return;
        Pump(500);
        shooter.Save(QStringLiteral("11-close-question") + suffix, &window,
                     window.frameGeometry().united(box->frameGeometry()));
        answered = true;
        box->button(QMessageBox::Yes)->click();
    });
    window.OnCloseButton();
    if (!answered) {
        std::fprintf(stderr, "locket-viewer-shots: the close question did not show\n");
        return 1;
    }
    return shooter.Failed() ? 1 : 0;
}
