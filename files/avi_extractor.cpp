#include "files/avi_extractor.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/clock.h"

namespace locket {

namespace {

// Header lists nest one level in this layout; deeper nesting is damage, not structure.
constexpr int kMaxListDepth = 4;
// Room the reader thread leaves so that any chunk it reads fits an empty queue as one item.
constexpr uint32_t kReaderPayloadCapacity = CAVIExtractor::kPacketBufSize - 8;

}  // namespace

CAVIExtractor::~CAVIExtractor() {
    StopReader();
    m_reader.StopThread();
    CloseFile();
}

bool CAVIExtractor::StartReader() {
    if (!m_readAhead || m_reader.IsRunning())
        return true;
    m_packetBuf = std::make_unique<uint8_t[]>(kPacketBufSize);
    m_queue.Init(static_cast<int>(kPacketBufSize));
    m_reader.BeginThread([this] { return ReaderPass(); });
    return true;
}

void CAVIExtractor::StopReader() {
    if (!m_readAhead || !m_packetBuf)
        return;
    StopReading();
    m_reader.StopThread();
    m_packetBuf.reset();
}

void CAVIExtractor::StopReading() {
    m_running.store(false);
    if (!m_reader.IsRunning())
        return;
    // A signal left from an earlier idle spell would end the wait before the reader saw the
    // cleared flag; take it first. The idle reader signals again on every pass.
    m_readerIdle.WaitEvent(0);
    m_readerIdle.WaitEvent(1000);
    m_queue.Clear();
}

bool CAVIExtractor::ReaderPass() {
    if (!m_running.load()) {
        m_readerIdle.SetEvent();
        SleepMs(1);
        return true;
    }
    uint8_t* buf = m_packetBuf.get();
    uint32_t size = kReaderPayloadCapacity;
    int32_t pos;
    {
        CSyncLock lock(m_lock);
        pos = ReadChunkLocked(reinterpret_cast<char*>(buf), buf + 4, &size);
    }
    if (pos < 0) {
        std::printf("pos = %d\n", pos);
        m_running.store(false);
        return true;
    }
    while (m_running.load()) {
        if (m_queue.Push(buf, static_cast<int>(size + 4), pos))
            break;
        SleepMs(1);
    }
    return true;
}

void CAVIExtractor::CloseFile() {
    CSyncLock lock(m_lock);
    m_file.reset();
}

void CAVIExtractor::CloseMedia() {
    if (m_readAhead)
        StopReading();
    m_running.store(false);
    CloseFile();
}

uint32_t CAVIExtractor::OpenMedia(const char* path, MediaInfo* info) {
    if (info)
        BuildIndex(path, info);
    CloseMedia();
    uint32_t moviSize;
    {
        CSyncLock lock(m_lock);
        moviSize = OpenFileLocked(path);
    }
    if (!moviSize)
        return 0;
    if (m_indexedPath != path) {
        // An index of another file would send seeks to foreign offsets.
        m_index.RemoveAll();
        m_indexedPath.clear();
    }
    m_queue.Clear();
    m_running.store(true);
    return moviSize;
}

bool CAVIExtractor::ReadExact(void* buffer, uint32_t count) {
    return std::fread(buffer, 1, count, m_file.get()) == count;
}

bool CAVIExtractor::Skip(int64_t count) {
    if (count < 0 || count > 0x7FFFFFFF)
        return false;
    return count == 0 || std::fseek(m_file.get(), static_cast<long>(count), SEEK_CUR) == 0;
}

uint32_t CAVIExtractor::OpenFileLocked(const char* path) {
    for (auto& v : m_video)
        v = VideoEntry();
    m_videoCount = 0;
    m_file.reset(path ? std::fopen(path, "rb") : nullptr);
    if (!m_file)
        return 0;
    uint8_t word[4];
    uint32_t moviSize = 0;
    bool ok = ReadExact(word, 4) && SameFourCC(word, "RIFF") && ReadExact(word, 4);
    if (ok) {
        m_riffSize = GetLE32(word);
        ok = ReadExact(m_formType, 4) && SameFourCC(m_formType, "AVI ");
    }
    int64_t rest = 0;
    // The list id is taken as it comes; its size bounds the header.
    ok = ok && ReadExact(word, 4) && ReadExact(word, 4);
    if (ok)
        rest = GetLE32(word);
    while (ok && rest > 0)
        ok = ParseHeaderElement(&rest, 0);
    // "LIST", movi size, "movi": ids taken as they come.
    uint8_t movi[12];
    ok = ok && ReadExact(movi, 12);
    if (ok)
        moviSize = GetLE32(movi + 4);
    if (!ok || moviSize == 0) {
        m_file.reset();
        return 0;
    }
    return moviSize;
}

bool CAVIExtractor::ParseHeaderElement(int64_t* rest, int depth) {
    uint8_t id[4];
    uint8_t head[8];
    if (!ReadExact(id, 4))
        return false;
    *rest -= 4;
    if (SameFourCC(id, "LIST")) {
        if (depth >= kMaxListDepth || !ReadExact(head, 4))
            return false;
        int64_t inner = GetLE32(head);
        *rest -= inner + 4;
        if (*rest < 0)
            return false;  // the list runs past its parent
        while (inner > 0)
            if (!ParseHeaderElement(&inner, depth + 1))
                return false;
        return inner == 0;
    }
    if (SameFourCC(id, "hdrl")) {
        uint8_t avih[kAviMainHeaderSize];
        if (!ReadExact(head, 8) || GetLE32(head + 4) != kAviMainHeaderSize ||
            !ReadExact(avih, kAviMainHeaderSize))
            return false;
        m_mainHeader.Decode(avih);
        *rest -= 8 + kAviMainHeaderSize;
        return true;
    }
    if (SameFourCC(id, "strl")) {
        uint8_t strh[kAviStreamHeaderSize];
        if (!ReadExact(head, 8) || GetLE32(head + 4) != kAviStreamHeaderSize ||
            !ReadExact(strh, kAviStreamHeaderSize))
            return false;
        m_streamHeader.Decode(strh);
        *rest -= 8 + kAviStreamHeaderSize;
        const bool video = SameFourCC(m_streamHeader.fccType, "vids");
        const bool audio = SameFourCC(m_streamHeader.fccType, "auds");
        if (video || audio) {
            const uint32_t want = video ? kBitmapInfoHeaderSize : kWaveFormatPcmSize;
            uint8_t strf[kBitmapInfoHeaderSize];
            if (!ReadExact(head, 8) || GetLE32(head + 4) != want)
                return false;
            *rest -= 8;
            if (*rest < want || !ReadExact(strf, want))
                return false;
            *rest -= want;
            if (video) {
                m_videoFormat.Decode(strf);
                if (m_videoCount > 1)
                    m_videoCount = 1;
                VideoEntry& v = m_video[m_videoCount];
                v.width = m_videoFormat.width;
                v.height = m_videoFormat.height;
                v.fps = static_cast<int32_t>(m_streamHeader.rate / 1000u);
                m_videoCount += 1;
            } else {
                m_audioFormat.Decode(strf);
            }
        }
    }
    // Whatever is left of this list (or an unknown element) is skipped.
    if (!Skip(*rest))
        return false;
    *rest = 0;
    return true;
}

int32_t CAVIExtractor::ReadChunkLocked(char id[4], uint8_t* buffer, uint32_t* size) {
    if (!m_file || !size)
        return -1;
    const long pos = std::ftell(m_file.get());
    if (pos < 0 || pos > 0x7FFFFFFF)
        return -1;
    uint8_t head[4];
    if (!ReadExact(id, 4) || !ReadExact(head, 4)) {
        std::printf("Read Header Failed\n");
        return -1;
    }
    const uint32_t n = GetLE32(head);
    const uint64_t padded = AviPaddedSize(n);
    if (*size < padded || (padded > 0 && !buffer)) {
        std::printf("Wrong Size %d < %d\n", static_cast<int>(*size), static_cast<int>(n));
        return -1;
    }
    const size_t got = padded ? std::fread(buffer, 1, padded, m_file.get()) : 0;
    if (got < n) {
        // The file ends inside the chunk.
        std::printf("Read Body Failed\n");
        return -1;
    }
    *size = n;
    return static_cast<int32_t>(pos);
}

int32_t CAVIExtractor::PopQueued(char id[4], uint8_t* buffer, uint32_t* size) {
    const int capacity = static_cast<int>(std::min<uint32_t>(*size, 0x7FFFFFFF));
    for (int attempt = 0; attempt < 100; ++attempt) {
        int head = 0, got = 0, tag = -1;
        if (m_queue.PopTagged(&head, buffer, capacity, &got, &tag)) {
            std::memcpy(id, &head, 4);
            *size = static_cast<uint32_t>(got);
            return tag;
        }
        if (!m_running.load()) {
            // The reader stops after its last push: drain what it left before giving up.
            if (m_queue.GetCount() == 0)
                return -1;
            continue;
        }
        SleepMs(10);
    }
    return -1;
}

int32_t CAVIExtractor::ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) {
    if (!id || !size)
        return -1;
    if (m_readAhead && m_reader.IsRunning())
        return PopQueued(id, buffer, size);
    CSyncLock lock(m_lock);
    return ReadChunkLocked(id, buffer, size);
}

