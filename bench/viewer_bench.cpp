// Prints figures for the viewer's main window; nothing here passes or fails.
//   viewer_bench [seconds]   (length of the two-camera recording played, default 20)
// 1. CPU per second of real-time playback of a two-camera recording (front 1920x1080, rear
//    1280x720, 30 fps) in the real window, against bare libavcodec + libswscale decoding and
//    scaling the same packets to the same view sizes in the same run.
// 2. Start-up: from the start of a fresh process (this program again, which links what
//    locket-viewer links) to the window painted, and to the list painted with its rows.
// 3. Paused seek-bar release to the front picture drawn, at 1080p.
// 4. Wake-ups per second of the whole process (context switches of all its threads) with the
//    window idle on its list and paused on a recording.
// 5. The longest stall of the GUI thread while the recording plays and the pictures swap
//    places every second.
// All of it runs on the platform Qt is given (offscreen unless set), then once more in a child
// under a real X server (xcb; an Xvfb is started when no display is there), and a table of both
// closes the output. --no-xcb leaves the second run out; --stall-only measures only 5.
// The recording is made at bench time by the recorder tool's library.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "playback_reference.h"
#include "tat/tat_library.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"
#include "viewer/control_ids.h"
#include "viewer/main_window.h"
#include "viewer/video_view.h"
#include "widgets/map_view.h"
#include "widgets/window_messages.h"

extern char** environ;

namespace locket {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kRecording = "REC_20240301_083000_D.tat";

// Steady-clock nanoseconds: the same clock (CLOCK_MONOTONIC) in every process of the machine,
// so a child's moments compare with the parent's.
long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double Ms(long long ns) {
    return static_cast<double>(ns) / 1e6;
}

// The figures of one run, for the closing table; negative when not measured.
struct Figures {
    double viewer = -1, bare = -1, idle = -1, paused = -1, idleWakes = -1, pausedWakes = -1,
           startup = -1, stall = -1, seek = -1, lockWait = -1, gui = -1, barePaced = -1,
           lifelikeViewer = -1, lifelikeBare = -1, lifelikePaced = -1;
};

// CPU seconds of the GUI thread (the one whose id is the process's) so far.
double GuiThreadCpuSeconds() {
    const std::string path = "/proc/self/task/" + std::to_string(getpid()) + "/stat";
    std::ifstream file(path);
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces; utime and stime are the 12th and 13th fields
    // after it.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12)
            utime = std::atoll(field.c_str());
        else if (i == 13)
            stime = std::atoll(field.c_str());
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Voluntary and involuntary context switches of every thread of this process so far: each
// one is a thread that went to sleep or was put off the processor.
long long ContextSwitches() {
    long long total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::atoll(line.c_str() + line.find(':') + 1);
        }
    }
    closedir(tasks);
    return total;
}

// Runs the event loop, as the viewer's own exec() would, until `done` holds (checked every
// `checkMs`) or the time is up. Never a spinning loop: its wake-ups would count as the
// window's CPU.
bool WaitFor(const std::function<bool()>& done, int timeoutMs, int checkMs = 20) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(checkMs);
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Runs the event loop for `ms` with no timer of its own but the one that ends it, so the
// wake-ups counted meanwhile are the window's.
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void PrepareQt() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

ViewerOptions WindowOptions(const std::string& card, const QTemporaryDir& config) {
    ViewerOptions options;
    options.cardFolder = card;
    options.watchVolumes = false;
    options.configFolder = config.path().toStdString();
    options.langId = 0x09;
    options.autoAnswer = QMessageBox::Ok;
    return options;
}

bool MakeCard(const std::string& card, int seconds) {
    const std::string length = std::to_string(seconds);
    const char* args[] = {"locket-record", card.c_str(),  "--seconds", length.c_str(), "--size",
                          "1920x1080",     "--rear-size", "1280x720",  "--fps",        "30",
                          "--one",         kRecording,    "--min-kib", "520",          "--quiet"};
    RecordOptions options;
    std::string error;
    if (!ParseRecordOptions(static_cast<int>(std::size(args)), args, &options, &error) ||
        WriteCard(options, &error) != 0) {
        std::fprintf(stderr, "card: %s\n", error.c_str());
        return false;
    }
    return true;
}

