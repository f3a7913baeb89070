// Prints figures for the viewer's main window; nothing here passes or fails.
//   viewer_bench [seconds]   (length of the two-camera recording played, default 20)
// 1. CPU per second of real-time playback of a two-camera recording (front 1920x1080, rear
//    1280x720, 30 fps) in the real window, against bare libavcodec + libswscale decoding and
//    scaling the same packets to the same view sizes in the same run.
// 2. Start-up: from the start of a fresh process (this program again, which links what
//    locket-viewer links) to the window painted, and to the list painted with its rows.
// 3. Paused seek-bar release to the front picture drawn, at 1080p.
// The recording is made at bench time by the recorder tool's library.
#include <spawn.h>
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
#include <functional>
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

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
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

// The front and rear video packets of the recording, in file order.
bool ReadVideoPackets(const std::string& card, std::vector<std::vector<uint8_t>>* front,
                      std::vector<std::vector<uint8_t>>* rear) {
    TatHandle tat = TatCreate();
    TatSetMountsFile(tat, "");
    bool ok = TatRegisterCardFolder(tat, card.c_str()) != 0;
    const int64_t position = ok ? TatLocate(tat, -1, kRecording) : -1;
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
    return ok && !front->empty() && !rear->empty();
}

// --- 1. CPU per second of playback

double BareCpu(const std::vector<std::vector<uint8_t>>& front,
               const std::vector<std::vector<uint8_t>>& rear) {
    const double cpu0 = ProcessCpuSeconds();
    BareDecodeAndScale(front, 640, 360);
    BareDecodeAndScale(rear, 320, 170);
    return ProcessCpuSeconds() - cpu0;
}

void PlaybackCpu(const std::string& card, const std::vector<std::vector<uint8_t>>& front,
                 const std::vector<std::vector<uint8_t>>& rear) {
    const double content = static_cast<double>(front.size()) / 30.0;
    // The bare runs bracket the window's: a machine that gets busier or quieter meanwhile
    // shows as two different figures.
    const double bareBefore = BareCpu(front, rear) / content;

    QTemporaryDir config;
    CRavuraVezedaDlg window(WindowOptions(card, config));
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() > 0; }, 10000)) {
        std::printf("playback: the card lists nothing\n");
        return;
    }
    Pump(500);
    // What the window costs without pictures: shown with its list, and the recording open
    // but paused (threads alive, nothing decoded).
    const auto cpuPerSecond = [](int ms) {
        const double cpu0 = ProcessCpuSeconds();
        Pump(ms);
        return (ProcessCpuSeconds() - cpu0) * 1000.0 / ms;
    };
    const double idle = cpuPerSecond(3000);
    window.OnListDoubleClick(0);
    window.OnPause();
    Pump(500);
    const double paused = cpuPerSecond(3000);
    window.OnStop();
    Pump(500);

    const int frontDraws = window.FrontView()->DrawCount();
    const int rearDraws = window.RearView()->DrawCount();
    const double cpu0 = ProcessCpuSeconds();
    const long long start = NowNs();
    window.OnListDoubleClick(0);
    // The end opens the next newer recording; there is none, so the window stops.
    WaitFor([&] { return window.CurrentRow() == -1; }, static_cast<int>(content * 3000) + 10000);
    const double wall = Ms(NowNs() - start) / 1000.0;
    const double viewer = (ProcessCpuSeconds() - cpu0) / wall;
    const int shownFront = window.FrontView()->DrawCount() - frontDraws;
    const int shownRear = window.RearView()->DrawCount() - rearDraws;

    const double bareAfter = BareCpu(front, rear) / content;
    const double bare = (bareBefore + bareAfter) / 2;
    std::printf(
        "real-time playback in the window, front 1920x1080 + rear 1280x720 at 30 fps, views "
        "640x360 and 320x170:\n");
    std::printf("  %.1f s of recording played in %.2f s, %d front and %d rear pictures drawn\n",
                content, wall, shownFront, shownRear);
    std::printf("  viewer        %.3f CPU s per s of playback (whole process)\n", viewer);
    std::printf("  bare libav    %.3f CPU s per s of recording (%.3f before, %.3f after)\n", bare,
                bareBefore, bareAfter);
    std::printf("  ratio viewer/bare %.3f (aim <= 1.15)\n", viewer / bare);
    std::printf(
        "  the window alone: %.3f CPU s per s idle with its list, %.3f paused on the"
        " recording\n",
        idle, paused);
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

void SeekLatency(const std::string& card) {
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

// Runs this program again with the arguments; the last line it printed (the earlier ones are
// the window's trace lines), or empty when it failed. *spawned: the moment before the spawn.
std::string RunChild(std::vector<std::string> arguments, long long* spawned) {
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
    pid_t pid = 0;
    *spawned = NowNs();
    const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
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

void StartupTimes(const std::string& card) {
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
                        values.back(), i == 6 ? "  (aim < 1000 ms)" : "");
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

}  // namespace
}  // namespace locket

int main(int argc, char** argv) {
    using namespace locket;
    if (argc == 2 && !std::strcmp(argv[1], "--web-engine"))
        return WebEngineChild(argc, argv);
    if (argc == 3 && (!std::strcmp(argv[1], "--startup") || !std::strcmp(argv[1], "--startup-now")))
        return StartupChild(argc, argv, argv[2], !std::strcmp(argv[1], "--startup-now"));

    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
    av_log_set_level(AV_LOG_ERROR);
    QTemporaryDir folder;
    const std::string card = folder.path().toStdString() + "/card";
    std::printf("making a %d s two-camera recording (1920x1080 + 1280x720, 30 fps)...\n", seconds);
    std::fflush(stdout);
    std::vector<std::vector<uint8_t>> front, rear;
    if (!MakeCard(card, seconds) || !ReadVideoPackets(card, &front, &rear)) {
        std::printf("no recording to play\n");
        return 1;
    }
    // Start-up first, while this process has no Qt of its own running beside the child.
    StartupTimes(card);
    PrepareQt();
    QApplication application(argc, argv);
    PlaybackCpu(card, front, rear);
    SeekLatency(card);
    return 0;
}
