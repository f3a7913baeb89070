#include "tat/card_layout.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace locket {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool AllDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size())
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

}  // namespace

const char* CategoryFolder(int32_t category) {
    return category >= 0 && category < kTatCategoryCount ? kTatCategoryFolders[category] : nullptr;
}

const char* CategoryKind(int32_t category) {
    return category >= 0 && category < kTatCategoryCount ? kTatCategoryKinds[category] : nullptr;
}

int32_t CategoryOfName(const std::string& name) {
    std::string kind = name.substr(0, name.find('_'));
    for (int32_t c = 0; c < kTatCategoryCount; ++c)
        if (EqualsNoCase(kind, kTatCategoryKinds[c]))
            return c;
    return -1;
}

std::string RecordingFileName(int32_t category, const RecordingTime& t, int cameras) {
    const char* kind = CategoryKind(category);
    if (!kind || t.year < 0 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > 31 || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
        t.second > 59)
        return {};
    char name[64];
    std::snprintf(name, sizeof name, "%s_%04d%02d%02d_%02d%02d%02d_%c%s", kind, t.year, t.month,
                  t.day, t.hour, t.minute, t.second, cameras >= 2 ? 'D' : 'F', kTatExtension);
    return name;
}

std::string RecordingPath(const std::string& cardRoot, int32_t category, const RecordingTime& t,
                          int cameras) {
    std::string name = RecordingFileName(category, t, cameras);
    if (name.empty())
        return {};
    return JoinPath(JoinPath(cardRoot, CategoryFolder(category)), name);
}

bool IsRecordingFileName(const std::string& name) {
    std::string base = name;
    size_t ext = std::strlen(kTatExtension);
    if (base.size() > ext && EqualsNoCase(base.substr(base.size() - ext), kTatExtension))
        base.resize(base.size() - ext);
    int32_t category = CategoryOfName(base);
    if (category < 0)
        return false;
    size_t p = std::strlen(kTatCategoryKinds[category]);
    // _YYYYMMDD_hhmmss_F
    if (base.size() != p + 18 || base[p] != '_' || !AllDigits(base, p + 1, 8) ||
        base[p + 9] != '_' || !AllDigits(base, p + 10, 6) || base[p + 16] != '_')
        return false;
    return std::isalpha(static_cast<unsigned char>(base[p + 17])) != 0;
}

std::string JoinPath(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    if (a.back() == '/')
        return a + b;
    return a + "/" + b;
}

bool IsCardFolder(const std::string& folder) {
    if (folder.empty() || !IsDirectory(JoinPath(folder, kSettingFolder)))
        return false;
    for (const char* sub : kTatCategoryFolders)
        if (!IsDirectory(JoinPath(folder, sub)))
            return false;
    return true;
}

bool CreateCardLayout(const std::string& root) {
    if (!MakeDirectory(root) || !MakeDirectory(JoinPath(root, kSettingFolder)))
        return false;
    for (const char* sub : kTatCategoryFolders)
        if (!MakeDirectory(JoinPath(root, sub)))
            return false;
    return IsCardFolder(root);
}

}  // namespace locket
