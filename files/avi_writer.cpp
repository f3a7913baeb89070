#include "files/avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace locket {

namespace {

// The RIFF form's sizes and the index's offsets are 32-bit: a file ends before 4 GiB.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFF;

uint32_t Average(uint32_t bytes, uint32_t count) {
    return bytes / (count ? count : 1);
}

void PutChunkHead(uint8_t* p, const char* id, uint32_t size) {
    std::memcpy(p, id, 4);
    PutLE32(p + 4, size);
}

// Sum of the whole little-endian 32-bit words of a padded payload; the pad byte counts as 0.
uint32_t WordSum(const uint8_t* data, uint32_t size) {
    const uint32_t padded = static_cast<uint32_t>(AviPaddedSize(size));
    const uint32_t words = padded / 4;
    uint32_t sum = 0;
    uint32_t whole = size / 4;
    for (uint32_t i = 0; i < whole && i < words; ++i)
        sum += GetLE32(data + 4 * i);
    if (whole < words) {
        uint8_t last[4] = {0, 0, 0, 0};
        std::memcpy(last, data + 4 * whole, size - 4 * whole);
        sum += GetLE32(last);
    }
    return sum;
}

}  // namespace

CAVIWriter::CAVIWriter(VFileSystem* file)
    : m_file(file ? file : new CFSNormal),
      m_chunkBuf(std::make_unique<uint8_t[]>(8 + kCoalesceBytes)) {
    SetDualVideo(false);
}

CAVIWriter::~CAVIWriter() {
    Close();
}

void CAVIWriter::SetDualVideo(bool dual) {
    m_dualVideo = dual;
    const char* ids[kAviStreamKinds] = {"00dc", "01dc", "02wb", "03tx"};
    const char* single[kAviStreamKinds] = {"00dc", "00dc", "01wb", "02tx"};
    for (int i = 0; i < kAviStreamKinds; ++i)
        std::memcpy(m_streams[i].id, dual ? ids[i] : single[i], 4);
}

void CAVIWriter::SetVideoSize(int stream, int32_t width, int32_t height) {
    if (stream != 0 && stream != 1)
        return;
    m_width[stream] = width;
    m_height[stream] = height;
}

void CAVIWriter::SetFrameRate(int stream, int32_t fps) {
    if (stream != 0 && stream != 1)
        return;
    m_fps[stream] = fps;
}

void CAVIWriter::ResetCounters() {
    m_batchUsed = 0;
    m_reserved = 0;
    m_batchLost = false;
    m_full = false;
    m_index.RemoveAll();
    m_moviBytes = 0;
    m_chunkCount = 0;
    m_nextOffset = 4;
    m_checksum = 0;
    m_mustRewind = false;
    for (auto& s : m_streams) {
        s.bytes = 0;
        s.count = 0;
    }
}

bool CAVIWriter::Create(const char* path) {
    if (!m_file->Open(path, "wb"))
        return false;
    m_headerLen = AviHdrlListSize(m_dualVideo, m_hasAudio) + 4;
    m_layout.dualVideo = m_dualVideo;
    m_layout.hasAudio = m_hasAudio;
    m_layout.mjpeg = m_mjpeg;
    m_layout.sampleRate = m_sampleRate;
    for (int i = 0; i < 2; ++i) {
        m_layout.width[i] = m_width[i];
        m_layout.height[i] = m_height[i];
        m_fpsAtCreate[i] = m_fps[i];
    }
    for (int i = 0; i < kAviStreamKinds; ++i)
        std::memcpy(m_layout.ids[i], m_streams[i].id, 4);
    ResetCounters();

    std::vector<uint8_t> header(HeaderBytes());
    BuildHeader(header.data(), false, 0, false);
    if (m_file->Write(header.data(), HeaderBytes()) != HeaderBytes()) {
        std::printf("[CAVIWriter] Create : header not written\n");
        m_file->Close();
        return false;
    }
    return true;
}

