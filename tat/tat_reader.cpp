#include "tat/tat_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tat/tat_format.h"

namespace locket {

using namespace tatfmt;

CTatReader::~CTatReader() {
    Close();
}

void CTatReader::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    std::memset(m_desc, 0, sizeof m_desc);
    m_counts = {};
    m_countsText.clear();
    m_durationMs = 0;
    m_groups.clear();
    m_dataEnd = 0;
    m_scanned = false;
    m_ioError = false;
    m_pos = 0;
    m_groupsDelivered = 0;
    m_skipped = 0;
    m_endStatus = kTatPacket;
}

bool CTatReader::Open(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    m_fd = fd;
    m_path = path;
    struct stat st;
    uint8_t header[kHeaderBytes];
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < off_t(kHeaderBytes) ||
        !ReadAt(0, header, kHeaderBytes) || std::memcmp(header, kFileMagic, 4) != 0 ||
        GetLE16(header + kHdrVersion) != kFormatVersion ||
        GetLE16(header + kHdrSize) != kHeaderBytes ||
        Crc32(header, kHdrCrc) != GetLE32(header + kHdrCrc)) {
        std::printf("Read Header Failed\n");
        Close();
        return false;
    }
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    std::memcpy(m_desc, header + kHdrDesc, kTatDescriptionBytes);
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);

    bool finished = (GetLE32(header + kHdrFlags) & kFlagFinished) != 0;
    uint32_t lastGroupFrame = 0;
    bool indexed = finished && LoadIndex(fileSize, &lastGroupFrame);
    bool counted = indexed && HeaderCountsHold(header, lastGroupFrame);
    if (indexed && !counted)
        std::printf("[TAT] header counts disagree with the file, scanning %s\n", path.c_str());
    if (counted) {
        m_counts.video0 = GetLE32(header + kHdrCount0);
        m_counts.video1 = GetLE32(header + kHdrCount1);
        m_counts.audio = GetLE32(header + kHdrAudio);
        m_counts.acc = GetLE32(header + kHdrAcc);
        m_counts.gps = GetLE32(header + kHdrGps);
        m_durationMs = GetLE32(header + kHdrDuration);
    } else {
        // Power cut (no index, counts never written), a damaged end, or counts the index
        // contradicts: the packets tell.
        m_dataEnd = fileSize;
        Scan();
        if (m_ioError) {
            Close();
            return false;
        }
    }
    // Formatted from the counts taken, never copied: the header's own text may say otherwise
    // (or run on without its terminator) under an intact checksum.
    char text[kTatCountsTextBytes];
    FormatCountsText(text, sizeof text, m_counts.video0, m_counts.video1, m_counts.audio,
                     m_counts.acc, m_counts.gps);
    m_countsText = text;
    Rewind();
    return true;
}

void CTatReader::CountsText(char* text, size_t capacity) const {
    if (!text || capacity == 0)
        return;
    size_t n = std::min(capacity - 1, m_countsText.size());
    std::memcpy(text, m_countsText.data(), n);
    text[n] = 0;
}

bool CTatReader::ReadAt(uint64_t offset, void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            m_ioError = true;
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CTatReader::PacketAt(uint64_t offset, uint8_t* header, uint8_t* payload, uint32_t capacity) {
    if (offset < kHeaderBytes || offset + kPacketHeaderBytes > m_dataEnd ||
        !ReadAt(offset, header, kPacketHeaderBytes) || !PacketHeaderPlausible(header))
        return false;
    uint32_t size = GetLE32(header + kPktSize);
    if (offset + kPacketHeaderBytes + size > m_dataEnd)
        return false;
    uint8_t* target = payload;
    if (!payload || size > capacity) {
        m_scratch.resize(std::max<size_t>(size, 1));
        target = m_scratch.data();
    }
    return ReadAt(offset + kPacketHeaderBytes, target, size) && PacketCrcMatches(header, target);
}

uint64_t CTatReader::Resync(uint64_t from) {
    constexpr size_t kChunk = 64 * 1024;
    std::vector<uint8_t>& chunk = m_resyncChunk;
    chunk.resize(kChunk);
    uint8_t header[kPacketHeaderBytes];
    uint64_t pos = std::max<uint64_t>(from, kHeaderBytes);
    while (pos + kPacketHeaderBytes <= m_dataEnd && !m_ioError) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, m_dataEnd - pos));
        if (!ReadAt(pos, chunk.data(), want))
            break;
        // A sync word may straddle the chunk's end: only starts with 4 bytes in view count.
        size_t last = want >= 4 ? want - 4 : 0;
        for (size_t i = 0; i <= last && want >= 4; ++i) {
            const uint8_t* hit = static_cast<const uint8_t*>(
                std::memchr(chunk.data() + i, kPacketSync[0], last + 1 - i));
            if (!hit)
                break;
            i = static_cast<size_t>(hit - chunk.data());
            if (std::memcmp(hit, kPacketSync, 4) == 0 && PacketAt(pos + i, header, nullptr, 0))
                return pos + i;
        }
        if (want < 4)
            break;
        pos += last + 1;
    }
    return m_dataEnd;
}

