#include "tat/tat_text_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tat/tat_format.h"
#include "tat/tat_library.h"

namespace locket {

namespace {

using namespace tatfmt;

constexpr size_t kChunkBytes = 4u << 20;

class CChunkedFile {
public:
    explicit CChunkedFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), m_buffer(kChunkBytes) {
        struct stat st;
        m_size = m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }
    ~CChunkedFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    uint64_t Size() const { return m_size; }

    // `count` bytes at `offset` (at most kChunkBytes), or null when they are not in the file.
    const uint8_t* At(uint64_t offset, size_t count) {
        if (count > kChunkBytes || offset + count > m_size)
            return nullptr;
        if (offset < m_start || offset + count > m_start + m_filled) {
            m_start = offset;
            m_filled = 0;
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(kChunkBytes, m_size - offset));
            while (m_filled < want) {
                const ssize_t n = ::pread(m_fd, m_buffer.data() + m_filled, want - m_filled,
                                          static_cast<off_t>(offset + m_filled));
                if (n <= 0)
                    break;
                m_filled += static_cast<size_t>(n);
            }
            if (count > m_filled)
                return nullptr;
        }
        return m_buffer.data() + (offset - m_start);
    }

private:
    int m_fd;
    uint64_t m_size = 0;
    std::vector<uint8_t> m_buffer;
    uint64_t m_start = 0;
    size_t m_filled = 0;
};

}  // namespace

bool ScanTextPackets(const std::string& path,
                     const std::function<void(uint32_t, const uint8_t*, uint32_t)>& visit) {
    CChunkedFile file(path);
    const uint8_t* header = file.At(0, kHeaderBytes);
    if (!header || std::memcmp(header + kHdrMagic, kFileMagic, 4) != 0 ||
        GetLE16(header + kHdrVersion) != kFormatVersion ||
        GetLE16(header + kHdrSize) != kHeaderBytes ||
        Crc32(header, kHdrCrc) != GetLE32(header + kHdrCrc))
        return false;
    uint64_t pos = kHeaderBytes;
    while (const uint8_t* h = file.At(pos, kPacketHeaderBytes)) {
        const uint32_t size = GetLE32(h + kPktSize);
        if (PacketHeaderPlausible(h) && pos + kPacketHeaderBytes + size <= file.Size()) {
            if (h[kPktKind] == kTatKindText) {
                const uint32_t time = GetLE32(h + kPktTime);
                const uint8_t* packet = file.At(pos, kPacketHeaderBytes + size);
                if (packet && PacketCrcMatches(packet, packet + kPacketHeaderBytes))
                    visit(time, packet + kPacketHeaderBytes, size);
            }
            pos += kPacketHeaderBytes + size;
            continue;
        }
        // Damage (or the index at the end): on to the next sync word.
        ++pos;
        for (;;) {
            const size_t span = static_cast<size_t>(
                std::min<uint64_t>(kChunkBytes, file.Size() > pos ? file.Size() - pos : 0));
            const uint8_t* bytes = span >= 4 ? file.At(pos, span) : nullptr;
            if (!bytes)
                return true;
            const uint8_t* hit =
                static_cast<const uint8_t*>(memmem(bytes, span, kPacketSync, sizeof kPacketSync));
            if (hit) {
                pos += static_cast<uint64_t>(hit - bytes);
                break;
            }
            pos += span - 3;
        }
    }
    return true;
}

}  // namespace locket
