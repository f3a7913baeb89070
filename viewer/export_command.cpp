#include "viewer/export_command.h"

#include <sys/stat.h>

#include "viewer/recording_converter.h"

namespace locket {

namespace {

// The list hides smaller files: recordings the recorder cut off before they were whole.
constexpr int64_t kMinListedBytes = 0x80000;

const char* ResultText(CRecordingConverter::Result result) {
    switch (result) {
        case CRecordingConverter::Result::kWritten:
            return "written";
        case CRecordingConverter::Result::kStopped:
            return "stopped";
        case CRecordingConverter::Result::kNotFound:
            return "not written: the recording cannot be read";
        case CRecordingConverter::Result::kNotCreated:
            return "not written: the file cannot be created";
        case CRecordingConverter::Result::kWriteFailed:
            return "not written: a write failed";
    }
    return "not written";
}

}  // namespace

int RunExportCommand(const ExportCommand& command, FILE* out) {
    struct stat st;
    if (::stat(command.outFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(out, "locket-viewer: %s is not a folder\n", command.outFolder.c_str());
        return 2;
    }
    CRecordingConverter converter;
    if (!converter.UseCard(command.cardFolder)) {
        std::fprintf(out, "locket-viewer: %s is not a recorder card\n", command.cardFolder.c_str());
        return 2;
    }
    const std::vector<std::string> names =
        command.names.empty() ? converter.ListRecordings(command.category, kMinListedBytes)
                              : command.names;
    int failed = 0;
    const size_t count = names.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string destination =
            CRecordingConverter::DestinationFor(command.outFolder, names[i]);
        const auto result = converter.Convert(names[i], destination, {}, {});
        const auto& counts = converter.LastCounts();
        if (CRecordingConverter::Failed(result)) {
            ++failed;
            std::fprintf(out, "[%zu/%zu] %s: %s\n", i + 1, count, names[i].c_str(),
                         ResultText(result));
        } else {
            std::fprintf(out, "[%zu/%zu] %s -> %s: %s (%u front, %u rear, %u audio packets)\n",
                         i + 1, count, names[i].c_str(), destination.c_str(), ResultText(result),
                         counts.front, counts.rear, counts.audio);
        }
        std::fflush(out);
    }
    return failed ? 1 : 0;
}

}  // namespace locket