int32_t CAVIExtractor::ReadPacket(uint8_t* buffer, uint32_t* size) {
    char id[4];
    if (ParseMedia(id, buffer, size) < 1) {
        std::printf("m_aviExtractor.ParseMedia failed\n");
        if (size)
            *size = 0;
        return kPacketEnd;
    }
    if (ChunkIsVideo(id))
        return ChunkStream(id) == 0 ? kPacketFrontVideo : kPacketRearVideo;
    if (ChunkIsAudio(id))
        return kPacketAudio;
    if (ChunkIsText(id))
        return kPacketText;
    return kPacketEnd;
}

bool CAVIExtractor::ReadIndexLocked(uint32_t moviSize, MediaInfo* info,
                                    CVipArrBase<uint32_t>* offsets) {
    const long moviStart = std::ftell(m_file.get());
    if (moviStart < 0 || moviSize < 4 || !Skip(int64_t{moviSize} - 4))
        return false;
    uint8_t head[8];
    if (!ReadExact(head, 8) || !SameFourCC(head, "idx1"))
        return false;
    const uint32_t entries = GetLE32(head + 4) / kAviIndexEntrySize;
    // Entries are read in slices; the count must fit what the file still holds.
    const long here = std::ftell(m_file.get());
    if (here < 0 || std::fseek(m_file.get(), 0, SEEK_END) != 0)
        return false;
    const long end = std::ftell(m_file.get());
    if (end < here || uint64_t{entries} * kAviIndexEntrySize > uint64_t(end - here) ||
        std::fseek(m_file.get(), here, SEEK_SET) != 0)
        return false;
    constexpr uint32_t kSlice = 4096;
    std::vector<uint8_t> slice(kSlice * kAviIndexEntrySize);
    int32_t count0 = 0, count1 = 0;
    for (uint32_t first = 0; first < entries; first += kSlice) {
        const uint32_t n = std::min(kSlice, entries - first);
        if (!ReadExact(slice.data(), n * kAviIndexEntrySize))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = slice.data() + i * kAviIndexEntrySize;
            const char* id = reinterpret_cast<const char*>(e);
            if (!ChunkIsVideo(id))
                continue;
            if (ChunkStream(id) == 0) {
                const uint32_t position = GetLE32(e + 8) + static_cast<uint32_t>(moviStart) - 4u;
                offsets->Add(position | 0x80000000u);
                ++count0;
            } else {
                ++count1;
            }
        }
    }
    if (info) {
        info->frameCount0 = count0;
        info->frameCount1 = count1;
    }
    return true;
}

