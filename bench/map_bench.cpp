// Prints figures for the map; nothing here passes or fails.
//   map_bench [seconds]        (length of the two-camera recording played, default 15)
//   map_bench --trip [count]   (one-minute recordings of the trip, default 60)
// 1. CPU of two-camera playback in the real window (front 1920x1080, rear 1280x720, 30 fps),
//    with the map hidden and with it shown beside the front picture while its marker moves
//    once a second. The web engine draws in processes of its own: the CPU counted is this
//    process's and every process it started. LOCKET_MAP_HOST picks the way the map's web view
//    is hosted.
// 2. A trip of one-minute recordings: the card listed and grouped, and the double-click on one
//    of them to its trip's route drawn in the page, first with every route still to read and
//    then with the routes read.
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "files/trip_index.h"
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

// The double-click on `row` to the page holding `points` route points, in ms.
double DoubleClickToRoute(CRavuraVezedaDlg& window, int row, int points, double* openMs) {
    QElapsedTimer clock;
    clock.start();
    window.OnListDoubleClick(row);
    *openMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    bool drawn = false;
    // Asks the page again as soon as it answers: the page draws before it answers.
    std::function<void()> ask = [&] {
        window.MapView()->CallFunction(QStringLiteral("RoutePointCount"), {},
                                       [&](const QVariant& count) {
                                           if (count.toInt() == points)
                                               drawn = true;
                                           else
                                               ask();
                                       });
    };
    ask();
    WaitFor([&] { return drawn; }, 30000);
    return drawn ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
}

int TripBench(int count, const QString& folder) {
    const std::string card = folder.toStdString() + "/trip-card";
    const std::string number = std::to_string(count);
    const char* args[] = {"locket-record", card.c_str(),   "--only",    "REC",
                          "--count",       number.c_str(), "--seconds", "60",
                          "--size",        "320x180",      "--fps",     "10",
                          "--no-rear",     "--min-kib",    "520",       "--quiet"};
    std::printf("making %d one-minute recordings (320x180, 10 fps)...\n", count);
    std::fflush(stdout);
    RecordOptions options;
    std::string error;
    if (!ParseRecordOptions(static_cast<int>(std::size(args)), args, &options, &error) ||
        WriteCard(options, &error) != 0) {
        std::fprintf(stderr, "card: %s\n", error.c_str());
        return 1;
    }
    ViewerOptions viewer;
    viewer.cardFolder = card;
    viewer.watchVolumes = false;
    viewer.configFolder = folder.toStdString();
    viewer.langId = 0x09;
    viewer.autoAnswer = QMessageBox::Ok;
    CRavuraVezedaDlg window(viewer);
    window.OnInitDialog();
    window.show();
    if (!WaitFor([&] { return window.RowCount() == count && window.MapView()->IsPageReady(); },
                 60000)) {
        std::printf("the card lists %d of %d recordings\n", window.RowCount(), count);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    window.OnCategoryButton(4);
    const double listed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const auto members = window.Trips().Members(1);
    int points = 0;
    qint64 bytes = 0;
    for (int row = 0; row < window.RowCount(); ++row)
        bytes += QFileInfo(QString::fromStdString(card) + "/REC/" + window.RowName(row)).size();
    std::printf("trip of %zu recordings (%d listed), %.1f MiB on the card\n", members.size(),
                window.RowCount(), static_cast<double>(bytes) / (1 << 20));
    std::printf("  list filled and grouped into trips:       %7.1f ms\n", listed);
    // Every route of the trip is read at the first opening; the count to wait for is known
    // once they are.
    CTripIndex reference;
    reference.UseCard(card);
    for (const TripMember& member : members)
        points += static_cast<int>(reference.Route(member.name).size());
    double firstOpen = 0, againOpen = 0;
    const double first = DoubleClickToRoute(window, count / 2, points, &firstOpen);
    window.OnStop();
    const double again = DoubleClickToRoute(window, count / 2 + 1, points, &againOpen);
    window.OnStop();
    std::printf(
        "  double-click to the trip's %d fixes drawn: %7.1f ms first (routes read), "
        "%.1f ms again (aim < 300 ms)\n",
        points, first, again);
    std::printf("  of which the double-click's own handling:  %7.1f ms first, %.1f ms again\n",
                firstOpen, againOpen);
    std::vector<std::string> names;
    for (int row = 0; row < window.RowCount(); ++row)
        names.push_back(window.RowName(row).toStdString());
    QElapsedTimer read;
    read.start();
    CTripIndex cold;
    cold.UseCard(card);
    cold.Group(names);
    std::printf("  grouping with every length still to read:  %7.1f ms\n",
                static_cast<double>(read.nsecsElapsed()) / 1e6);
    read.restart();
    for (const TripMember& member : members)
        cold.Route(member.name);
    const double readMs = static_cast<double>(read.nsecsElapsed()) / 1e6;
    std::printf("  of which reading the routes alone:         %7.1f ms (%.0f MiB/s)\n", readMs,
                static_cast<double>(bytes) / (1 << 20) / (readMs / 1000));
    return 0;
}

}  // namespace
}  // namespace locket

int main(int argc, char** argv) {
    using namespace locket;
    const bool trip = argc > 1 && !std::strcmp(argv[1], "--trip");
    const int seconds = !trip && argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (getuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QTemporaryDir folder;
    const std::string card = folder.path().toStdString() + "/card";
    if (!trip && !MakeCard(card, seconds))
        return 1;
    QApplication application(argc, argv);
    if (trip)
        return TripBench(argc > 2 ? std::max(2, std::atoi(argv[2])) : 60, folder.path());
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