void CAVIWriter::BuildVideoList(uint8_t* p, int stream, bool final) const {
    const StreamEntry& s = m_streams[stream];
    const uint32_t count = final ? s.count : 0;
    const uint32_t bytes = final ? s.bytes : 0;
    const char* codec = m_layout.mjpeg ? "MJPG" : "AVC1";
    std::memcpy(p, "LIST", 4);
    PutLE32(p + 4, kAviVideoListBytes - 8);
    std::memcpy(p + 8, "strl", 4);
    PutChunkHead(p + 12, "strh", kAviStreamHeaderSize);
    AviStreamHeader strh;
    std::memcpy(strh.fccType, "vids", 4);
    std::memcpy(strh.fccHandler, codec, 4);
    strh.scale = 1000;
    strh.rate = static_cast<uint32_t>(m_fpsAtCreate[stream]) * 1000;
    strh.length = count ? count : 1;
    strh.suggestedBufferSize = Average(bytes, count);
    strh.frame[2] = static_cast<int16_t>(m_layout.width[stream]);
    strh.frame[3] = static_cast<int16_t>(m_layout.height[stream]);
    strh.Encode(p + 20);
    PutChunkHead(p + 76, "strf", kBitmapInfoHeaderSize);
    BitmapInfoHeader strf;
    strf.size = kBitmapInfoHeaderSize;
    strf.width = m_layout.width[stream];
    strf.height = m_layout.height[stream];
    std::memcpy(strf.compression, codec, 4);
    strf.Encode(p + 84);
}

void CAVIWriter::BuildAudioList(uint8_t* p, bool final) const {
    const StreamEntry& s = m_streams[kAviAudio];
    const uint32_t count = final ? s.count : 0;
    const uint32_t rate = static_cast<uint32_t>(m_layout.sampleRate);
    std::memcpy(p, "LIST", 4);
    PutLE32(p + 4, kAviAudioListBytes - 8);
    std::memcpy(p + 8, "strl", 4);
    PutChunkHead(p + 12, "strh", kAviStreamHeaderSize);
    AviStreamHeader strh;
    std::memcpy(strh.fccType, "auds", 4);
    strh.scale = 2;
    strh.rate = rate * 2;
    strh.length = 2000 * count;
    strh.suggestedBufferSize = 2000;
    strh.sampleSize = 2;
    strh.Encode(p + 20);
    PutChunkHead(p + 76, "strf", kWaveFormatPcmSize);
    WaveFormatPcm wave;
    wave.formatTag = 1;
    wave.channels = 1;
    wave.samplesPerSec = rate;
    wave.avgBytesPerSec = rate * 16 / 8;
    wave.blockAlign = 2;
    wave.bitsPerSample = 16;
    wave.Encode(p + 84);
}

void CAVIWriter::BuildTextList(uint8_t* p, bool final) const {
    const StreamEntry& s = m_streams[kAviText];
    const uint32_t count = final ? s.count : 0;
    const uint32_t bytes = final ? s.bytes : 0;
    std::memcpy(p, "LIST", 4);
    PutLE32(p + 4, kAviTextListBytes - 8);
    std::memcpy(p + 8, "strl", 4);
    PutChunkHead(p + 12, "strh", kAviStreamHeaderSize);
    AviStreamHeader strh;
    std::memcpy(strh.fccType, "txts", 4);
    std::memcpy(strh.fccHandler, "XBLB", 4);
    strh.scale = 1000;
    strh.rate = 100000;
    strh.length = count ? count : 1;
    strh.suggestedBufferSize = Average(bytes, count);
    strh.Encode(p + 20);
    PutChunkHead(p + 76, "strf", 0);
}

