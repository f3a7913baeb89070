// Reads the AVI files of the writer back as packets, by file order or by time; optionally
// through a read-ahead thread and queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/single_thread.h"
#include "base/sync.h"
#include "base/thread_queue.h"
#include "base/vip_array.h"
#include "base/wait_event.h"
#include "files/avi_format.h"
#include "files/media_parser.h"

namespace locket {

class CAVIExtractor : public VMediaParser {
public:
    // Queue capacity and reader buffer of the read-ahead mode.
    static constexpr uint32_t kPacketBufSize = 0x200000;

    CAVIExtractor() = default;
    ~CAVIExtractor() override;
    CAVIExtractor(const CAVIExtractor&) = delete;
    CAVIExtractor& operator=(const CAVIExtractor&) = delete;

    // Read-ahead is off unless switched on here, before StartReader.
    void SetReadAhead(bool on) { m_readAhead = on; }
    bool IsReadAhead() const { return m_readAhead; }

    bool StartReader() override;
    void StopReader() override;
    uint32_t OpenMedia(const char* path, MediaInfo* info) override;
    void CloseMedia() override;
    int32_t ReadPacket(uint8_t* buffer, uint32_t* size) override;
    int32_t ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) override;
    bool BuildIndex(const char* path, MediaInfo* info) override;
    void SetParam(uint32_t) override {}
    VideoSize GetVideoSize(int stream) override;
    int32_t GetFrameRate(int stream) override;
    uint32_t GetAudioFormat(uint32_t* bitsPerSample, uint32_t* sampleRate) override;
    uint32_t ReadRaw(void* buffer, uint32_t count) override;
    int32_t SeekRaw(int32_t offset, int origin) override;
    int32_t TellRaw() override;
    int32_t GetTotalFrames() override;
    int32_t SeekTime(float seconds) override;
    bool SeekSnapsToSecond() override { return false; }

private:
    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    struct VideoEntry {
        int32_t width = 0;
        int32_t height = 0;
        int32_t fps = 0;
    };

    // Opens and reads the header; leaves the file at the first data chunk. 0 on failure.
    uint32_t OpenFileLocked(const char* path);
    bool ParseHeaderElement(int64_t* rest, int depth);
    bool ReadExact(void* buffer, uint32_t count);
    bool Skip(int64_t count);
    int32_t ReadChunkLocked(char id[4], uint8_t* buffer, uint32_t* size);
    bool ReadIndexLocked(uint32_t moviSize, MediaInfo* info, CVipArrBase<uint32_t>* offsets);
    int32_t PopQueued(char id[4], uint8_t* buffer, uint32_t* size);
    void CloseFile();
    // Clears m_running and waits until the reader thread has seen it.
    void StopReading();
    bool ReaderPass();

    CSync m_lock{"none"};
    // -- protected by m_lock
    std::unique_ptr<FILE, FileCloser> m_file;

    // -- used by the caller's thread only
    uint32_t m_riffSize = 0;
    char m_formType[5] = {0, 0, 0, 0, 0};
    AviMainHeader m_mainHeader;
    AviStreamHeader m_streamHeader;
    BitmapInfoHeader m_videoFormat;
    WaveFormatPcm m_audioFormat;
    VideoEntry m_video[2];
    int32_t m_videoCount = 0;
    CVipArrBase<uint32_t> m_index;
    std::string m_indexedPath;  // the file m_index belongs to
    bool m_readAhead = false;
    CSingleThread m_reader;

    // -- read-ahead: the queue locks itself; the buffer belongs to the reader thread
    CThreadQueue m_queue;
    CWaitEvent m_readerIdle;
    std::unique_ptr<uint8_t[]> m_packetBuf;
    std::atomic<bool> m_running{false};
};

}  // namespace locket
