// The AVI layout shared by the writer and the extractor: sizes, flags and the standard header
// structures, with their little-endian byte forms.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/byte_order.h"

namespace locket {

// Logical stream kinds of the writer and of the packets read back.
enum AviStreamKind : int { kAviFrontVideo = 0, kAviRearVideo = 1, kAviAudio = 2, kAviText = 3 };
constexpr int kAviStreamKinds = 4;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifTrustCkType = 0x100;
constexpr uint32_t kAviifKeyframe = 0x10;

constexpr uint32_t kAviMainHeaderSize = 56;
constexpr uint32_t kAviStreamHeaderSize = 56;
constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kWaveFormatPcmSize = 16;
constexpr uint32_t kAviIndexEntrySize = 16;

// Whole stream lists, "LIST" and size included.
constexpr uint32_t kAviVideoListBytes = 124;
constexpr uint32_t kAviAudioListBytes = 100;
constexpr uint32_t kAviTextListBytes = 84;
// "avih", its size and the main header.
constexpr uint32_t kAviMainChunkBytes = 8 + kAviMainHeaderSize;
// "RIFF", size, "AVI ", "LIST", hdrl size: what precedes the hdrl list type.
constexpr uint32_t kAviRiffPreambleBytes = 20;
// "LIST", movi size, "movi".
constexpr uint32_t kAviMoviListHeadBytes = 12;

// Bytes inside the hdrl list after its size field.
constexpr uint32_t AviHdrlListSize(bool dualVideo, bool hasAudio) {
    return 4 + kAviMainChunkBytes + kAviVideoListBytes * (dualVideo ? 2 : 1) +
           (hasAudio ? kAviAudioListBytes : 0) + kAviTextListBytes;
}

// Payload bytes a chunk of `size` occupies on disk: chunks start on even offsets.
constexpr uint64_t AviPaddedSize(uint64_t size) {
    return (size + 1) & ~uint64_t{1};
}

inline bool SameFourCC(const void* a, const char* b) {
    return std::memcmp(a, b, 4) == 0;
}

struct AviMainHeader {
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t initialFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t reserved[4] = {0, 0, 0, 0};

    void Encode(uint8_t* p) const {
        const uint32_t fields[14] = {
            microSecPerFrame, maxBytesPerSec, paddingGranularity,  flags,      totalFrames,
            initialFrames,    streams,        suggestedBufferSize, width,      height,
            reserved[0],      reserved[1],    reserved[2],         reserved[3]};
        for (int i = 0; i < 14; ++i)
            PutLE32(p + 4 * i, fields[i]);
    }
    void Decode(const uint8_t* p) {
        uint32_t* fields[14] = {
            &microSecPerFrame, &maxBytesPerSec, &paddingGranularity,  &flags,      &totalFrames,
            &initialFrames,    &streams,        &suggestedBufferSize, &width,      &height,
            &reserved[0],      &reserved[1],    &reserved[2],         &reserved[3]};
        for (int i = 0; i < 14; ++i)
            *fields[i] = GetLE32(p + 4 * i);
    }
};

struct AviStreamHeader {
    char fccType[4] = {0, 0, 0, 0};
    char fccHandler[4] = {0, 0, 0, 0};
    uint32_t flags = 0;
    uint16_t priority = 0;
    uint16_t language = 0;
    uint32_t initialFrames = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t quality = 0;
    uint32_t sampleSize = 0;
    int16_t frame[4] = {0, 0, 0, 0};  // left, top, right, bottom

    void Encode(uint8_t* p) const {
        std::memcpy(p, fccType, 4);
        std::memcpy(p + 4, fccHandler, 4);
        PutLE32(p + 8, flags);
        PutLE16(p + 12, priority);
        PutLE16(p + 14, language);
        const uint32_t fields[8] = {initialFrames,       scale,   rate,      start, length,
                                    suggestedBufferSize, quality, sampleSize};
        for (int i = 0; i < 8; ++i)
            PutLE32(p + 16 + 4 * i, fields[i]);
        for (int i = 0; i < 4; ++i)
            PutLE16(p + 48 + 2 * i, static_cast<uint16_t>(frame[i]));
    }
    void Decode(const uint8_t* p) {
        std::memcpy(fccType, p, 4);
        std::memcpy(fccHandler, p + 4, 4);
        flags = GetLE32(p + 8);
        priority = GetLE16(p + 12);
        language = GetLE16(p + 14);
        uint32_t* fields[8] = {&initialFrames,       &scale,   &rate,      &start, &length,
                               &suggestedBufferSize, &quality, &sampleSize};
        for (int i = 0; i < 8; ++i)
            *fields[i] = GetLE32(p + 16 + 4 * i);
        for (int i = 0; i < 4; ++i)
            frame[i] = static_cast<int16_t>(GetLE16(p + 48 + 2 * i));
    }
};

struct BitmapInfoHeader {
    uint32_t size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    char compression[4] = {0, 0, 0, 0};
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;

    void Encode(uint8_t* p) const {
        PutLE32(p, size);
        PutLE32(p + 4, static_cast<uint32_t>(width));
        PutLE32(p + 8, static_cast<uint32_t>(height));
        PutLE16(p + 12, planes);
        PutLE16(p + 14, bitCount);
        std::memcpy(p + 16, compression, 4);
        PutLE32(p + 20, sizeImage);
        PutLE32(p + 24, static_cast<uint32_t>(xPelsPerMeter));
        PutLE32(p + 28, static_cast<uint32_t>(yPelsPerMeter));
        PutLE32(p + 32, clrUsed);
        PutLE32(p + 36, clrImportant);
    }
    void Decode(const uint8_t* p) {
        size = GetLE32(p);
        width = static_cast<int32_t>(GetLE32(p + 4));
        height = static_cast<int32_t>(GetLE32(p + 8));
        planes = GetLE16(p + 12);
        bitCount = GetLE16(p + 14);
        std::memcpy(compression, p + 16, 4);
        sizeImage = GetLE32(p + 20);
        xPelsPerMeter = static_cast<int32_t>(GetLE32(p + 24));
        yPelsPerMeter = static_cast<int32_t>(GetLE32(p + 28));
        clrUsed = GetLE32(p + 32);
        clrImportant = GetLE32(p + 36);
    }
};

// WAVEFORMATEX in its 16-byte PCM form.
struct WaveFormatPcm {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;

    void Encode(uint8_t* p) const {
        PutLE16(p, formatTag);
        PutLE16(p + 2, channels);
        PutLE32(p + 4, samplesPerSec);
        PutLE32(p + 8, avgBytesPerSec);
        PutLE16(p + 12, blockAlign);
        PutLE16(p + 14, bitsPerSample);
    }
    void Decode(const uint8_t* p) {
        formatTag = GetLE16(p);
        channels = GetLE16(p + 2);
        samplesPerSec = GetLE32(p + 4);
        avgBytesPerSec = GetLE32(p + 8);
        blockAlign = GetLE16(p + 12);
        bitsPerSample = GetLE16(p + 14);
    }
};

}  // namespace locket