void CAVIWriter::BuildHeader(uint8_t* out, bool final, uint32_t riffSize, bool indexed) const {
    uint8_t* p = out;
    std::memcpy(p, "RIFF", 4);
    if (final)
        PutLE32(p + 4, riffSize);
    else
        std::memcpy(p + 4, "0000", 4);
    std::memcpy(p + 8, "AVI ", 4);
    std::memcpy(p + 12, "LIST", 4);
    PutLE32(p + 16, HdrlListSize());
    std::memcpy(p + 20, "hdrl", 4);
    PutChunkHead(p + 24, "avih", kAviMainHeaderSize);
    AviMainHeader avih;
    avih.flags = (indexed || !final ? kAvifHasIndex : 0) | kAvifTrustCkType;
    avih.totalFrames = final ? m_chunkCount : 0;
    avih.streams = 4;
    avih.width = static_cast<uint32_t>(m_layout.width[0]);
    avih.height = static_cast<uint32_t>(m_layout.height[0]);
    avih.Encode(p + 32);
    p += 32 + kAviMainHeaderSize;
    BuildVideoList(p, kAviFrontVideo, final);
    p += kAviVideoListBytes;
    if (m_layout.dualVideo) {
        BuildVideoList(p, kAviRearVideo, final);
        p += kAviVideoListBytes;
    }
    if (m_layout.hasAudio) {
        BuildAudioList(p, final);
        p += kAviAudioListBytes;
    }
    BuildTextList(p, final);
    p += kAviTextListBytes;
    std::memcpy(p, "LIST", 4);
    if (final)
        PutLE32(p + 4, m_moviBytes + 8 * m_chunkCount + 4);
    else
        std::memcpy(p + 4, "0000", 4);
    std::memcpy(p + 8, "movi", 4);
}

bool CAVIWriter::CutBackTo(uint32_t position) {
    m_mustRewind = !(m_file->Seek(int64_t{position}, 0) == 0 && m_file->Truncate(position) == 0);
    if (m_mustRewind)
        std::printf("[CAVIWriter] partial chunk could not be cut off yet\n");
    return !m_mustRewind;
}

bool CAVIWriter::FitsSizeLimit(uint32_t size) {
    const uint64_t padded = AviPaddedSize(size);
    const uint64_t indexBytes = 8 + uint64_t{kAviIndexEntrySize} * (m_chunkCount + 1) + 12;
    if (uint64_t{DataEnd()} + 8 + padded + indexBytes > kMaxFileBytes) {
        std::printf("[CAVIWriter] AddData : file size limit reached\n");
        m_full = true;
        return false;
    }
    return true;
}

void CAVIWriter::CountChunk(int stream, uint32_t padded) {
    m_streams[stream].count += 1;
    m_streams[stream].bytes += padded;
    _tagData record;
    record.stream = stream;
    record.offset = m_nextOffset;
    record.size = padded;
    m_index.Add(record);
    m_moviBytes += padded;
    m_chunkCount += 1;
    m_nextOffset += padded + 8;
}

bool CAVIWriter::AddData(const void* data, uint32_t size, int stream) {
    if (!m_file->IsOpen()) {
        std::printf("[CAVIWriter] AddData : File is already closed\n");
        return false;
    }
    if (stream < 0 || stream >= kAviStreamKinds || (!data && size > 0)) {
        std::printf("[CAVIWriter] AddData : bad stream %d\n", stream);
        return false;
    }
    if (!FlushBatch() || !FitsSizeLimit(size))
        return false;
    const uint32_t chunkStart = DataEnd();
    if (m_mustRewind && !CutBackTo(chunkStart))
        return false;

    if (!WriteChunk(m_layout.ids[stream], data, size)) {
        CutBackTo(chunkStart);
        return false;
    }
    CountChunk(stream, static_cast<uint32_t>(AviPaddedSize(size)));
    return true;
}

uint8_t* CAVIWriter::ReserveChunk(uint32_t capacity) {
    if (!m_file->IsOpen() || capacity > kMaxReserveBytes)
        return nullptr;
    if (!m_batch)
        m_batch = std::make_unique<uint8_t[]>(kBatchBytes + 8 + kMaxReserveBytes + 1);
    if (m_batchUsed + 8 + capacity + 1 > kBatchBytes + 8 + kMaxReserveBytes + 1 && !FlushBatch())
        return nullptr;
    m_reserved = capacity;
    return m_batch.get() + m_batchUsed + 8;
}