// The recorder's own pictures are plain and cheap to decode, so fixed costs per picture weigh
// more in them than in a road filmed through a windscreen. This card holds one front-camera
// recording of ffmpeg's busy test pattern at 1920x1080, encoded as a recorder would (a key frame
// every 24 pictures, no B-frames) and imported by the recorder tool.
constexpr const char* kLifelikeRecording = "REC_20240301_083000_F.tat";

bool MakeLifelikeCard(const std::string& card, int seconds) {
    const std::string footage = card + ".h264";
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -t " +
        std::to_string(seconds) + " -c:v libx264 -g 24 -bf 0 -pix_fmt yuv420p '" + footage + "'";
    if (std::system(command.c_str()) != 0)
        return false;
    const char* args[] = {"locket-record",    card.c_str(), "--import", footage.c_str(), "--one",
                          kLifelikeRecording, "--min-kib",  "520",      "--quiet"};
    RecordOptions options;
    std::string error;
    const bool ok = ParseRecordOptions(static_cast<int>(std::size(args)), args, &options, &error) &&
                    WriteCard(options, &error) == 0;
    std::remove(footage.c_str());
    if (!ok)
        std::fprintf(stderr, "lifelike card: %s\n", error.c_str());
    return ok;
}

// The front and rear video packets of the recording, in file order.
bool ReadVideoPackets(const std::string& card, std::vector<std::vector<uint8_t>>* front,
                      std::vector<std::vector<uint8_t>>* rear, const char* recording = kRecording) {
    TatHandle tat = TatCreate();
    TatSetMountsFile(tat, "");
    bool ok = TatRegisterCardFolder(tat, card.c_str()) != 0;
    const int64_t position = ok ? TatLocate(tat, -1, recording) : -1;
    ok = position >= 0 && TatStartStream(tat, -1, 0, position);
    std::vector<uint8_t> buffer(8 << 20);
    while (ok) {
        uint8_t stream = 0xFF, kind = 0xFF, flag = 0;
        uint32_t size = static_cast<uint32_t>(buffer.size());
        int32_t extra = 0;
        if (TatReadPacket(tat, &stream, &kind, &flag, &size, buffer.data(), &extra) != kTatPacket)
            break;
        if (kind == kTatKindGroupStart || kind == kTatKindVideo)
            (stream == 0 ? front : rear)->emplace_back(buffer.begin(), buffer.begin() + size);
    }
    TatDestroy(tat);
    return ok && !front->empty();
}

// --- 1. CPU per second of playback

double BareCpu(const std::vector<std::vector<uint8_t>>& front,
               const std::vector<std::vector<uint8_t>>& rear) {
    const double cpu0 = ProcessCpuSeconds();
    BareDecodeAndScale(front, 640, 360);
    BareDecodeAndScale(rear, 320, 170);
    return ProcessCpuSeconds() - cpu0;
}

// The same work at the pace of playback, CPU per second: what of the window's excess is only
// that.
double BarePacedCpu(const std::vector<std::vector<uint8_t>>& front,
                    const std::vector<std::vector<uint8_t>>& rear) {
    const double cpu0 = ProcessCpuSeconds();
    const long long start = NowNs();
    BarePacedDecodeAndScale(front, 640, 360, rear, 320, 170, 30);
    return (ProcessCpuSeconds() - cpu0) / (Ms(NowNs() - start) / 1000);
}

// The window shown with the card's list and settled, as a person would find it.
bool ShowWithList(CRavuraVezedaDlg& window) {
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() > 0; }, 10000))
        return false;
    Pump(500);
    return true;
}

struct Played {
    double viewer = 0, gui = 0, wall = 0;
    int shownFront = 0, shownRear = 0;
};

// Plays the list's first recording to its end in real time; CPU of the whole process and of
// the GUI thread per second of it.
Played PlayToEnd(CRavuraVezedaDlg& window, double content) {
    const int frontDraws = window.FrontView()->DrawCount();
    const int rearDraws = window.RearView()->DrawCount();
    const double cpu0 = ProcessCpuSeconds();
    const double gui0 = GuiThreadCpuSeconds();
    const long long start = NowNs();
    window.OnListDoubleClick(0);
    // The end opens the next newer recording; there is none, so the window stops.
    WaitFor([&] { return window.CurrentRow() == -1; }, static_cast<int>(content * 3000) + 10000);
    Played played;
    played.wall = Ms(NowNs() - start) / 1000.0;
    played.viewer = (ProcessCpuSeconds() - cpu0) / played.wall;
    played.gui = (GuiThreadCpuSeconds() - gui0) / played.wall;
    played.shownFront = window.FrontView()->DrawCount() - frontDraws;
    played.shownRear = window.RearView()->DrawCount() - rearDraws;
    return played;
}