bool CTatReader::LoadIndex(uint64_t fileSize, uint32_t* lastGroupFrame) {
    if (fileSize < kHeaderBytes + kIndexHeadBytes + 4 + kTrailerBytes)
        return false;
    uint8_t trailer[kTrailerBytes];
    if (!ReadAt(fileSize - kTrailerBytes, trailer, kTrailerBytes) ||
        std::memcmp(trailer, kTrailerMagic, 4) != 0 || Crc32(trailer, 12) != GetLE32(trailer + 12))
        return false;
    uint64_t indexOffset = GetLE64(trailer + 4);
    uint64_t indexEnd = fileSize - kTrailerBytes;
    if (indexOffset < kHeaderBytes || indexOffset + kIndexHeadBytes + 4 > indexEnd)
        return false;
    uint64_t blockSize = indexEnd - indexOffset;
    if ((blockSize - kIndexHeadBytes - 4) % kIndexEntryBytes != 0)
        return false;
    std::vector<uint8_t> block(static_cast<size_t>(blockSize));
    if (!ReadAt(indexOffset, block.data(), block.size()) ||
        std::memcmp(block.data(), kIndexMagic, 4) != 0 ||
        GetLE32(block.data() + 4) != (blockSize - kIndexHeadBytes - 4) / kIndexEntryBytes ||
        Crc32(block.data(), block.size() - 4) != GetLE32(block.data() + block.size() - 4))
        return false;
    uint32_t entries = GetLE32(block.data() + 4);
    std::vector<uint64_t> groups;
    groups.reserve(entries);
    uint32_t frame = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* entry = block.data() + kIndexHeadBytes + size_t(i) * kIndexEntryBytes;
        uint64_t offset = GetLE64(entry);
        if (offset < kHeaderBytes || offset + kPacketHeaderBytes > indexOffset ||
            (!groups.empty() && offset <= groups.back()))
            return false;
        // Every group holds at least its first picture, and no more pictures come before a
        // group than whole packets fit in the bytes before it.
        uint32_t before = GetLE32(entry + 12);
        if ((!groups.empty() && before <= frame) ||
            before > (offset - kHeaderBytes) / (kPacketHeaderBytes + 1))
            return false;
        frame = before;
        groups.push_back(offset);
    }
    m_groups = std::move(groups);
    m_dataEnd = indexOffset;
    *lastGroupFrame = frame;
    return true;
}

bool CTatReader::HeaderCountsHold(const uint8_t* header, uint32_t lastGroupFrame) {
    if (GetLE32(header + kHdrGroups) != m_groups.size())
        return false;
    // No packet is smaller than a header and one byte.
    uint64_t packets = uint64_t(GetLE32(header + kHdrCount0)) + GetLE32(header + kHdrCount1) +
                       GetLE32(header + kHdrAudio) + GetLE32(header + kHdrAcc) +
                       GetLE32(header + kHdrGps);
    if (packets > (m_dataEnd - kHeaderBytes) / (kPacketHeaderBytes + 1))
        return false;
    // The front pictures: those before the last group, by the index, and those from its start
    // to the end, counted here (a few dozen headers, payloads unread).
    uint64_t pos = m_groups.empty() ? kHeaderBytes : m_groups.back();
    uint64_t front = m_groups.empty() ? 0 : lastGroupFrame;
    uint8_t packet[kPacketHeaderBytes];
    while (pos < m_dataEnd) {
        if (pos + kPacketHeaderBytes > m_dataEnd || !ReadAt(pos, packet, kPacketHeaderBytes) ||
            !PacketHeaderPlausible(packet))
            return false;
        if (packet[kPktStream] == 0 &&
            (packet[kPktKind] == kTatKindGroupStart || packet[kPktKind] == kTatKindVideo))
            ++front;
        pos += kPacketHeaderBytes + GetLE32(packet + kPktSize);
    }
    return pos == m_dataEnd && front == GetLE32(header + kHdrCount0);
}

