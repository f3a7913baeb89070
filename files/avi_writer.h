// Writes recordings as AVI files chunk by chunk: the header is laid out at Create, chunks stream
// straight to the sink, and Close appends the index and rewrites the header with the counts.
#pragma once

#include <cstdint>
#include <memory>

#include "base/vip_array.h"
#include "files/avi_format.h"
#include "files/file_system.h"

namespace locket {

class CAVIWriter {
public:
    // One index record per data chunk.
    struct _tagData {
        int32_t stream = 0;
        uint32_t offset = 0;  // chunk header, counted from the "movi" fourcc
        uint32_t size = 0;    // padded payload size
    };

    // Takes `file` over (it is deleted with the writer); without one a CFSNormal is made.
    explicit CAVIWriter(VFileSystem* file = nullptr);
    ~CAVIWriter();
    CAVIWriter(const CAVIWriter&) = delete;
    CAVIWriter& operator=(const CAVIWriter&) = delete;

    // Layout and format settings take effect at the next Create.
    void SetDualVideo(bool dual);
    void SetVideoSize(int stream, int32_t width, int32_t height);
    void SetFrameRate(int stream, int32_t fps);
    void SetSampleRate(int32_t rate) { m_sampleRate = rate; }
    void SetHasAudio(bool on) { m_hasAudio = on; }
    void SetMjpeg(bool on) { m_mjpeg = on; }
    void SetChecksum(bool on) { m_checksumOn = on; }

    bool Create(const char* path);
    // Appends one chunk of stream kind 0..3. On a refused write the partial chunk is cut off
    // again, so the file keeps describing exactly the chunks written whole.
    bool AddData(const void* data, uint32_t size, int stream);
    // Writes the payload and its pad byte; false when the sink took fewer bytes.
    bool AddDataBody(const void* data, uint32_t size);

    // For a copier that reads packets itself: room for the payload of the next chunk (up to
    // `capacity` bytes, at most kMaxReserveBytes) in the writer's own buffer, so each byte is
    // read once into the memory it is written from. Null when no file is open, the capacity is
    // too large or the chunks before could not be written.
    uint8_t* ReserveChunk(uint32_t capacity);
    // Appends the chunk whose `size` payload bytes the caller put at ReserveChunk's pointer.
    // Such chunks go to the file in large writes (at the latest by AddData or Close); a refused
    // write drops every chunk not yet written whole, counts included, so the file still
    // describes exactly the chunks written whole. False then, or for a bad stream or size.
    bool CommitChunk(uint32_t size, int stream);
    static constexpr uint32_t kMaxReserveBytes = 1 << 20;
    // Writes the index, rewrites the header, closes; returns the RIFF size (0 when idle).
    // `extra` bytes are appended raw after the form.
    uint32_t Close(const void* extra = nullptr, uint32_t extraSize = 0);
    // The last Close wrote the index and the final header and the sink closed cleanly: only
    // then does the file on disk say what was written.
    bool LastCloseOk() const { return m_lastCloseOk; }

    bool IsOpen() const { return m_file->IsOpen(); }
    // A chunk was refused since Create because the file would have passed the AVI form's
    // 4 GiB: the file is whole, only shorter than its recording.
    bool Full() const { return m_full; }
    uint32_t GetChunkCount() const { return m_chunkCount; }
    uint32_t GetHeaderLen() const { return m_headerLen; }

private:
    struct StreamEntry {
        char id[4];
        uint32_t bytes;
        uint32_t count;
    };
    // What Create fixed for the open file.
    struct Layout {
        bool dualVideo = false;
        bool hasAudio = true;
        bool mjpeg = false;
        int32_t width[2] = {0, 0};
        int32_t height[2] = {0, 0};
        int32_t sampleRate = 8000;
        char ids[kAviStreamKinds][4] = {};
    };

    uint32_t HdrlListSize() const { return m_headerLen - 4; }
    // File position of the "movi" fourcc; chunk offsets count from it.
    uint32_t MoviFourccPos() const { return kAviRiffPreambleBytes + HdrlListSize() + 8; }
    uint32_t DataEnd() const { return MoviFourccPos() + m_nextOffset; }
    uint32_t HeaderBytes() const { return MoviFourccPos() + 4; }
    void BuildHeader(uint8_t* out, bool final, uint32_t riffSize, bool indexed) const;
    void BuildVideoList(uint8_t* p, int stream, bool final) const;
    void BuildAudioList(uint8_t* p, bool final) const;
    void BuildTextList(uint8_t* p, bool final) const;
    // Puts the sink back at the end of the last whole chunk and cuts what follows.
    bool CutBackTo(uint32_t position);
    bool WriteChunk(const char* id, const void* data, uint32_t size);
    // Counts a chunk of `padded` bytes into the header counters and the index.
    void CountChunk(int stream, uint32_t padded);
    bool FitsSizeLimit(uint32_t size);
    // Writes the reserved chunks; on a refusal cuts them off and takes their counts back.
    bool FlushBatch();
    bool WriteIndex();
    void ResetCounters();

    std::unique_ptr<VFileSystem> m_file;
    CVipArrBase<_tagData> m_index;
    uint32_t m_moviBytes = 0;
    uint32_t m_nextOffset = 4;
    uint32_t m_chunkCount = 0;
    StreamEntry m_streams[kAviStreamKinds] = {};
    bool m_hasAudio = true;
    bool m_dualVideo = false;
    uint32_t m_headerLen = 0;
    int32_t m_width[2] = {0, 720};
    int32_t m_height[2] = {0, 480};
    int32_t m_fps[2] = {0, 15};
    int32_t m_fpsAtCreate[2] = {0, 15};
    bool m_mjpeg = false;
    int32_t m_sampleRate = 8000;
    bool m_checksumOn = false;
    uint32_t m_checksum = 0;

    // Chunks up to this padded size are assembled here and written at once.
    static constexpr uint32_t kCoalesceBytes = 64 * 1024;
    std::unique_ptr<uint8_t[]> m_chunkBuf;

    // Reserved chunks not written yet, and the counters as they were before the first of them.
    static constexpr uint32_t kBatchBytes = 4 << 20;
    struct Mark {
        uint32_t moviBytes = 0;
        uint32_t nextOffset = 4;
        uint32_t chunkCount = 0;
        uint32_t checksum = 0;
        int indexSize = 0;
        StreamEntry streams[kAviStreamKinds] = {};
    };
    std::unique_ptr<uint8_t[]> m_batch;
    uint32_t m_batchUsed = 0;
    uint32_t m_reserved = 0;
    Mark m_batchMark;
    bool m_batchLost = false;  // a flush since Create was refused
    bool m_full = false;

    Layout m_layout;
    // A cut-back failed: the next write first moves to the end of the last whole chunk.
    bool m_mustRewind = false;
    bool m_lastCloseOk = false;
};

// The process's one writer, driven by export through the functions below.
CAVIWriter& AviWriter();
bool AviCreate(const char* path);
uint32_t AviClose();
void AviSetVideoSize(int stream, int32_t width, int32_t height);
void AviSetFrameRate(int stream, int32_t fps);
void AviSetAudioRate(int32_t rate);
void AviSetDualVideo(bool dual);
bool AviAddData(const void* data, uint32_t size, int stream);

}  // namespace locket