void PlaybackCpu(const std::string& card, const std::vector<std::vector<uint8_t>>& front,
                 const std::vector<std::vector<uint8_t>>& rear, Figures* figures) {
    const double content = static_cast<double>(front.size()) / 30.0;
    // The bare runs bracket the window's: a machine that gets busier or quieter meanwhile
    // shows as two different figures.
    const double bareBefore = BareCpu(front, rear) / content;

    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    if (!ShowWithList(window)) {
        std::printf("playback: the card lists nothing\n");
        return;
    }
    // What the window costs without pictures: shown with its list, and the recording open
    // but paused (threads alive, nothing decoded).
    double wakes = 0;
    const auto cpuPerSecond = [&wakes](int ms) {
        const double cpu0 = ProcessCpuSeconds();
        const long long switches0 = ContextSwitches();
        Pump(ms);
        wakes = static_cast<double>(ContextSwitches() - switches0) * 1000.0 / ms;
        return (ProcessCpuSeconds() - cpu0) * 1000.0 / ms;
    };
    const double idle = cpuPerSecond(3000);
    const double idleWakes = wakes;
    window.OnListDoubleClick(0);
    // The window takes a pause only once the recording plays.
    WaitFor([&] { return window.Player().m_captureGate.load() == CTRSMediaPlayer::kGatePlaying; },
            5000);
    window.OnPause();
    Pump(500);
    const double paused = cpuPerSecond(3000);
    const double pausedWakes = wakes;
    window.OnStop();
    Pump(500);

    const Played played = PlayToEnd(window, content);
    const double viewer = played.viewer, gui = played.gui, wall = played.wall;
    const int shownFront = played.shownFront, shownRear = played.shownRear;

    const double bareAfter = BareCpu(front, rear) / content;
    const double bare = (bareBefore + bareAfter) / 2;
    const double barePaced = BarePacedCpu(front, rear);
    std::printf(
        "real-time playback in the window, front 1920x1080 + rear 1280x720 at 30 fps, views "
        "640x360 and 320x170:\n");
    std::printf("  %.1f s of recording played in %.2f s, %d front and %d rear pictures drawn\n",
                content, wall, shownFront, shownRear);
    std::printf(
        "  viewer        %.3f CPU s per s of playback (whole process), of which the GUI thread"
        " %.3f\n",
        viewer, gui);
    std::printf("  bare libav    %.3f CPU s per s of recording (%.3f before, %.3f after)\n", bare,
                bareBefore, bareAfter);
    std::printf("  ratio viewer/bare %.3f (aim <= 1.3)\n", viewer / bare);
    std::printf(
        "  bare paced    %.3f CPU s per s, both streams in turn at 30 fps (viewer/paced %.3f)\n",
        barePaced, viewer / barePaced);
    std::printf(
        "  the window alone: %.3f CPU s per s idle with its list, %.3f paused on the"
        " recording\n",
        idle, paused);
    std::printf("  wake-ups of the whole process: %.0f per s idle with its list, %.0f paused\n",
                idleWakes, pausedWakes);
    *figures =
        Figures{viewer, bare, idle, paused, idleWakes, pausedWakes, -1, -1, -1, -1, gui, barePaced};
}