void CTatReader::Scan() {
    m_groups.clear();
    m_counts = {};
    uint8_t header[kPacketHeaderBytes];
    uint64_t pos = kHeaderBytes;
    uint64_t goodEnd = kHeaderBytes;
    while (pos < m_dataEnd && !m_ioError) {
        if (!PacketAt(pos, header, nullptr, 0)) {
            pos = Resync(pos + 1);
            continue;
        }
        uint32_t size = GetLE32(header + kPktSize);
        uint8_t stream = header[kPktStream];
        switch (header[kPktKind]) {
            case kTatKindGroupStart:
                m_groups.push_back(pos);
                [[fallthrough]];
            case kTatKindVideo:
                ++(stream == 0 ? m_counts.video0 : m_counts.video1);
                break;
            case kTatKindAudio:
                ++m_counts.audio;
                break;
            default:
                if (size && m_scratch[0] == 'M')
                    ++m_counts.acc;
                else if (size && m_scratch[0] == 'G')
                    ++m_counts.gps;
                break;
        }
        m_durationMs = GetLE32(header + kPktTime);
        pos += kPacketHeaderBytes + size;
        goodEnd = pos;
    }
    // A torn last packet is not data: reading ends with the last whole one.
    m_dataEnd = goodEnd;
    m_scanned = true;
}

bool CTatReader::StillThere() const {
    // One look at the name per packet. The open descriptor keeps the inode alive, so its
    // number is never reused: a name that still leads to it means the file still has a link.
    struct stat st;
    return ::stat(m_path.c_str(), &st) == 0 && st.st_dev == m_dev && st.st_ino == m_ino;
}

void CTatReader::Rewind() {
    m_pos = kHeaderBytes;
    m_groupsDelivered = 0;
    m_skipped = 0;
    m_endStatus = IsOpen() ? kTatPacket : kTatEndDamaged;
}

bool CTatReader::SeekGroup(int group) {
    if (!IsOpen() || m_groups.empty())
        return false;
    group = std::clamp(group, 0, GroupCount() - 1);
    m_pos = m_groups[static_cast<size_t>(group)];
    if (m_endStatus != kTatEndDamaged)
        m_endStatus = kTatPacket;
    return true;
}

int CTatReader::ReadPacket(uint8_t* buffer, uint32_t capacity, TatPacketInfo* info) {
    if (!IsOpen())
        return kTatEndDamaged;
    if (m_endStatus != kTatPacket)
        return m_endStatus;
    if (!StillThere()) {
        std::printf("[TAT] recording gone: %s\n", m_path.c_str());
        return m_endStatus = kTatEndDamaged;
    }
    uint8_t header[kPacketHeaderBytes];
    while (true) {
        if (m_pos >= m_dataEnd)
            return m_endStatus = kTatEnd;
        if (!PacketAt(m_pos, header, buffer, capacity)) {
            if (m_ioError)
                return m_endStatus = kTatEndDamaged;
            std::printf("[TAT] damaged data at %llu in %s\n",
                        static_cast<unsigned long long>(m_pos), m_path.c_str());
            ++m_skipped;
            m_pos = Resync(m_pos + 1);
            if (m_ioError)
                return m_endStatus = kTatEndDamaged;
            continue;
        }
        uint32_t size = GetLE32(header + kPktSize);
        m_pos += kPacketHeaderBytes + size;
        if (size > capacity || !buffer) {
            std::printf("[TAT] packet of %u bytes skipped, buffer holds %u\n", size, capacity);
            ++m_skipped;
            continue;
        }
        // An empty packet carries nothing, and a queue of packets cannot hold one.
        if (size == 0)
            continue;
        if (header[kPktKind] == kTatKindGroupStart)
            ++m_groupsDelivered;
        if (info) {
            info->stream = header[kPktStream];
            info->kind = header[kPktKind];
            info->flag = header[kPktFlag];
            info->size = size;
            info->timeMs = GetLE32(header + kPktTime);
        }
        return kTatPacket;
    }
}

}  // namespace locket
