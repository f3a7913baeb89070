#include "tat/tat_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace locket::tatfmt {

namespace {

// Slicing-by-8 tables: every packet read is checksummed whole, so the export and the scan of an
// unindexed recording spend much of their time here.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s)
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
    while (size >= 8) {
        const uint32_t low = crc ^ GetLE32(data);
        const uint32_t high = GetLE32(data + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
              t[4][low >> 24] ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^
              t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
        data += 8;
        size -= 8;
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