// The same comparison on the lifelike card: one 1920x1080 front camera into its 640x360 view.
void LifelikeCpu(const std::string& card, Figures* figures) {
    std::vector<std::vector<uint8_t>> front, rear;
    if (!ReadVideoPackets(card, &front, &rear, kLifelikeRecording))
        return;
    const double content = static_cast<double>(front.size()) / 30.0;
    const double bareBefore = BareCpu(front, rear) / content;
    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    if (!ShowWithList(window))
        return;
    const Played played = PlayToEnd(window, content);
    const double bare = (bareBefore + BareCpu(front, rear) / content) / 2;
    const double paced = BarePacedCpu(front, rear);
    std::printf(
        "lifelike footage (ffmpeg's testsrc2 at 1920x1080, x264, imported), front camera only:\n"
        "  %.1f s played in %.2f s, %d pictures drawn\n"
        "  viewer %.3f CPU s per s, bare %.3f flat out, %.3f paced: ratios %.2f and %.2f\n",
        content, played.wall, played.shownFront, played.viewer, bare, paced, played.viewer / bare,
        played.viewer / paced);
    figures->lifelikeViewer = played.viewer;
    figures->lifelikeBare = bare;
    figures->lifelikePaced = paced;
}

// --- 5. GUI stall while playing with a swap every second

void GuiStall(const std::string& card, Figures* figures) {
    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() > 0; }, 10000))
        return;
    window.OnListDoubleClick(0);
    WaitFor([&] { return window.Player().GetCurTime() >= 500; }, 10000);
    // A precise 5 ms tick on the GUI thread: the longest gap between two ticks, less the
    // period, is the longest time the thread could not run its events.
    constexpr int kTickMs = 5;
    long long last = NowNs();
    long long longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const long long now = NowNs();
        longest = std::max(longest, now - last);
        last = now;
    });
    long long longestSwap = 0;
    int swaps = 0;
    QTimer swap;
    QObject::connect(&swap, &QTimer::timeout, [&] {
        const long long start = NowNs();
        window.OnSwap();
        longestSwap = std::max(longestSwap, NowNs() - start);
        ++swaps;
    });
    // What of a stall is the player's lock: how long the GUI thread waits for it, probed as a
    // user-interface call would take it.
    long long longestLock = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const long long start = NowNs();
        CSyncLock lock(window.Player().m_lock);
        longestLock = std::max(longestLock, NowNs() - start);
    });
    tick.start(kTickMs);
    swap.start(1000);
    probe.start(97);
    last = NowNs();
    WaitFor([&] { return window.CurrentRow() == -1 || swaps >= 10; }, 15000, 100);
    tick.stop();
    swap.stop();
    probe.stop();
    window.OnStop();
    const double stall = std::max(0.0, Ms(longest) - kTickMs);
    std::printf(
        "GUI thread while playing, the pictures swapped every second (%d swaps):\n"
        "  longest stall %.1f ms (aim < 50 ms), longest swap call %.1f ms, longest wait for the"
        " player's lock %.1f ms\n",
        swaps, stall, Ms(longestSwap), Ms(longestLock));
    figures->stall = stall;
    figures->lockWait = Ms(longestLock);
}

// --- 3. Seek-bar release to picture

// The moment the first paint event reaches the view with a picture newer than the one it
// had when armed.
class CPaintStamp : public QObject {
public:
    explicit CPaintStamp(CVideoView* view) : m_view(view) { view->installEventFilter(this); }
    void Arm() {
        m_before = m_view->DrawCount();
        m_at = 0;
    }
    long long At() const { return m_at; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_at && m_view->DrawCount() != m_before)
            m_at = NowNs();
        return false;
    }

private:
    CVideoView* m_view;
    int m_before = 0;
    long long m_at = 0;
};

