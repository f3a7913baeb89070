// `locket-viewer --export-clip`: writes a stretch of one recording as MP4 (with GPX, CSV and a
// checksum manifest on request) without a window.
#pragma once

#include <cstdio>
#include <string>

namespace locket {

struct ClipExportCommand {
    std::string outFolder;
    std::string cardFolder;
    std::string name;
    double fromSeconds = 0;
    double toSeconds = -1;  // < 0: to the end
    bool split = false;
    bool gpx = false;
    bool csv = false;
};

// Whether the arguments ask for a clip export.
bool WantsClipExport(int argc, const char* const* argv);

// Parses and runs the clip export; messages go to `out`. Exit codes as --export: 0 when every
// file was written, 1 when one was not, 2 for arguments, card or folder that cannot be used.
int RunClipExportCommandLine(int argc, const char* const* argv, FILE* out);

int RunClipExportCommand(const ClipExportCommand& command, FILE* out);

}  // namespace locket
