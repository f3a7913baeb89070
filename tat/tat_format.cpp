#include "tat/tat_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <libdeflate.h>

namespace locket::tatfmt {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    // libdeflate picks the fastest way the processor offers (carry-less multiply where there
    // is one): every packet read is checksummed whole, so the export and the scan of an
    // unindexed recording spend much of their time here.
    return size ? libdeflate_crc32(crc, data, size) : crc;
}

void BuildPacketHeader(uint8_t* header, uint8_t stream, uint8_t kind, uint8_t flag, uint32_t size,
                       uint32_t timeMs, uint32_t seq, const uint8_t* payload) {
    std::memcpy(header + kPktSync, kPacketSync, 4);
    header[kPktStream] = stream;
    header[kPktKind] = kind;
    header[kPktFlag] = flag;
    header[kPktReserved] = 0;
    PutLE32(header + kPktSize, size);
    PutLE32(header + kPktTime, timeMs);
    PutLE32(header + kPktSeq, seq);
    PutLE32(header + kPktHeaderCrc, Crc32(header, kPktHeaderCrc));
    PutLE32(header + kPktCrc, size ? Crc32(payload, size) : 0);
}

bool PacketHeaderPlausible(const uint8_t* header) {
    return std::memcmp(header + kPktSync, kPacketSync, 4) == 0 && header[kPktStream] <= 1 &&
           header[kPktKind] <= 3 && GetLE32(header + kPktSize) <= kMaxPayloadBytes &&
           Crc32(header, kPktHeaderCrc) == GetLE32(header + kPktHeaderCrc);
}

bool PacketCrcMatches(const uint8_t* header, const uint8_t* payload) {
    uint32_t size = GetLE32(header + kPktSize);
    return (size ? Crc32(payload, size) : 0) == GetLE32(header + kPktCrc);
}

void FormatCountsText(char* text, size_t capacity, uint32_t video0, uint32_t video1, uint32_t audio,
                      uint32_t acc, uint32_t gps) {
    if (!text || capacity == 0)
        return;
    // Readers take the numbers as signed 32-bit values.
    auto n = [](uint32_t v) { return int(std::min<uint32_t>(v, INT32_MAX)); };
    std::snprintf(text, capacity, "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d",
                  n(video0), n(video1), n(audio), n(acc), n(gps));
}

}  // namespace locket::tatfmt
