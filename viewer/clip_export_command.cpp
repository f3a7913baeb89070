#include "viewer/clip_export_command.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "export/clip_converter.h"

namespace locket {

namespace {

const char* kUsage =
    "Usage: locket-viewer --export-clip OUTDIR --card DIR NAME [--from SECONDS] [--to SECONDS]\n"
    "                     [--split] [--gpx] [--csv]\n";

// A value of SECONDS: a finite number of at least 0.
bool ParseSeconds(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v) || v < 0 || v > 4.0e6)
        return false;
    *value = v;
    return true;
}

int Refuse(FILE* out, const char* why, const char* what = "") {
    std::fprintf(out, "locket-viewer: %s%s\n%s", why, what, kUsage);
    return 2;
}

}  // namespace

bool WantsClipExport(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--export-clip") || !std::strncmp(argv[i], "--export-clip=", 14))
            return true;
    }
    return false;
}

int RunClipExportCommandLine(int argc, const char* const* argv, FILE* out) {
    ClipExportCommand c;
    bool haveOut = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(arg, "--export-clip") && hasValue) {
            c.outFolder = argv[++i];
            haveOut = true;
        } else if (!std::strncmp(arg, "--export-clip=", 14)) {
            c.outFolder = arg + 14;
            haveOut = true;
        } else if (!std::strcmp(arg, "--card") && hasValue) {
            c.cardFolder = argv[++i];
        } else if (!std::strncmp(arg, "--card=", 7)) {
            c.cardFolder = arg + 7;
        } else if (!std::strcmp(arg, "--from") || !std::strcmp(arg, "--to")) {
            double* target = arg[2] == 'f' ? &c.fromSeconds : &c.toSeconds;
            if (!hasValue || !ParseSeconds(argv[++i], target))
                return Refuse(out, arg, " wants a number of seconds");
        } else if (!std::strcmp(arg, "--split")) {
            c.split = true;
        } else if (!std::strcmp(arg, "--gpx")) {
            c.gpx = true;
        } else if (!std::strcmp(arg, "--csv")) {
            c.csv = true;
        } else if (arg[0] != '-' && c.name.empty()) {
            c.name = arg;
        } else {
            return Refuse(out, "unknown argument ", arg);
        }
    }
    if (!haveOut || c.cardFolder.empty() || c.name.empty())
        return Refuse(out, "--export-clip needs OUTDIR, --card DIR and a recording NAME");
    if (c.toSeconds >= 0 && c.toSeconds <= c.fromSeconds)
        return Refuse(out, "--to must come after --from");
    return RunClipExportCommand(c, out);
}

int RunClipExportCommand(const ClipExportCommand& command, FILE* out) {
    struct stat st;
    if (::stat(command.outFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(out, "locket-viewer: %s is not a folder\n", command.outFolder.c_str());
        return 2;
    }
    CClipConverter converter;
    if (!converter.UseCard(command.cardFolder)) {
        std::fprintf(out, "locket-viewer: %s is not a recorder card\n", command.cardFolder.c_str());
        return 2;
    }
    CClipConverter::Options o;
    o.fromMs = static_cast<uint32_t>(std::lround(command.fromSeconds * 1000));
    if (command.toSeconds >= 0)
        o.toMs = static_cast<uint32_t>(std::lround(command.toSeconds * 1000));
    o.split = command.split;
    o.gpx = command.gpx;
    o.csv = command.csv;
    const auto result = converter.Export(command.name, command.outFolder, o);
    const char* name = command.name.c_str();
    switch (result) {
        case CClipConverter::Result::kWritten:
            std::fprintf(out, "%s: clip %.3f s to %.3f s written\n", name,
                         converter.ClipStartMs() / 1000.0, converter.ClipEndMs() / 1000.0);
            for (const std::string& file : converter.Written())
                std::fprintf(out, "  %s\n", file.c_str());
            return 0;
        case CClipConverter::Result::kIncomplete: {
            const ExportReport& r = converter.Report();
            std::fprintf(out,
                         "%s: clip %.3f s to %.3f s incomplete, %u of %u front pictures copied%s\n",
                         name, converter.ClipStartMs() / 1000.0, converter.ClipEndMs() / 1000.0,
                         r.copied.front, r.expected.front,
                         r.keptEarlier ? "; the earlier incomplete files are kept" : "");
            for (const std::string& file : converter.Written())
                std::fprintf(out, "  %s\n", file.c_str());
            return 1;
        }
        case CClipConverter::Result::kNotFound:
            std::fprintf(out, "%s: not written: the recording cannot be read\n", name);
            return 1;
        default:
            std::fprintf(out, "%s: not written:\n", name);
            for (const std::string& file : converter.NotWritten())
                std::fprintf(out, "  %s\n", file.c_str());
            return 1;
    }
}

}  // namespace locket
