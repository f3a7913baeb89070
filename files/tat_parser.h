// The recording reader over the TAT library: opens a native recording by name and reads it ahead
// on a thread of its own into a bounded queue, delivering chunk-id-tagged packets.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/single_thread.h"
#include "base/thread_queue.h"
#include "base/wait_event.h"
#include "files/media_parser.h"
#include "tat/tat_library.h"

namespace locket {

// Stream description of the open recording; index 0 front, 1 rear.
struct TatStreamInfo {
    int32_t width[2] = {0, 0};
    int32_t height[2] = {0, 0};
    int32_t fps[2] = {0, 0};
    int32_t frameCount[2] = {0, 0};
    int32_t audioCount = 0;
    int32_t gpsCount = 0;
    int32_t accCount = 0;
    int32_t bitsPerSample = 16;
    int32_t sampleRate = 8000;
};

class CTATParser : public VMediaParser {
public:
    static constexpr int kBufferBytes = 0x100000;  // reader buffer and queue capacity

    // Parser categories, from the first letter of a recording name.
    enum Category : int32_t {
        kCategoryContinuous = 0,  // 'R'
        kCategoryEvent = 1,       // 'E'
        kCategoryManual = 2,      // 'M'
        kCategoryParking = 3,     // 'P'
    };

    // What a recording name asks for: "[/]NAME[, INDEX]".
    struct RecordingName {
        std::string name;
        bool hasIndex = false;
        int32_t index = 0;
    };

    CTATParser();
    ~CTATParser() override;
    CTATParser(const CTATParser&) = delete;
    CTATParser& operator=(const CTATParser&) = delete;

    bool StartReader() override;
    void StopReader() override;
    // Reports success whatever the library says: a recording that cannot be opened ends at once.
    uint32_t OpenMedia(const char* path, MediaInfo* info) override;
    void CloseMedia() override;
    int32_t ReadPacket(uint8_t* buffer, uint32_t* size) override;
    int32_t ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) override;
    bool BuildIndex(const char* path, MediaInfo* info) override;
    void SetParam(uint32_t value) override;
    VideoSize GetVideoSize(int stream) override;
    int32_t GetFrameRate(int stream) override;
    uint32_t GetAudioFormat(uint32_t* bitsPerSample, uint32_t* sampleRate) override;
    uint32_t ReadRaw(void* buffer, uint32_t count) override;
    int32_t SeekRaw(int32_t offset, int origin) override;
    int32_t TellRaw() override;
    int32_t GetTotalFrames() override;
    // Moves to the key-frame group of `seconds`; returns the whole second that group starts at.
    int32_t SeekTime(float seconds) override;
    bool SeekSnapsToSecond() override;
    int32_t GetSeekFrame() override { return m_seekFrame.load(); }
    bool WaitForPacket(uint32_t ms) override;

    // The process-wide library handle every call passes first.
    static void SetLibraryHandle(TatHandle handle);
    // A handle for this parser alone, used instead of the process-wide one (null: back to
    // that one). The library keeps one reading position per handle, so a second reader of the
    // card (the export) needs its own. Set while no recording is open.
    void SetOwnLibraryHandle(TatHandle handle) { m_ownHandle.store(handle); }
    static TatHandle GetLibraryHandle();
    // The process-wide key-frame group length (24 unless set); values below 1 are ignored.
    static void SetKeyFrameGroupLength(int n);
    static float GetKeyFrameGroupLength();

    // Splits a name as OpenMedia reads it; the category letter is the caller's business.
    static RecordingName SplitRecordingName(const char* path);
    // Library category of a parser category.
    static int32_t LibraryCategory(int32_t category);
    // Reads "cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d; cntGPS=%d" into `info`;
    // fields from the first mismatch on keep their values. Returns the fields read.
    static int ScanCountsText(const char* text, TatStreamInfo* info);

    const TatStreamInfo& GetStreamInfo() const { return m_info; }
    int32_t GetCategory() const { return m_category; }
    int32_t GetKind0Count() const { return m_kind0Count.load(); }
    // The last OpenMedia found the recording and the library began streaming it.
    bool IsStreaming() const { return m_streaming.load(); }
    // The reading ended because the recording could not be read any more (gone, I/O error),
    // not at its end. The player takes both as the end; a copy must not.
    bool EndedDamaged() const { return m_endedDamaged.load(); }
    // Packets the reads since OpenMedia passed over (damaged stretches, packets too large for
    // the buffer).
    int32_t SkippedPackets() const;

private:
    static bool ReaderPass(void* self);
    void ReaderStep();
    // Clears m_running and returns once the reader makes no library call and pushes nothing.
    void HaltReader();
    // Sets m_running and wakes the idle reader when it is set.
    void ResumeReader(bool run);
    TatHandle Handle() const;
    void FillStreamInfo(const uint8_t* description, int32_t count0, int32_t count1,
                        const char* countsText);

    static std::atomic<TatHandle> s_handle;
    static std::atomic<float> s_groupLength;

    int32_t m_category = kCategoryContinuous;
    TatStreamInfo m_info;
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_endedDamaged{false};
    std::atomic<int32_t> m_tooLarge{0};
    CThreadQueue m_queue;
    CSingleThread m_reader{"TATParser"};
    // Set by the reader after each packet it queues, so a consumer waiting on an empty queue
    // wakes at once instead of after its whole retry period.
    CWaitEvent m_packetQueued;
    // Set by the consumer after each packet it takes: a reader held by a full queue goes on.
    CWaitEvent m_spaceFreed;
    // The idle reader waits on m_readerWake; HaltReader waits there for it to be idle.
    std::mutex m_readerMutex;
    std::condition_variable m_readerWake;
    // -- protected by m_readerMutex
    bool m_readerBusy = false;
    bool m_readerStop = false;
    // Written under m_readerMutex, read anywhere.
    std::atomic<bool> m_running{false};
    std::atomic<int32_t> m_seekFrame{-1};
    // A recording is open: reading resumes after a seek even when it had reached the end.
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_streaming{false};
    std::atomic<TatHandle> m_ownHandle{nullptr};
    // Written by the reader thread only while it runs; freed after it is joined.
    std::unique_ptr<uint8_t[]> m_packetBuf;
    std::atomic<int32_t> m_kind0Count{0};
};

}  // namespace locket
