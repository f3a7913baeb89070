// One open TAT recording: header, key-frame group index (read from the file or built by a
// scan), and packet reading with resynchronisation after damage. Not thread-safe; the library
// guards it with its stream lock.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tat/tat_library.h"

namespace locket {

struct TatRecordingCounts {
    uint32_t video0 = 0;
    uint32_t video1 = 0;
    uint32_t audio = 0;
    uint32_t acc = 0;
    uint32_t gps = 0;
};

struct TatPacketInfo {
    uint8_t stream = 0;
    uint8_t kind = 0;
    uint8_t flag = 0;
    uint32_t size = 0;
    uint32_t timeMs = 0;
};

class CTatReader {
public:
    CTatReader() = default;
    ~CTatReader();
    CTatReader(const CTatReader&) = delete;
    CTatReader& operator=(const CTatReader&) = delete;

    // Reads the header and the index; a file without a usable index (or with unfinished
    // counts) is scanned. False when the file is not a TAT recording.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    const std::string& Path() const { return m_path; }
    const uint8_t* Description() const { return m_desc; }
    const TatRecordingCounts& Counts() const { return m_counts; }
    // The counts text, NUL-terminated in at most `capacity` bytes.
    void CountsText(char* text, size_t capacity) const;
    int GroupCount() const { return static_cast<int>(m_groups.size()); }
    bool Scanned() const { return m_scanned; }
    uint32_t DurationMs() const { return m_durationMs; }

    // Back to the first packet; the delivered-group count starts again at 0.
    void Rewind();
    // Continues at the first packet of key-frame group `group` (clamped to the groups there
    // are); false when the recording has none.
    bool SeekGroup(int group);
    // Group starts delivered since the last Rewind.
    int GroupsDelivered() const { return m_groupsDelivered; }
    // Damaged stretches and packets too large for the caller's buffer passed over since the
    // last Rewind: what a reader that wants every packet did not get.
    uint32_t Skipped() const { return m_skipped; }

    // One packet into `buffer` (at most `capacity` bytes; larger packets are skipped).
    // Returns kTatPacket, kTatEnd at the end of the readable packets, or kTatEndDamaged when
    // the file can no longer be read (removed, I/O error). Once ended, stays ended until a
    // Rewind or SeekGroup.
    int ReadPacket(uint8_t* buffer, uint32_t capacity, TatPacketInfo* info);

private:
    bool ReadAt(uint64_t offset, void* data, size_t size);
    // A whole, checksummed packet at `offset` inside the packet area; the payload goes to
    // `payload` when it holds `capacity` bytes, else to the scratch buffer.
    bool PacketAt(uint64_t offset, uint8_t* header, uint8_t* payload, uint32_t capacity);
    // The next offset >= from that holds a whole packet, or m_dataEnd.
    uint64_t Resync(uint64_t from);
    // Reads the group index; *lastGroupFrame is the number of front pictures before the last
    // group.
    bool LoadIndex(uint64_t fileSize, uint32_t* lastGroupFrame);
    // True when the header's counts agree with the index and the size of the packet area.
    bool HeaderCountsHold(const uint8_t* header, uint32_t lastGroupFrame);
    void Scan();
    bool StillThere() const;

    int m_fd = -1;
    std::string m_path;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    uint8_t m_desc[kTatDescriptionBytes] = {};
    TatRecordingCounts m_counts;
    uint32_t m_durationMs = 0;
    std::vector<uint64_t> m_groups;  // file offset of each group's first packet
    uint64_t m_dataEnd = 0;          // end of the packet area
    bool m_scanned = false;
    std::string m_countsText;
    std::vector<uint8_t> m_scratch;
    std::vector<uint8_t> m_resyncChunk;
    bool m_ioError = false;

    uint64_t m_pos = 0;
    int m_groupsDelivered = 0;
    uint32_t m_skipped = 0;
    int m_endStatus = kTatPacket;  // kTatPacket while not ended
};

}  // namespace locket
