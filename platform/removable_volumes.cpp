#include "platform/removable_volumes.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

namespace locket {

namespace {

constexpr const char* kVolumeParents[] = {"/media", "/run/media", "/mnt"};

// fstab escapes blanks and backslashes as \ooo.
std::string DecodeOctalEscapes(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool octal = true;
            for (size_t k = 1; k <= 3; ++k) {
                char c = field[i + k];
                if (c < '0' || c > '7') {
                    octal = false;
                    break;
                }
                value = value * 8 + (c - '0');
            }
            if (octal && value > 0 && value < 256) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// The index of the parent folder the mount point lies under, -1 when none.
int ParentRank(const std::string& mountPoint) {
    for (int i = 0; i < 3; ++i) {
        std::string parent = kVolumeParents[i];
        if (mountPoint.size() > parent.size() + 1 &&
            mountPoint.compare(0, parent.size(), parent) == 0 && mountPoint[parent.size()] == '/')
            return i;
    }
    return -1;
}

}  // namespace

std::vector<std::string> RemovableMountPoints(const std::string& mountsText) {
    std::vector<std::pair<int, std::string>> found;
    std::istringstream lines(mountsText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        if (!(fields >> device >> mountPoint) || device.empty() || device[0] == '#')
            continue;
        mountPoint = DecodeOctalEscapes(mountPoint);
        while (mountPoint.size() > 1 && mountPoint.back() == '/')
            mountPoint.pop_back();
        int rank = ParentRank(mountPoint);
        if (rank >= 0)
            found.emplace_back(rank, mountPoint);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<std::string> out;
    out.reserve(found.size());
    for (auto& f : found)
        out.push_back(std::move(f.second));
    return out;
}

bool ReadWholeFile(const std::string& path, std::string* text, size_t maxBytes) {
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file || !text)
        return false;
    text->clear();
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (text->size() + n > maxBytes) {
            text->append(chunk, maxBytes - text->size());
            break;
        }
        text->append(chunk, n);
    }
    return !std::ferror(file.get());
}

CRemovableVolumes::CRemovableVolumes(std::string mountsFile, std::string rootPrefix)
    : m_mountsFile(std::move(mountsFile)), m_rootPrefix(std::move(rootPrefix)) {}

bool CRemovableVolumes::Refresh() {
    std::string text;
    if (m_mountsFile.empty() || !ReadWholeFile(m_mountsFile, &text))
        text.clear();
    if (m_readOnce && text == m_lastText)
        return false;
    m_readOnce = true;
    m_lastText = std::move(text);
    m_mountPoints = RemovableMountPoints(m_lastText);
    if (!m_rootPrefix.empty())
        for (std::string& mountPoint : m_mountPoints)
            mountPoint = m_rootPrefix + mountPoint;
    return true;
}

}  // namespace locket
