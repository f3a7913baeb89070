#include "viewer/export_command.h"

#include <sys/stat.h>

#include <string>

#include "export/avi_converter.h"
#include "export/output_file.h"
#include "files/recording_listing.h"

namespace locket {

namespace {

using Result = ExportResult;

const char* FailureText(Result result) {
    switch (result) {
        case Result::kNotFound:
            return "not written: the recording cannot be read";
        case Result::kNotCreated:
            return "not written: the file cannot be created";
        case Result::kWriteFailed:
            return "not written: a write failed";
        default:
            return "not written";
    }
}

// "281 of 300 front, 300 of 300 rear, 125 of 125 audio packets copied"; no rear part for a
// recording without a rear camera.
std::string CountsText(const ExportReport& report) {
    const auto& c = report.copied;
    const auto& e = report.expected;
    char rear[48] = "";
    if (c.rear || e.rear)
        std::snprintf(rear, sizeof rear, ", %u of %u rear", c.rear, e.rear);
    char text[160];
    std::snprintf(text, sizeof text, "%u of %u front%s, %u of %u audio packets copied", c.front,
                  e.front, rear, c.audio, e.audio);
    return text;
}

}  // namespace

int RunExportCommand(const ExportCommand& command, FILE* out) {
    struct stat st;
    if (::stat(command.outFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(out, "locket-viewer: %s is not a folder\n", command.outFolder.c_str());
        return 2;
    }
    CAviConverter converter;
    if (!converter.UseCard(command.cardFolder)) {
        std::fprintf(out, "locket-viewer: %s is not a recorder card\n", command.cardFolder.c_str());
        return 2;
    }
    const std::vector<std::string> names =
        command.names.empty()
            ? converter.ListRecordings(command.category < 0 ? kAllCategories : command.category)
            : command.names;
    int notWhole = 0;
    const size_t count = names.size();
    for (size_t i = 0; i < count; ++i) {
        const char* name = names[i].c_str();
        const std::string destination = CAviConverter::DestinationFor(command.outFolder, names[i]);
        const auto report = converter.Convert(names[i], destination, {}, {});
        const auto& copied = report.copied;
        switch (report.result) {
            case Result::kWritten:
            case Result::kStopped:
                std::fprintf(out, "[%zu/%zu] %s -> %s: %s (%u front, %u rear, %u audio packets)\n",
                             i + 1, count, name, report.file.c_str(),
                             report.result == Result::kWritten ? "written" : "stopped",
                             copied.front, copied.rear, copied.audio);
                break;
            case Result::kIncomplete:
                ++notWhole;
                if (report.keptEarlier) {
                    std::fprintf(out, "[%zu/%zu] %s: incomplete, %s; the earlier %s is kept\n",
                                 i + 1, count, name, CountsText(report).c_str(),
                                 IncompletePath(destination).c_str());
                } else {
                    std::fprintf(out, "[%zu/%zu] %s -> %s: incomplete, %s\n", i + 1, count, name,
                                 report.file.c_str(), CountsText(report).c_str());
                }
                break;
            default:
                ++notWhole;
                std::fprintf(out, "[%zu/%zu] %s: %s\n", i + 1, count, name,
                             FailureText(report.result));
                break;
        }
        std::fflush(out);
    }
    return notWhole ? 1 : 0;
}

}  // namespace locket