void SeekLatency(const std::string& card, Figures* figures) {
    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() > 0; }, 10000))
        return;
    window.OnListDoubleClick(0);
    WaitFor([&] { return window.Player().GetCurTime() >= 1000; }, 10000);
    window.OnPause();
    WaitFor([&] { return window.Player().GetState() == CTRSMediaPlayer::kPaused; }, 2000);
    Pump(300);

    const int seconds = static_cast<int>(std::max<int64_t>(3, window.TotalSeconds()));
    CVideoView* view = window.FrontView();
    CPaintStamp paint(view);
    std::vector<double> drawn;
    std::vector<double> painted;
    for (int i = 0; i < 11; ++i) {
        // Spread over the recording, forwards and backwards.
        const int position = (i * 7 + 3) % (seconds - 1);
        const int before = view->DrawCount();
        paint.Arm();
        long long drawnAt = 0;
        const long long start = NowNs();
        PostWindowMessage(&window, WM_BITMAPSLIDER_MOVED, ctl::kSeekSlider, position);
        WaitFor(
            [&] {
                if (!drawnAt && view->DrawCount() != before)
                    drawnAt = NowNs();
                return drawnAt != 0 && paint.At() != 0;
            },
            5000, 1);
        if (!drawnAt || !paint.At()) {
            std::printf("  seek to %d s: no picture\n", position + 1);
            continue;
        }
        drawn.push_back(Ms(drawnAt - start));
        painted.push_back(Ms(paint.At() - start));
        Pump(150);
    }
    if (drawn.empty())
        return;
    std::sort(drawn.begin(), drawn.end());
    std::sort(painted.begin(), painted.end());
    std::printf(
        "paused seek-bar release (message 0x28D2 for 1002) to the front picture, 1920x1080"
        " into 640x360, %zu seeks:\n",
        drawn.size());
    std::printf("  handed to the view:    median %6.1f ms, worst %6.1f ms (aim < 150 ms)\n",
                drawn[drawn.size() / 2], drawn.back());
    std::printf("  view's paint reached:  median %6.1f ms, worst %6.1f ms\n",
                painted[painted.size() / 2], painted.back());
    figures->seek = painted[painted.size() / 2];
}

// --- 2. Start-up, measured in a child process

// Moments of one start-up, in steady-clock nanoseconds.
struct StartMoments {
    long long main = 0, application = 0, constructed = 0, initialised = 0, windowPainted = 0,
              listFilled = 0, listPainted = 0;
};

// Notes the first paint of the window and the first paint of the list with rows; the moment
// is taken when the event loop is back, so the paint pass it belongs to is complete.
class CPaintWatch : public QObject {
public:
    CPaintWatch(CRavuraVezedaDlg* window, StartMoments* moments)
        : m_window(window), m_moments(moments) {
        window->installEventFilter(this);
        auto* list = qobject_cast<QAbstractItemView*>(window->Control(ctl::kList));
        m_viewport = list->viewport();
        m_viewport->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        if (watched == m_window && !m_windowPaint) {
            m_windowPaint = true;
            QTimer::singleShot(0, this, [this] { m_moments->windowPainted = NowNs(); });
        } else if (watched == m_viewport && !m_listPaint && m_window->RowCount() > 0) {
            m_listPaint = true;
            QTimer::singleShot(0, this, [this] { m_moments->listPainted = NowNs(); });
        }
        return false;
    }

private:
    CRavuraVezedaDlg* m_window;
    StartMoments* m_moments;
    QObject* m_viewport = nullptr;
    bool m_windowPaint = false;
    bool m_listPaint = false;
};

// In the child: what locket-viewer's main does up to a window showing the card's list.
// `pollAtOnce` polls the card right after show instead of waiting for timer 102's first tick.
int StartupChild(int argc, char** argv, const std::string& card, bool pollAtOnce) {
    StartMoments m;
    m.main = NowNs();
    PrepareQt();
    QApplication application(argc, argv);
    m.application = NowNs();
    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    m.constructed = NowNs();
    window.OnInitDialog();
    m.initialised = NowNs();
    CPaintWatch watch(&window, &m);
    // A fill inserts the rows one by one: the last insertion is the list filled.
    auto* list = qobject_cast<QAbstractItemView*>(window.Control(ctl::kList));
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted,
                     [&m] { m.listFilled = NowNs(); });
    window.show();
    if (pollAtOnce)
        window.PollCard();
    WaitFor([&] { return m.listPainted != 0 && m.windowPainted != 0; }, 10000);
    std::printf("%lld %lld %lld %lld %lld %lld %lld\n", m.main, m.application, m.constructed,
                m.initialised, m.windowPainted, m.listFilled, m.listPainted);
    return m.listPainted ? 0 : 1;
}

// In the child: only the map view, whose web engine starts with it, in a fresh process; the
// milliseconds from QApplication made to the view constructed.
int WebEngineChild(int argc, char** argv) {
    PrepareQt();
    QApplication application(argc, argv);
    const long long start = NowNs();
    CMapView view;
    view.CreatePage();
    std::printf("%lld\n", NowNs() - start);
    return 0;
}

