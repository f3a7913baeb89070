#include "platform/private_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"

namespace locket {

namespace {

// Settings files are a few hundred bytes; anything this large is not one.
constexpr size_t kMaxProfileBytes = 16 << 20;

enum class FileRead { kRead, kMissing, kFailed };

FileRead ReadProfileFile(const std::string& path, std::string* text) {
    text->clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileRead::kMissing : FileRead::kFailed;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || (errno = EISDIR, false));
    char chunk[4096];
    while (ok) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text->append(chunk, static_cast<size_t>(n));
        ok = text->size() <= kMaxProfileBytes || (errno = EFBIG, false);
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok ? FileRead::kRead : FileRead::kFailed;
}

std::string_view TrimTrailingBlanks(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, size_t size, const std::string& path) {
    if (size == 0)
        return {};
    std::string text;
    std::optional<std::string> value;
    if (ReadProfileFile(path, &text) == FileRead::kRead)
        value = FindProfileValue(text, section, key);
    std::string out = value ? std::move(*value) : std::string(TrimTrailingBlanks(def));
    if (out.size() > size - 1)
        out.resize(size - 1);
    return out;
}

size_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                               size_t size, const std::string& path) {
    if (!buf || size == 0)
        return 0;
    std::string value =
        GetPrivateProfileString(section ? section : "", key ? key : "", def ? def : "", size, path);
    std::memcpy(buf, value.data(), value.size());
    buf[value.size()] = '\0';
    return value.size();
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& path) {
    std::string text;
    if (ReadProfileFile(path, &text) != FileRead::kRead)
        return def;
    std::optional<std::string> value = FindProfileValue(text, section, key);
    if (!value || value->empty())
        return def;
    std::string_view digits = *value;
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+')
        digits.remove_prefix(1);
    uint32_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int>(negative ? 0u - n : n);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path,
                               LineEnd newFileLineEnd) {
    const ProfileWrite write{std::string(section), std::string(key), std::string(value)};
    return WritePrivateProfileStrings(std::span(&write, 1), path, newFileLineEnd);
}

bool WritePrivateProfileStrings(std::span<const ProfileWrite> writes, const std::string& path,
                                LineEnd newFileLineEnd) {
    if (writes.empty())
        return true;
    std::string text;
    FileRead read = ReadProfileFile(path, &text);
    if (read == FileRead::kFailed) {
        // Replacing a file that could not be read would lose every other line in it.
        std::printf("[PrivateProfile] cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::string updated = text;
    if (!ApplyProfileWrites(&updated, writes, newFileLineEnd)) {
        std::printf("[PrivateProfile] refused a write to %s: a name or value breaks the format\n",
                    path.c_str());
        return false;
    }
    if (read == FileRead::kRead && updated == text)
        return true;
    return ReplaceFileAtomically(path, updated);
}

}  // namespace locket