bool CAVIExtractor::BuildIndex(const char* path, MediaInfo* info) {
    m_index.RemoveAll();
    m_indexedPath.clear();
    CloseMedia();
    uint32_t moviSize;
    {
        CSyncLock lock(m_lock);
        moviSize = OpenFileLocked(path);
    }
    if (!moviSize)
        return false;
    if (info) {
        info->fps0 = GetFrameRate(0);
        info->fps1 = GetFrameRate(1);
        info->frameCount0 = 0;
        info->frameCount1 = 0;
        info->frameOffsets.RemoveAll();
    }
    CVipArrBase<uint32_t> offsets;
    bool ok;
    {
        CSyncLock lock(m_lock);
        ok = ReadIndexLocked(moviSize, info, &offsets);
        m_file.reset();
    }
    if (!ok)
        return false;
    if (info)
        info->frameOffsets = offsets;
    m_index = offsets;
    m_indexedPath = path;
    return true;
}

VideoSize CAVIExtractor::GetVideoSize(int stream) {
    if (stream != 0 && stream != 1)
        return VideoSize();
    return VideoSize{m_video[stream].width, m_video[stream].height};
}

int32_t CAVIExtractor::GetFrameRate(int stream) {
    if (stream != 0 && stream != 1)
        return 0;
    return std::min(m_video[stream].fps, 30);
}

