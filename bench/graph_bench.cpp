// How long the main window's once-a-second graph rebuild takes (clear the three axes, add one
// value per axis for every stored second), against the cost of a single redraw.
#include <QApplication>

#include <chrono>
#include <cstdio>

#include "widgets/graph_static.h"

using namespace locket;

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CGraphStatic graph;
    graph.resize(300, 120);  // about the main window's graph
    graph.SetRange(200, 50);
    graph.SetXStep(13);
    CGraphSeries* axes[3] = {graph.AddSeries(0xFF0000, 1), graph.AddSeries(0x00FFFF, 1),
                             graph.AddSeries(0x0000FF, 1)};

    constexpr int kRedraws = 2000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRedraws; ++i)
        graph.SetGridVisible(i % 2 == 0);
    const double redrawMs = MsSince(start) / kRedraws;
    std::printf("single redraw: %.4f ms\n", redrawMs);

    for (int seconds : {10, 60, 600, 3600}) {
        start = std::chrono::steady_clock::now();
        for (CGraphSeries* axis : axes)
            graph.ClearSeries(axis);
        for (int i = seconds - 1; i >= 0; --i) {
            graph.AddValue(axes[0], 150 + i % 40);
            graph.AddValue(axes[1], 100 - i % 30);
            graph.AddValue(axes[2], 50 + i % 20);
        }
        const double ms = MsSince(start);
        std::printf("rebuild of %4d s: %8.2f ms (%.0f redraws' worth, budget 1000 ms)\n", seconds,
                    ms, ms / redrawMs);
    }
    return 0;
}