bool CAVIWriter::CommitChunk(uint32_t size, int stream) {
    const uint32_t reserved = m_reserved;
    m_reserved = 0;
    if (!m_file->IsOpen() || !m_batch || size > reserved || stream < 0 ||
        stream >= kAviStreamKinds) {
        std::printf("[CAVIWriter] CommitChunk : nothing reserved for %u bytes of stream %d\n", size,
                    stream);
        return false;
    }
    if (!FitsSizeLimit(size))
        return false;
    if (m_batchUsed == 0) {
        m_batchMark.moviBytes = m_moviBytes;
        m_batchMark.nextOffset = m_nextOffset;
        m_batchMark.chunkCount = m_chunkCount;
        m_batchMark.checksum = m_checksum;
        m_batchMark.indexSize = m_index.GetSize();
        std::copy(std::begin(m_streams), std::end(m_streams), m_batchMark.streams);
    }
    uint8_t* chunk = m_batch.get() + m_batchUsed;
    const auto padded = static_cast<uint32_t>(AviPaddedSize(size));
    PutChunkHead(chunk, m_layout.ids[stream], size);
    if (padded != size)
        chunk[8 + size] = 0;
    if (m_checksumOn)
        m_checksum += WordSum(chunk + 8, size);
    CountChunk(stream, padded);
    m_batchUsed += 8 + padded;
    return m_batchUsed < kBatchBytes || FlushBatch();
}

bool CAVIWriter::FlushBatch() {
    if (m_batchUsed == 0)
        return true;
    const uint32_t used = m_batchUsed;
    m_batchUsed = 0;
    const uint32_t start = MoviFourccPos() + m_batchMark.nextOffset;
    if ((!m_mustRewind || CutBackTo(start)) && m_file->Write(m_batch.get(), used) == used)
        return true;
    std::printf("[CAVIWriter] %u bytes of chunks not written\n", used);
    CutBackTo(start);
    m_moviBytes = m_batchMark.moviBytes;
    m_nextOffset = m_batchMark.nextOffset;
    m_chunkCount = m_batchMark.chunkCount;
    m_checksum = m_batchMark.checksum;
    m_index.SetSize(m_batchMark.indexSize);
    std::copy(std::begin(m_batchMark.streams), std::end(m_batchMark.streams), m_streams);
    m_batchLost = true;
    return false;
}

bool CAVIWriter::WriteChunk(const char* id, const void* data, uint32_t size) {
    const uint32_t padded = static_cast<uint32_t>(AviPaddedSize(size));
    if (padded > kCoalesceBytes) {
        uint8_t head[8];
        PutChunkHead(head, id, size);
        if (m_file->Write(head, 8) != 8) {
            std::printf("CAVIWriter::AddData header error\n");
            return false;
        }
        return AddDataBody(data, size);
    }
    // Small chunks go out in one write: the sink is unbuffered, so this saves system calls.
    uint8_t* buf = m_chunkBuf.get();
    PutChunkHead(buf, id, size);
    if (size)
        std::memcpy(buf + 8, data, size);
    if (padded != size)
        buf[8 + size] = 0;
    const uint32_t written = m_file->Write(buf, 8 + padded);
    if (written != 8 + padded) {
        std::printf("CAVIWriter::AddDataBody error %d != %d\n",
                    static_cast<int>(written < 8 ? 0 : written - 8), static_cast<int>(padded));
        return false;
    }
    if (m_checksumOn)
        m_checksum += WordSum(static_cast<const uint8_t*>(data), size);
    return true;
}

bool CAVIWriter::AddDataBody(const void* data, uint32_t size) {
    const uint32_t padded = static_cast<uint32_t>(AviPaddedSize(size));
    uint32_t written = size ? m_file->Write(data, size) : 0;
    if (written == size && padded != size) {
        const uint8_t pad = 0;
        written += m_file->Write(&pad, 1);
    }
    if (written < padded) {
        std::printf("CAVIWriter::AddDataBody error %d != %d\n", static_cast<int>(written),
                    static_cast<int>(padded));
        return false;
    }
    if (m_checksumOn)
        m_checksum += WordSum(static_cast<const uint8_t*>(data), size);
    return true;
}

