// The recording reader interface shared by the native-recording parser and the AVI extractor:
// a recording as a sequence of packets tagged with their stream kind.
#pragma once

#include <cstdint>

#include "base/vip_array.h"

namespace locket {

// Stream kinds, and the two extra results of a single read.
enum PacketKind : int32_t {
    kPacketFrontVideo = 0,
    kPacketRearVideo = 1,
    kPacketAudio = 2,
    kPacketText = 3,
    kPacketNone = 4,  // nothing delivered this time
    kPacketEnd = 5,   // end of recording, or failure
};

struct MediaInfo {
    int32_t fps0 = 0;
    int32_t fps1 = 0;  // 0: no rear camera
    int32_t frameCount0 = 0;
    int32_t frameCount1 = 0;
    // AVI only: file position of each front-video chunk header, top bit set.
    CVipArrBase<uint32_t> frameOffsets;
};

struct VideoSize {
    int32_t width = 0;
    int32_t height = 0;
};

enum SeekOrigin : int { kSeekStart = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class VMediaParser {
public:
    virtual bool StartReader() = 0;
    virtual void StopReader() = 0;
    // 0 on failure.
    virtual uint32_t OpenMedia(const char* path, MediaInfo* info) = 0;
    virtual void CloseMedia() = 0;
    // `size`: in, the buffer's capacity; out, the payload bytes. Returns a PacketKind.
    virtual int32_t ReadPacket(uint8_t* buffer, uint32_t* size) = 0;
    // The next packet with its chunk id ("00dc", "01dc", "02wb", "03tx"); < 0 at the end.
    virtual int32_t ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) = 0;
    virtual bool BuildIndex(const char* path, MediaInfo* info) = 0;
    virtual void SetParam(uint32_t value) = 0;
    virtual VideoSize GetVideoSize(int stream) = 0;
    virtual int32_t GetFrameRate(int stream) = 0;
    virtual uint32_t GetAudioFormat(uint32_t* bitsPerSample, uint32_t* sampleRate) = 0;
    virtual uint32_t ReadRaw(void* buffer, uint32_t count) = 0;
    virtual int32_t SeekRaw(int32_t offset, int origin) = 0;
    virtual int32_t TellRaw() = 0;
    virtual int32_t GetTotalFrames() = 0;
    virtual int32_t SeekTime(float seconds) = 0;
    virtual bool SeekSnapsToSecond() = 0;
    // The first front frame of the place the last SeekTime moved to; -1 when not known.
    virtual int32_t GetSeekFrame() { return -1; }
    // Waits up to `ms` until ParseMedia would answer without waiting (a packet is there, or the
    // end); false when that time passed first. Needs no lock the reads need.
    virtual bool WaitForPacket(uint32_t ms) {
        (void)ms;
        return true;
    }
    virtual ~VMediaParser() = default;
};

// Chunk id helpers: "NNdc" video of stream NN, "wb" audio, "tx" text in the last two.
inline bool ChunkIsVideo(const char id[4]) {
    return id[2] == 'd' && id[3] == 'c';
}
inline bool ChunkIsAudio(const char id[4]) {
    return id[2] == 'w' && id[3] == 'b';
}
inline bool ChunkIsText(const char id[4]) {
    return id[2] == 't' && id[3] == 'x';
}
inline int ChunkStream(const char id[4]) {
    return (id[0] - '0') * 10 + (id[1] - '0');
}

}  // namespace locket
