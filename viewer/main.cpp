// locket-viewer: plays the recordings of a Locket KX2 card.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewer/viewer_app.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: locket-viewer [--card DIR]\n"
                 "Plays the recordings of a Locket KX2 car recorder card.\n\n"
                 "  --card DIR   use DIR as the recorder card (a folder with the card layout);\n"
                 "               without it the viewer watches removable volumes\n"
                 "  --help       show this help and exit\n"
                 "  --version    show the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
    locket::ViewerOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            PrintUsage(stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("locket-viewer %s\n", LOCKET_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "--card") && i + 1 < argc) {
            options.cardFolder = argv[++i];
        } else if (!std::strncmp(arg, "--card=", 7)) {
            options.cardFolder = arg + 7;
        } else {
            std::fprintf(stderr, "locket-viewer: unknown argument '%s'\n", arg);
            PrintUsage(stderr);
            return 2;
        }
    }
    // Placement, dragging and screen grabs behave the same on X11 and XWayland.
    if (std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb", 0);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("locket-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(LOCKET_VERSION));
    locket::CRavuraVezedaApp app(options);
    if (!app.InitInstance())
        return 0;
    return app.Run();
}