bool CAVIWriter::WriteIndex() {
    const int n = m_index.GetSize();
    // Written in slices so that a long recording needs no second copy of the index.
    constexpr int kSlice = 4096;
    std::vector<uint8_t> buf(8 + kAviIndexEntrySize * kSlice);
    PutChunkHead(buf.data(), "idx1", kAviIndexEntrySize * static_cast<uint32_t>(n));
    if (m_file->Write(buf.data(), 8) != 8)
        return false;
    for (int first = 0; first < n; first += kSlice) {
        const int count = std::min(kSlice, n - first);
        for (int i = 0; i < count; ++i) {
            const _tagData& r = m_index[first + i];
            uint8_t* e = buf.data() + kAviIndexEntrySize * i;
            std::memcpy(e, m_layout.ids[r.stream], 4);
            PutLE32(e + 4, kAviifKeyframe);
            PutLE32(e + 8, r.offset);
            PutLE32(e + 12, r.size);
        }
        const uint32_t bytes = kAviIndexEntrySize * static_cast<uint32_t>(count);
        if (m_file->Write(buf.data(), bytes) != bytes)
            return false;
    }
    if (m_checksumOn) {
        uint8_t trailer[12];
        PutChunkHead(trailer, "chk1", 4);
        PutLE32(trailer + 8, m_checksum);
        if (m_file->Write(trailer, 12) != 12)
            return false;
    }
    return true;
}

uint32_t CAVIWriter::Close(const void* extra, uint32_t extraSize) {
    if (!m_file->IsOpen())
        return 0;
    FlushBatch();
    const uint32_t dataEnd = DataEnd();
    bool indexed = (!m_mustRewind || CutBackTo(dataEnd)) && WriteIndex();
    if (!indexed) {
        // Without room for the index the file ends after the last whole chunk.
        std::printf("[CAVIWriter] Close : index not written\n");
        CutBackTo(dataEnd);
    }
    const uint32_t moviSize = m_moviBytes + 8 * m_chunkCount + 4;
    uint32_t riffSize = 4 + 8 + HdrlListSize() + 8 + moviSize;
    if (indexed)
        riffSize += 8 + kAviIndexEntrySize * m_chunkCount + (m_checksumOn ? 12 : 0);

    std::vector<uint8_t> header(HeaderBytes());
    BuildHeader(header.data(), true, riffSize, indexed);
    bool ok = indexed && !m_batchLost;
    if (m_file->Seek(0, 0) != 0 || m_file->Write(header.data(), HeaderBytes()) != HeaderBytes()) {
        std::printf("[CAVIWriter] Close : header not rewritten\n");
        ok = false;
    }
    if (extraSize > 0 && extra) {
        std::printf("ext write\n");
        m_file->Seek(0, 2);
        ok = m_file->Write(extra, extraSize) == extraSize && ok;
    }
    if (m_file->Close() != 0) {
        std::printf("[CAVIWriter] Close : the file did not close cleanly\n");
        ok = false;
    }
    m_lastCloseOk = ok;
    ResetCounters();
    return riffSize;
}

CAVIWriter& AviWriter() {
    static CAVIWriter writer;
    return writer;
}

bool AviCreate(const char* path) {
    return AviWriter().Create(path);
}

uint32_t AviClose() {
    return AviWriter().Close(nullptr, 0);
}

void AviSetVideoSize(int stream, int32_t width, int32_t height) {
    AviWriter().SetVideoSize(stream, width, height);
}

void AviSetFrameRate(int stream, int32_t fps) {
    AviWriter().SetFrameRate(stream, fps);
}

void AviSetAudioRate(int32_t rate) {
    AviWriter().SetSampleRate(rate);
}

void AviSetDualVideo(bool dual) {
    AviWriter().SetDualVideo(dual);
}

bool AviAddData(const void* data, uint32_t size, int stream) {
    return AviWriter().AddData(data, size, stream);
}

}  // namespace locket
