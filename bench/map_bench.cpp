// Prints figures for the map; nothing here passes or fails.
//   map_bench [seconds]   (length of the two-camera recording played, default 15)
// CPU of two-camera playback in the real window (front 1920x1080, rear 1280x720, 30 fps), with
// the map hidden and with it shown beside the front picture while its marker moves once a
// second. The web engine draws in processes of its own: the CPU counted is this process's and
// every process it started. LOCKET_MAP_HOST picks the way the map's web view is hosted.
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"
#include "viewer/main_window.h"
#include "widgets/map_view.h"

namespace locket {
namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// User and system CPU seconds of this process and every process below it.
double TreeCpuSeconds() {
    struct Entry {
        int parent = 0;
        double cpu = 0;
    };
    std::map<int, Entry> processes;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        // After the name: state ppid ... utime (14th field) stime (15th).
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        Entry e;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 4)
                e.parent = std::atoi(field.c_str());
            else if (i == 14 || i == 15)
                e.cpu += std::atof(field.c_str()) / tick;
        }
        processes[pid] = e;
    }
    if (proc)
        closedir(proc);
    double total = 0;
    for (const auto& [pid, e] : processes) {
        for (int p = pid; p > 0;) {
            if (p == getpid()) {
                total += e.cpu;
                break;
            }
            const auto up = processes.find(p);
            p = up == processes.end() ? 0 : up->second.parent;
        }
    }
    return total;
}

const char* HostingName(CMapView::Hosting hosting) {
    switch (hosting) {
        case CMapView::Hosting::kEmbedded:
            return "embedded child widget";
        case CMapView::Hosting::kContainer:
            return "window container";
    }
    return "?";
}

bool MakeCard(const std::string& card, int seconds) {
    const std::string length = std::to_string(seconds);
    const char* args[] = {"locket-record", card.c_str(), "--seconds",   length.c_str(),
                          "--size",        "1920x1080",  "--rear-size", "1280x720",
                          "--fps",         "30",         "--one",       "REC_20240301_083000_D.tat",
                          "--min-kib",     "520",        "--quiet"};
    RecordOptions options;
    std::string error;
    if (!ParseRecordOptions(static_cast<int>(std::size(args)), args, &options, &error) ||
        WriteCard(options, &error) != 0) {
        std::fprintf(stderr, "card: %s\n", error.c_str());
        return false;
    }
    return true;
}

// CPU seconds per second of one whole playback of the card's only recording.
double PlaybackCpu(CRavuraVezedaDlg& window, bool showMap, int* markerMoves) {
    window.OnListDoubleClick(0);
    if (showMap)
        window.OnMapTab();
    const double cpu0 = TreeCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    int moves = 0;
    QString last;
    QTimer watch;
    // The marker's position as the page has it, read once a second.
    QObject::connect(&watch, &QTimer::timeout, [&] {
        window.MapView()->RunScript("MarkerText()", [&](const QVariant& v) {
            if (v.toString() != last && !v.isNull())
                ++moves;
            last = v.toString();
        });
    });
    watch.start(1000);
    WaitFor([&] { return window.CurrentRow() == -1; }, 120000);
    *markerMoves = moves;
    return (TreeCpuSeconds() - cpu0) / (static_cast<double>(wall.elapsed()) / 1000.0);
}

}  // namespace
}  // namespace locket

int main(int argc, char** argv) {
    using namespace locket;
    const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QTemporaryDir folder;
    const std::string card = folder.path().toStdString() + "/card";
    if (!MakeCard(card, seconds))
        return 1;
    QApplication application(argc, argv);
    ViewerOptions options;
    options.cardFolder = card;
    options.watchVolumes = false;
    options.configFolder = folder.path().toStdString();
    options.langId = 0x09;
    options.autoAnswer = QMessageBox::Ok;
    CRavuraVezedaDlg window(options);
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() > 0 && window.MapView()->IsPageReady(); }, 30000)) {
        std::printf("no listed card or no map page\n");
        return 1;
    }
    std::printf("map hosting: %s, platform %s, %d s two-camera recording 1920x1080 + 1280x720\n",
                HostingName(CMapView::HostingFromEnvironment()),
                qPrintable(QGuiApplication::platformName()), seconds);
    for (const bool shown : {false, true}) {
        int moves = 0;
        const double cpu = PlaybackCpu(window, shown, &moves);
        std::printf("  map %-7s %.3f CPU s per s of playback (all processes)%s\n",
                    shown ? "shown" : "hidden", cpu,
                    shown ? qPrintable(QString::asprintf(", marker moved %d times", moves)) : "");
        std::fflush(stdout);
    }
    return 0;
}
