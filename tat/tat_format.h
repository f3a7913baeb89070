// The on-disk structures of a TAT recording (see tat/FORMAT.md): byte offsets, little-endian
// access helpers and the CRC-32 that frames every packet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"

namespace locket::tatfmt {

// File header: fixed size, at offset 0.
constexpr uint32_t kHeaderBytes = 512;
constexpr uint8_t kFileMagic[4] = {'K', 'X', 'T', 'A'};
constexpr uint16_t kFormatVersion = 1;
constexpr size_t kHdrMagic = 0;         // 4 bytes
constexpr size_t kHdrVersion = 4;       // u16
constexpr size_t kHdrSize = 6;          // u16, kHeaderBytes
constexpr size_t kHdrFlags = 8;         // u32, kFlagFinished
constexpr size_t kHdrCount0 = 12;       // u32 front video packets
constexpr size_t kHdrCount1 = 16;       // u32 rear video packets
constexpr size_t kHdrAudio = 20;        // u32 audio packets
constexpr size_t kHdrAcc = 24;          // u32 'M' text packets
constexpr size_t kHdrGps = 28;          // u32 'G' text packets
constexpr size_t kHdrGroups = 32;       // u32 key-frame groups
constexpr size_t kHdrDuration = 36;     // u32 time stamp of the last packet, ms
constexpr size_t kHdrDesc = 40;         // 212-byte description block
constexpr size_t kHdrCountsText = 252;  // 256 bytes, NUL-terminated
constexpr size_t kHdrCrc = 508;         // u32 CRC-32 of bytes 0..507
constexpr uint32_t kFlagFinished = 1;

// Description block fields (offsets inside the 212 bytes).
constexpr size_t kDescVersion = 0;        // u8, 1
constexpr size_t kDescCameras = 2;        // u8, 1 or 2
constexpr size_t kDescFps0 = 3;           // u8
constexpr size_t kDescFps1 = 4;           // u8, 0 without rear camera
constexpr size_t kDescAudioBits = 5;      // u8, 16
constexpr size_t kDescAudioChannels = 6;  // u8, 1
constexpr size_t kDescSampleRate = 8;     // u32, 8000
constexpr size_t kDescGroupLength = 12;   // u16, 24
constexpr size_t kDescHeight0 = 20;       // u16
constexpr size_t kDescHeight1 = 22;       // u16
constexpr size_t kDescWidth0 = 52;        // u16
constexpr size_t kDescWidth1 = 54;        // u16

// Packet: 28-byte header, then the payload.
constexpr uint32_t kPacketHeaderBytes = 28;
constexpr uint8_t kPacketSync[4] = {'T', 'P', 'K', 0xA5};
constexpr size_t kPktSync = 0;                   // 4 bytes
constexpr size_t kPktStream = 4;                 // u8
constexpr size_t kPktKind = 5;                   // u8, TatKind
constexpr size_t kPktFlag = 6;                   // u8
constexpr size_t kPktReserved = 7;               // u8, 0
constexpr size_t kPktSize = 8;                   // u32 payload bytes
constexpr size_t kPktTime = 12;                  // u32 ms since the start of the recording
constexpr size_t kPktSeq = 16;                   // u32 packet number, from 0
constexpr size_t kPktHeaderCrc = 20;             // u32 CRC-32 of bytes 0..19
constexpr size_t kPktCrc = 24;                   // u32 CRC-32 of the payload
constexpr uint32_t kMaxPayloadBytes = 1u << 20;  // readers treat larger sizes as damage
constexpr uint32_t kMaxAudioBytes = 3840;

// Index: "KXIX", u32 entries, entries of 16 bytes, u32 CRC-32 of all before it.
constexpr uint8_t kIndexMagic[4] = {'K', 'X', 'I', 'X'};
constexpr uint32_t kIndexHeadBytes = 8;
constexpr uint32_t kIndexEntryBytes = 16;  // u64 offset, u32 time ms, u32 front frame number
// Trailer, the last 16 bytes of a finished file: "KXTR", u64 index offset, u32 CRC-32 of 0..11.
constexpr uint8_t kTrailerMagic[4] = {'K', 'X', 'T', 'R'};
constexpr uint32_t kTrailerBytes = 16;

constexpr int kGroupLength = 24;
constexpr int kAudioBits = 16;
constexpr int kSampleRate = 8000;

// CRC-32 (IEEE 802.3, reflected, as zlib computes it). Pass the previous result to continue.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Fills the header of a packet, both checksums included.
void BuildPacketHeader(uint8_t* header, uint8_t stream, uint8_t kind, uint8_t flag, uint32_t size,
                       uint32_t timeMs, uint32_t seq, const uint8_t* payload);

// True when the header bytes are a packet header (sync, stream, kind, size in range, header
// checksum); the payload's is checked with PacketCrcMatches. The header's own checksum lets a
// resync reject a false sync word without reading a payload.
bool PacketHeaderPlausible(const uint8_t* header);
bool PacketCrcMatches(const uint8_t* header, const uint8_t* payload);

// "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d" into 256 bytes.
void FormatCountsText(char* text, size_t capacity, uint32_t video0, uint32_t video1, uint32_t audio,
                      uint32_t acc, uint32_t gps);

}  // namespace locket::tatfmt