// Runs this program again with the arguments and the environment with `setEnv` added; the last
// line it printed (the earlier ones are the window's trace lines), or empty when it failed.
// *spawned: the moment before the spawn; *all: everything it printed.
std::string RunChild(std::vector<std::string> arguments, long long* spawned,
                     const std::map<std::string, std::string>& setEnv = {},
                     std::string* all = nullptr) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    arguments.insert(arguments.begin(), "/proc/self/exe");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!setEnv.count(entry.substr(0, entry.find('='))))
            environment.push_back(entry);
    }
    for (const auto& [name, value] : setEnv)
        environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    *spawned = NowNs();
    const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string out;
    char chunk[512];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;)
        out.append(chunk, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    if (result != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    if (all)
        *all = out;
    const size_t last = out.find_last_of('\n');
    return last == std::string::npos ? out : out.substr(last + 1);
}

bool RunStartupChild(const std::string& card, bool pollAtOnce, long long* spawned,
                     StartMoments* m) {
    const std::string line = RunChild({pollAtOnce ? "--startup-now" : "--startup", card}, spawned);
    return std::sscanf(line.c_str(), "%lld %lld %lld %lld %lld %lld %lld", &m->main,
                       &m->application, &m->constructed, &m->initialised, &m->windowPainted,
                       &m->listFilled, &m->listPainted) == 7;
}

void StartupTimes(const std::string& card, Figures* figures) {
    constexpr int kRuns = 5;
    for (const bool pollAtOnce : {false, true}) {
        std::vector<std::array<double, 7>> runs;
        for (int run = 0; run < kRuns; ++run) {
            long long spawned = 0;
            StartMoments m;
            if (!RunStartupChild(card, pollAtOnce, &spawned, &m)) {
                std::printf("start-up run failed\n");
                continue;
            }
            runs.push_back({Ms(m.main - spawned), Ms(m.application - spawned),
                            Ms(m.constructed - spawned), Ms(m.initialised - spawned),
                            Ms(m.windowPainted - spawned), Ms(m.listFilled - spawned),
                            Ms(m.listPainted - spawned)});
        }
        if (runs.empty())
            continue;
        std::printf(
            "start-up, from the process made (spawn) to ..., median of %zu runs (worst):\n%s",
            runs.size(),
            pollAtOnce ? "  [card polled right after show]\n"
                       : "  [as the window runs: the first poll is timer 102's first tick, 1 s]\n");
        static const char* const kNames[] = {"main() entered",        "QApplication made",
                                             "window constructed",    "OnInitDialog done",
                                             "window first painted",  "list filled by the poll",
                                             "list painted with rows"};
        for (size_t i = 0; i < 7; ++i) {
            std::vector<double> values;
            for (const auto& r : runs)
                values.push_back(r[i]);
            std::sort(values.begin(), values.end());
            std::printf("  %-24s %7.1f ms (%7.1f)%s\n", kNames[i], values[values.size() / 2],
                        values.back(), i == 6 ? "  (aim < 500 ms)" : "");
            if (i == 6 && !pollAtOnce)
                figures->startup = values[values.size() / 2];
        }
    }
    std::vector<double> engine;
    for (int run = 0; run < 3; ++run) {
        long long spawned = 0;
        const std::string line = RunChild({"--web-engine"}, &spawned);
        if (!line.empty())
            engine.push_back(Ms(std::atoll(line.c_str())));
    }
    if (!engine.empty()) {
        std::sort(engine.begin(), engine.end());
        std::printf(
            "  of which the map view's construction alone (its web engine starts): median"
            " %.1f ms\n",
            engine[engine.size() / 2]);
    }
}

// The figures as one line, and back.
std::string FiguresLine(const Figures& f) {
    char line[500];
    std::snprintf(line, sizeof line, "FIGURES %f %f %f %f %f %f %f %f %f %f %f %f %f %f %f",
                  f.viewer, f.bare, f.idle, f.paused, f.idleWakes, f.pausedWakes, f.startup,
                  f.stall, f.seek, f.lockWait, f.gui, f.barePaced, f.lifelikeViewer, f.lifelikeBare,
                  f.lifelikePaced);
    return line;
}

bool ParseFigures(const std::string& line, Figures* f) {
    return std::sscanf(line.c_str(),
                       "FIGURES %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf",
                       &f->viewer, &f->bare, &f->idle, &f->paused, &f->idleWakes, &f->pausedWakes,
                       &f->startup, &f->stall, &f->seek, &f->lockWait, &f->gui, &f->barePaced,
                       &f->lifelikeViewer, &f->lifelikeBare, &f->lifelikePaced) == 15;
}

// Only the GUI stall, for a quick look (--stall-only).
bool g_stallOnly = false;

// Every figure on the platform this process runs.
Figures RunAll(int argc, char** argv, const std::string& card,
               const std::vector<std::vector<uint8_t>>& front,
               const std::vector<std::vector<uint8_t>>& rear) {
    Figures figures;
    if (g_stallOnly) {
        PrepareQt();
        QApplication application(argc, argv);
        GuiStall(card, &figures);
        return figures;
    }
    // Start-up first, while this process has no Qt of its own running beside the child.
    StartupTimes(card, &figures);
    PrepareQt();
    QApplication application(argc, argv);
    const double startup = figures.startup;
    PlaybackCpu(card, front, rear, &figures);
    figures.startup = startup;
    LifelikeCpu(card + "-lifelike", &figures);
    GuiStall(card, &figures);
    SeekLatency(card, &figures);
    return figures;
}

// An X display to run under: the one in DISPLAY when its socket is there, else an Xvfb started
// here on a free number (*server its process, to be ended by the caller).
std::string XDisplay(pid_t* server) {
    *server = 0;
    const char* display = std::getenv("DISPLAY");
    struct stat info {};
    if (display && display[0] == ':' &&
        stat((std::string("/tmp/.X11-unix/X") + (display + 1)).c_str(), &info) == 0)
        return display;
    for (int n = 90; n < 100; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (stat(socket.c_str(), &info) == 0)
            continue;
        const std::string name = ":" + std::to_string(n);
        const char* args[] = {"Xvfb",         name.c_str(), "-screen", "0",
                              "1600x1000x24", "-nolisten",  "tcp",     nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int result = posix_spawnp(server, "Xvfb", &actions, nullptr,
                                        const_cast<char* const*>(args), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) {
            *server = 0;
            return {};
        }
        for (int waited = 0; waited < 5000 && stat(socket.c_str(), &info) != 0; waited += 20)
            usleep(20000);
        return name;
    }
    return {};
}

void PrintTable(const Figures& offscreen, const Figures* xcb) {
    const auto cell = [](double v, const char* format) {
        char text[32];
        if (v < 0)
            std::snprintf(text, sizeof text, "-");
        else
            std::snprintf(text, sizeof text, format, v);
        return std::string(text);
    };
    // A row either shows a field or, with `over`, the ratio of the field to another.
    struct Row {
        const char* name;
        double Figures::*field;
        const char* format;
        double Figures::*over = nullptr;
    };
    const Row rows[] = {
        {"viewer CPU s per s of playback", &Figures::viewer, "%.3f"},
        {"  of which the GUI thread", &Figures::gui, "%.3f"},
        {"bare libavcodec + libswscale", &Figures::bare, "%.3f"},
        {"ratio (aim <= 1.3)", &Figures::viewer, "%.2f", &Figures::bare},
        {"bare paced at 30 fps, streams in turn", &Figures::barePaced, "%.3f"},
        {"lifelike front only: viewer", &Figures::lifelikeViewer, "%.3f"},
        {"  bare flat out", &Figures::lifelikeBare, "%.3f"},
        {"  bare paced at 30 fps", &Figures::lifelikePaced, "%.3f"},
        {"  ratio to flat out", &Figures::lifelikeViewer, "%.2f", &Figures::lifelikeBare},
        {"  ratio to paced", &Figures::lifelikeViewer, "%.2f", &Figures::lifelikePaced},
        {"idle with its list, CPU s per s", &Figures::idle, "%.4f"},
        {"paused, CPU s per s", &Figures::paused, "%.4f"},
        {"wake-ups per s idle", &Figures::idleWakes, "%.0f"},
        {"wake-ups per s paused", &Figures::pausedWakes, "%.0f"},
        {"start-up to list painted, ms", &Figures::startup, "%.0f"},
        {"longest GUI stall with swaps, ms", &Figures::stall, "%.1f"},
        {"longest wait for the player's lock, ms", &Figures::lockWait, "%.1f"},
        {"paused seek to picture painted, ms", &Figures::seek, "%.1f"},
    };
    std::printf("\n%-36s %12s %12s\n", "figure", "offscreen", "xcb");
    for (const Row& row : rows) {
        const auto value = [&](const Figures& f) {
            if (!row.over)
                return f.*row.field;
            return f.*row.field > 0 && f.*row.over > 0 ? f.*row.field / f.*row.over : -1.0;
        };
        std::printf("%-36s %12s %12s\n", row.name, cell(value(offscreen), row.format).c_str(),
                    cell(xcb ? value(*xcb) : -1, row.format).c_str());
    }
}

}  // namespace
}  // namespace locket

