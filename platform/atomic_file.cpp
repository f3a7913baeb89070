#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace locket {

namespace {

std::atomic<ReplaceFaultHook> g_faultHook{nullptr};
std::atomic<unsigned> g_tempCounter{0};

bool Fail(const char* step, const std::string& path) {
    std::printf("[ReplaceFileAtomically] %s %s failed: %s\n", step, path.c_str(),
                std::strerror(errno));
    return false;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// A temporary file next to target, created with the default permissions (umask applied).
int CreateTemp(const std::string& target, std::string* tempPath) {
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempPath = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(g_tempCounter.fetch_add(1));
        int fd = ::open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // some file systems refuse; the rename has happened either way
        ::close(fd);
    }
}

}  // namespace

void SetReplaceFaultHookForTest(ReplaceFaultHook hook) {
    g_faultHook.store(hook);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view text) {
    if (path.empty() || path.back() == '/') {
        errno = EINVAL;
        return Fail("replace", path);
    }
    // Renaming over a link would replace the link: write where it points instead.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool existed = ::stat(target.c_str(), &st) == 0;

    std::string tempPath;
    int fd = CreateTemp(target, &tempPath);
    if (fd < 0)
        return Fail("create temporary for", target);
    bool ok = WriteAll(fd, text) || Fail("write", tempPath);
    if (ok && existed)
        ::fchmod(fd, st.st_mode & 07777);  // a FAT card has no permission bits to keep
    ok = ok && (::fsync(fd) == 0 || Fail("sync", tempPath));
    ok = (::close(fd) == 0 || Fail("close", tempPath)) && ok;
    if (ok) {
        ReplaceFaultHook hook = g_faultHook.load();
        if (hook && !hook(tempPath)) {
            errno = EIO;
            ok = Fail("test fault before renaming", tempPath);
        }
    }
    ok = ok && (::rename(tempPath.c_str(), target.c_str()) == 0 || Fail("rename to", target));
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

}  // namespace locket
