#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace locket {

namespace {

// Renames without replacing: false when `to` exists (errno EEXIST) or the rename fails.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: look first. Only a second writer of the same folder
    // could make the file in between.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && std::rename(from.c_str(), to.c_str()) == 0;
}

// The position of the extension's dot in the file name of `path`, npos without one.
size_t ExtensionDot(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return dot != std::string::npos && dot > nameStart ? dot : std::string::npos;
}

}  // namespace

std::string ExportPath(const std::string& folder, const std::string& name,
                       const std::string& extension) {
    std::string file = name;
    std::replace(file.begin(), file.end(), '/', '_');
    std::replace(file.begin(), file.end(), '\\', '_');
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0)
        file.erase(dot);
    if (file.empty() || file == "." || file == "..")
        return {};
    file += extension;
    if (folder.empty())
        return file;
    return folder.back() == '/' ? folder + file : folder + "/" + file;
}

std::string PartPath(const std::string& destination) {
    return destination + ".part";
}

std::string IncompletePath(const std::string& destination) {
    const size_t dot = ExtensionDot(destination);
    if (dot == std::string::npos)
        return destination + ".incomplete";
    return destination.substr(0, dot) + ".incomplete" + destination.substr(dot);
}

void PlaceOutput(const std::string& destination, ExportReport* report) {
    const std::string part = PartPath(destination);
    switch (report->result) {
        case ExportResult::kWritten:
            if (std::rename(part.c_str(), destination.c_str()) == 0) {
                report->file = destination;
                return;
            }
            break;
        case ExportResult::kIncomplete:
        case ExportResult::kStopped: {
            const std::string target = report->result == ExportResult::kIncomplete
                                           ? IncompletePath(destination)
                                           : destination;
            if (RenameNoReplace(part, target)) {
                report->file = target;
                return;
            }
            if (errno == EEXIST) {
                std::printf("[Export] %s exists and is kept; the partial file is removed\n",
                            target.c_str());
                report->keptEarlier = true;
                std::remove(part.c_str());
                return;
            }
            break;
        }
        default:
            std::remove(part.c_str());
            return;
    }
    std::printf("[Export] %s not renamed: %s\n", part.c_str(), std::strerror(errno));
    std::remove(part.c_str());
    report->result = ExportResult::kWriteFailed;
}

}  // namespace locket