int main(int argc, char** argv) {
    using namespace locket;
    if (argc == 2 && !std::strcmp(argv[1], "--web-engine"))
        return WebEngineChild(argc, argv);
    if (argc == 3 && (!std::strcmp(argv[1], "--startup") || !std::strcmp(argv[1], "--startup-now")))
        return StartupChild(argc, argv, argv[2], !std::strcmp(argv[1], "--startup-now"));
    av_log_set_level(AV_LOG_ERROR);

    // The second run, under X: the card is the first run's.
    if (argc >= 3 && !std::strcmp(argv[1], "--platform-run")) {
        g_stallOnly = argc == 4 && !std::strcmp(argv[3], "--stall-only");
        std::vector<std::vector<uint8_t>> front, rear;
        if (!ReadVideoPackets(argv[2], &front, &rear) || rear.empty())
            return 1;
        const Figures figures = RunAll(1, argv, argv[2], front, rear);
        std::printf("%s\n", FiguresLine(figures).c_str());
        return 0;
    }

    bool withXcb = true;
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-xcb"))
            withXcb = false;
        else if (!std::strcmp(argv[i], "--stall-only"))
            g_stallOnly = true;
        else
            seconds = std::max(3, std::atoi(argv[i]));
    }
    QTemporaryDir folder;
    const std::string card = folder.path().toStdString() + "/card";
    std::printf("making a %d s two-camera recording (1920x1080 + 1280x720, 30 fps)...\n", seconds);
    std::fflush(stdout);
    std::vector<std::vector<uint8_t>> front, rear;
    if (!MakeCard(card, seconds) || !ReadVideoPackets(card, &front, &rear) || rear.empty()) {
        std::printf("no recording to play\n");
        return 1;
    }
    if (!MakeLifelikeCard(card + "-lifelike", seconds))
        std::printf("no lifelike footage (the ffmpeg command with libx264 is needed)\n");
    PrepareQt();
    std::printf("== platform %s\n", qgetenv("QT_QPA_PLATFORM").constData());
    std::fflush(stdout);
    const Figures first = RunAll(1, argv, card, front, rear);

    Figures second;
    bool haveSecond = false;
    if (withXcb) {
        pid_t server = 0;
        const std::string display = XDisplay(&server);
        if (display.empty()) {
            std::printf("no X server to run under: the xcb column stays empty\n");
        } else {
            std::printf("\n== platform xcb on display %s%s\n", display.c_str(),
                        server ? " (an Xvfb started here)" : "");
            std::fflush(stdout);
            long long spawned = 0;
            std::string output;
            const std::string line = RunChild(
                g_stallOnly ? std::vector<std::string>{"--platform-run", card, "--stall-only"}
                            : std::vector<std::string>{"--platform-run", card},
                &spawned, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}}, &output);
            // The child's report without its trace lines.
            size_t at = 0;
            while (at < output.size()) {
                size_t end = output.find('\n', at);
                if (end == std::string::npos)
                    end = output.size();
                const std::string text = output.substr(at, end - at);
                if (!text.empty() && text[0] != '[' && text.rfind("FIGURES", 0) != 0)
                    std::printf("%s\n", text.c_str());
                at = end + 1;
            }
            haveSecond = ParseFigures(line, &second);
            if (!haveSecond)
                std::printf("the run under xcb failed\n");
            if (server) {
                kill(server, SIGTERM);
                waitpid(server, nullptr, 0);
            }
        }
    }
    PrintTable(first, haveSecond ? &second : nullptr);
    return 0;
}
