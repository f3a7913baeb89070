#include "tat/tat_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace locket::tatfmt {

namespace {

// Slicing-by-4 tables: the scan of an unindexed recording checksums every byte of it.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 4> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 4; ++s)
                t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const CrcTables& Tables() {
    static const CrcTables tables;
    return tables;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    const auto& t = Tables().t;
    crc = ~crc;
    while (size >= 4) {
        crc ^= GetLE32(data);
        crc =
            t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
        data += 4;
        size -= 4;
    }
    while (size--)
        crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
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
