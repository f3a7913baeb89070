// locket-viewer: plays the recordings of a Locket KX2 card.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewer/clip_export_command.h"
#include "viewer/export_command.h"
#include "viewer/viewer_app.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(
        out,
        "Usage: locket-viewer [--card DIR]\n"
        "       locket-viewer --export OUTDIR --card DIR [--category N] [NAME...]\n"
        "       locket-viewer --export-clip OUTDIR --card DIR NAME [--from SECONDS]\n"
        "                     [--to SECONDS] [--split] [--gpx] [--csv]\n"
        "Plays the recordings of a Locket KX2 car recorder card.\n\n"
        "  --card DIR      use DIR as the recorder card (a folder with the card layout);\n"
        "                  without it the viewer watches removable volumes\n"
        "  --export OUTDIR convert recordings of the card to AVI files in OUTDIR, without\n"
        "                  a window: the NAMEs given, else every listed recording of\n"
        "                  category N (0 event, 1 driving, 2 parking, 3 manual; all\n"
        "                  without --category). Exits 1 when a recording was not written\n"
        "  --export-clip OUTDIR\n"
        "                  write recording NAME from --from to --to (seconds; the whole\n"
        "                  recording without them) as NAME.mp4 in OUTDIR, starting at the\n"
        "                  key picture at or before --from; --split puts the rear camera\n"
        "                  in NAME_rear.mp4, --gpx and --csv add the GPS track and the\n"
        "                  sensor data; NAME.sha256 lists checksums of everything\n"
        "  --help          show this help and exit\n"
        "  --version       show the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (locket::WantsClipExport(argc, argv))
        return locket::RunClipExportCommandLine(argc, argv, stdout);
    locket::ViewerOptions options;
    locket::ExportCommand exportCommand;
    bool exporting = false;
    bool categoryGiven = false;
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
        } else if (!std::strcmp(arg, "--export") && i + 1 < argc) {
            exporting = true;
            exportCommand.outFolder = argv[++i];
        } else if (!std::strcmp(arg, "--category") && i + 1 < argc) {
            char* end = nullptr;
            const long category = std::strtol(argv[++i], &end, 10);
            if (*end || end == argv[i] || category < 0 || category > 3) {
                std::fprintf(stderr, "locket-viewer: --category wants 0, 1, 2 or 3\n");
                return 2;
            }
            exportCommand.category = static_cast<int>(category);
            categoryGiven = true;
        } else if (exporting && arg[0] != '-') {
            exportCommand.names.emplace_back(arg);
        } else {
            std::fprintf(stderr, "locket-viewer: unknown argument '%s'\n", arg);
            PrintUsage(stderr);
            return 2;
        }
    }
    if (exporting || categoryGiven) {
        if (!exporting || options.cardFolder.empty()) {
            std::fprintf(stderr, "locket-viewer: --export needs OUTDIR and --card DIR\n");
            PrintUsage(stderr);
            return 2;
        }
        exportCommand.cardFolder = options.cardFolder;
        return locket::RunExportCommand(exportCommand, stdout);
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
