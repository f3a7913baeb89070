#include "settings/settings_file.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/atomic_file.h"
#include "tat/card_layout.h"

namespace locket {

namespace {

constexpr const char* kSettingsFileName = "blackbox.cfg";

bool IsKind(const std::string& path, bool folder) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

// The entry of folder named `name` without regard to case and of the wanted kind; the exact
// spelling wins when several exist. Empty when none.
std::string FindEntry(const std::string& folder, const char* name, bool wantFolder) {
    const std::string exact = JoinPath(folder, name);
    if (IsKind(exact, wantFolder))
        return exact;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    std::vector<std::string> matches;
    while (const struct dirent* e = ::readdir(dir)) {
        if (::strcasecmp(e->d_name, name) == 0 && IsKind(JoinPath(folder, e->d_name), wantFolder))
            matches.push_back(JoinPath(folder, e->d_name));
    }
    ::closedir(dir);
    // Directory order is arbitrary: sorted, the pick does not change from one call to the next.
    std::sort(matches.begin(), matches.end());
    return matches.empty() ? std::string() : matches.front();
}

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

std::string FindSettingsFile(const std::string& root) {
    const std::string folder = FindEntry(root, kSettingFolder, true);
    return folder.empty() ? std::string() : FindEntry(folder, kSettingsFileName, false);
}

std::string SettingsFilePath(const std::string& root) {
    const std::string folder = FindEntry(root, kSettingFolder, true);
    if (folder.empty())
        return {};
    const std::string file = FindEntry(folder, kSettingsFileName, false);
    return file.empty() ? JoinPath(folder, kSettingsFileName) : file;
}

bool RestoreSettingsFile(TatHandle handle, const std::string& path) {
    char buffer[kTatSettingsBytes];
    int32_t size = kTatSettingsBytes;
    if (!TatReadSettings(handle, buffer, &size)) {
        std::printf("[Settings] the card delivered no settings text\n");
        return false;
    }
    // Room for the terminating zero, whatever length the library claims.
    size = std::clamp<int32_t>(size, 0, kTatSettingsBytes - 1);
    buffer[size] = '\0';
    std::string text;
    text.reserve(size_t(size) * 2);
    for (int32_t i = 0; i < size && buffer[i] != '\0'; ++i) {
        if (buffer[i] == '\r')
            continue;
        if (buffer[i] == '\n')
            text += '\r';
        text += buffer[i];
    }
    // A pulled card leaves the old state (no file) rather than a cut one that counts as present.
    if (!ReplaceFileAtomically(path, text)) {
        std::printf("[Settings] cannot restore %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string LocateSettingsFile(const std::vector<std::string>& roots,
                               const std::string& trackedRoot, TatHandle handle) {
    for (size_t i = 0; i < roots.size(); ++i) {
        const std::string& root = roots[i];
        // The same card reached twice (a --card folder that is also mounted) is probed once.
        if (std::any_of(roots.begin(), roots.begin() + i,
                        [&](const std::string& earlier) { return SameFolder(earlier, root); }))
            continue;
        std::string path = FindSettingsFile(root);
        if (path.empty() && !trackedRoot.empty() && SameFolder(root, trackedRoot)) {
            const std::string target = SettingsFilePath(root);
            if (!target.empty() && RestoreSettingsFile(handle, target))
                path = FindSettingsFile(root);
        }
        if (path.empty())
            continue;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            return path;
        }
        std::printf("[Settings] cannot read %s\n", path.c_str());
    }
    return {};
}

}  // namespace locket