uint32_t CAVIExtractor::GetAudioFormat(uint32_t* bitsPerSample, uint32_t* sampleRate) {
    if (bitsPerSample)
        *bitsPerSample = m_audioFormat.bitsPerSample;
    if (sampleRate)
        *sampleRate = m_audioFormat.samplesPerSec;
    return m_audioFormat.samplesPerSec;
}

uint32_t CAVIExtractor::ReadRaw(void* buffer, uint32_t count) {
    CSyncLock lock(m_lock);
    if (!m_file || (!buffer && count > 0))
        return 0;
    return static_cast<uint32_t>(std::fread(buffer, 1, count, m_file.get()));
}

int32_t CAVIExtractor::SeekRaw(int32_t offset, int origin) {
    CSyncLock lock(m_lock);
    if (!m_file)
        return -1;
    const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    return std::fseek(m_file.get(), offset, whence) == 0 ? 0 : -1;
}

int32_t CAVIExtractor::TellRaw() {
    CSyncLock lock(m_lock);
    if (!m_file)
        return 0;
    const long pos = std::ftell(m_file.get());
    return pos < 0 || pos > 0x7FFFFFFF ? -1 : static_cast<int32_t>(pos);
}

int32_t CAVIExtractor::GetTotalFrames() {
    return static_cast<int32_t>(m_mainHeader.totalFrames);
}

int32_t CAVIExtractor::SeekTime(float seconds) {
    const bool wasRunning = m_running.load();
    if (m_readAhead)
        StopReading();
    int32_t result = -1;
    // Truncated toward zero, as a cast would; NaN and negative frames fail the range test.
    const float frame = std::trunc(static_cast<float>(m_video[0].fps) * seconds);
    if (!m_index.IsEmpty() && frame >= 0 && frame < static_cast<float>(m_index.GetSize())) {
        const uint32_t target = m_index[static_cast<int>(frame)] & 0x7FFFFFFFu;
        result = SeekRaw(static_cast<int32_t>(target), kSeekStart);
    }
    bool open;
    {
        CSyncLock lock(m_lock);
        open = m_file != nullptr;
    }
    // A reader that stopped at the end reads on from a successful seek.
    m_running.store(result == 0 ? open : wasRunning);
    return result;
}

}  // namespace locket
