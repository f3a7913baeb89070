// The walk over mounted removable volumes, in place of drive letters: the mount points under
// /media, /run/media and /mnt, read from the mounts file, in a fixed order.
#pragma once

#include <string>
#include <vector>

namespace locket {

constexpr const char* kProcMountsFile = "/proc/self/mounts";

// Mount points of removable volumes in a mounts-file text (fstab format, octal escapes such as
// \040 decoded): those under /media, then /run/media, then /mnt, each group sorted by path,
// duplicates removed.
std::vector<std::string> RemovableMountPoints(const std::string& mountsText);

// Re-reads the mounts file only when asked and tells whether it changed, so a once-a-second
// poll walks the volumes again only after a mount or an unmount. `rootPrefix` is put before
// every mount point (a test's stand-in for the root folder); empty on a real system.
class CRemovableVolumes {
public:
    explicit CRemovableVolumes(std::string mountsFile = kProcMountsFile,
                               std::string rootPrefix = {});

    // Reads the mounts file; true when its text differs from the last read (the first read
    // counts as a change). An unreadable file reads as empty.
    bool Refresh();

    const std::vector<std::string>& MountPoints() const { return m_mountPoints; }
    const std::string& MountsFile() const { return m_mountsFile; }

private:
    std::string m_mountsFile;
    std::string m_rootPrefix;
    std::string m_lastText;
    bool m_readOnce = false;
    std::vector<std::string> m_mountPoints;
};

// The whole text of a file, false when it cannot be opened (proc files have no size, so it is
// read to the end).
bool ReadWholeFile(const std::string& path, std::string* text, size_t maxBytes = 1 << 20);

}  // namespace locket
