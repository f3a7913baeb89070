#include "files/tat_parser.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace locket {

namespace {

constexpr int kParseAttempts = 100;
constexpr uint32_t kParseRetryMs = 10;
// The library has no packet yet (a recording still being written): look again after this.
constexpr uint32_t kNoPacketRetryMs = 1;
constexpr uint8_t kUnsetByte = 0xFF;
constexpr int32_t kDefaultFrameRate = 30;

// Packets can be as large as the reader's buffer; one more byte lets the queue, which never
// fills to its capacity, take such a packet when it is empty.
constexpr int kQueueCapacity = CTATParser::kBufferBytes + 1;

int32_t ClampToInt32(long long value) {
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// One "%d" of scanf: optional white space and sign, at least one digit.
bool ScanInt(const char*& p, int32_t* out) {
    const char* q = p;
    while (std::isspace(static_cast<unsigned char>(*q)))
        ++q;
    bool negative = false;
    if (*q == '+' || *q == '-')
        negative = *q++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*q)))
        return false;
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*q)); ++q)
        value = std::min<long long>(value * 10 + (*q - '0'), 1LL << 40);
    *out = ClampToInt32(negative ? -value : value);
    p = q;
    return true;
}

// A literal of a scanf format: a blank matches any run of white space, other characters
// themselves.
bool ScanLiteral(const char*& p, const char* literal) {
    const char* q = p;
    for (; *literal; ++literal) {
        if (*literal == ' ') {
            while (std::isspace(static_cast<unsigned char>(*q)))
                ++q;
        } else if (*q == *literal) {
            ++q;
        } else {
            return false;
        }
    }
    p = q;
    return true;
}

}  // namespace

std::atomic<TatHandle> CTATParser::s_handle{nullptr};
std::atomic<float> CTATParser::s_groupLength{24.0f};

CTATParser::CTATParser() = default;

CTATParser::~CTATParser() {
    StopReader();
}

void CTATParser::SetLibraryHandle(TatHandle handle) {
    s_handle.store(handle);
}

TatHandle CTATParser::GetLibraryHandle() {
    return s_handle.load();
}

TatHandle CTATParser::Handle() const {
    const TatHandle own = m_ownHandle.load();
    return own ? own : s_handle.load();
}

void CTATParser::SetKeyFrameGroupLength(int n) {
    if (n >= 1)
        s_groupLength.store(static_cast<float>(n));
}

float CTATParser::GetKeyFrameGroupLength() {
    return s_groupLength.load();
}

int32_t CTATParser::LibraryCategory(int32_t category) {
    switch (category) {
        case kCategoryContinuous:
            return kTatContinuous;
        case kCategoryEvent:
            return kTatEvent;
        case kCategoryManual:
            return kTatManual;
        case kCategoryParking:
            return kTatParking;
        default:
            return kTatContinuous;
    }
}

CTATParser::RecordingName CTATParser::SplitRecordingName(const char* path) {
    static constexpr const char* kSeparators = ", ";
    RecordingName result;
    const char* p = path ? path : "";
    if (*p == '/')
        ++p;
    const size_t nameLength = std::strcspn(p, kSeparators);
    result.name.assign(p, nameLength);
    p += nameLength;
    p += std::strspn(p, kSeparators);
    if (*p) {
        const std::string token(p, std::strcspn(p, kSeparators));
        result.hasIndex = true;
        result.index = ClampToInt32(std::strtoll(token.c_str(), nullptr, 10));
    }
    return result;
}

int CTATParser::ScanCountsText(const char* text, TatStreamInfo* info) {
    if (!text || !info)
        return 0;
    struct Field {
        const char* literal;
        int32_t* target;
    };
    const Field fields[] = {
        {"cntVideo0=", &info->frameCount[0]}, {"; cntVideo1=", &info->frameCount[1]},
        {"; cntAudio=", &info->audioCount},   {"; cntACC=", &info->accCount},
        {"; cntGPS=", &info->gpsCount},
    };
    const char* p = text;
    int read = 0;
    for (const Field& field : fields) {
        if (!ScanLiteral(p, field.literal) || !ScanInt(p, field.target))
            break;
        ++read;
    }
    return read;
}

void CTATParser::FillStreamInfo(const uint8_t* description, int32_t count0, int32_t count1,
                                const char* countsText) {
    auto u16 = [description](int offset) {
        return static_cast<int32_t>(description[offset] | (description[offset + 1] << 8));
    };
    m_info = TatStreamInfo{};
    m_info.fps[0] = description[3];
    m_info.fps[1] = description[4];
    m_info.height[0] = u16(20);
    m_info.height[1] = u16(22);
    m_info.width[0] = u16(52);
    m_info.width[1] = u16(54);
    m_info.frameCount[0] = count0 & 0xFFFF;
    m_info.frameCount[1] = count1 & 0xFFFF;
    m_info.bitsPerSample = 16;
    m_info.sampleRate = 8000;
    ScanCountsText(countsText, &m_info);
}

bool CTATParser::StartReader() {
    if (m_reader.IsRunning())
        return true;
    m_packetBuf = std::make_unique<uint8_t[]>(kBufferBytes);
    m_queue.Init(kQueueCapacity);
    {
        std::lock_guard<std::mutex> lock(m_readerMutex);
        m_readerStop = false;
    }
    m_reader.BeginThread(&CTATParser::ReaderPass, this);
    return true;
}

void CTATParser::StopReader() {
    {
        std::lock_guard<std::mutex> lock(m_readerMutex);
        m_running.store(false);
        m_readerStop = true;
    }
    m_reader.RequestStop();
    m_readerWake.notify_all();
    m_spaceFreed.SetEvent();
    m_reader.StopThread();
    m_packetBuf.reset();
}

bool CTATParser::ReaderPass(void* self) {
    static_cast<CTATParser*>(self)->ReaderStep();
    return true;
}

void CTATParser::ReaderStep() {
    {
        std::unique_lock<std::mutex> lock(m_readerMutex);
        if (!m_running.load()) {
            m_readerBusy = false;
            m_readerWake.notify_all();
            m_readerWake.wait(lock, [this] { return m_running.load() || m_readerStop; });
            if (!m_running.load())
                return;
        }
        m_readerBusy = true;
    }
    uint32_t size = kBufferBytes;
    const int32_t kind = ReadPacket(m_packetBuf.get(), &size);
    if (kind == kPacketNone) {
        SleepMs(kNoPacketRetryMs);
        return;
    }
    if (kind == kPacketEnd && size == 0)
        size = 1;  // a packet without bytes stays invisible to the consumer's pop
    while (m_running.load()) {
        if (m_queue.Push(m_packetBuf.get(), static_cast<int>(size), kind)) {
            m_packetQueued.SetEvent();
            break;
        }
        // A full queue: the consumer's next take, or a halt, lets the reader go on.
        m_spaceFreed.WaitEvent(CWaitEvent::kInfinite);
    }
    if (kind == kPacketEnd) {
        std::printf("Media End Recv [%d]\n", kind);
        m_running.store(false);
    }
}

void CTATParser::HaltReader() {
    std::unique_lock<std::mutex> lock(m_readerMutex);
    m_running.store(false);
    if (!m_reader.IsRunning())
        return;
    // A reader held by a full queue, and a consumer waiting for a packet, see the halt at once.
    m_spaceFreed.SetEvent();
    m_packetQueued.SetEvent();
    m_readerWake.wait(lock, [this] { return !m_readerBusy; });
}

void CTATParser::ResumeReader(bool run) {
    {
        std::lock_guard<std::mutex> lock(m_readerMutex);
        m_running.store(run);
    }
    if (run)
        m_readerWake.notify_all();
}

bool CTATParser::WaitForPacket(uint32_t ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!m_running.load() || m_queue.GetCount() > 0)
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return false;
        m_packetQueued.WaitEvent(static_cast<uint32_t>(left));
    }
}

uint32_t CTATParser::OpenMedia(const char* path, MediaInfo* info) {
    // No library read may overlap the calls below, nor a packet of the old stream be queued.
    HaltReader();
    m_open.store(false);

    const char* p = path ? path : "";
    switch (p[0] == '/' ? p[1] : p[0]) {
        case 'E':
            m_category = kCategoryEvent;
            break;
        case 'M':
            m_category = kCategoryManual;
            break;
        case 'P':
            m_category = kCategoryParking;
            break;
        case 'R':
            m_category = kCategoryContinuous;
            break;
        default:
            break;  // keeps the category of the previous recording
    }
    m_kind0Count.store(0);

    const RecordingName recording = SplitRecordingName(p);
    const TatHandle handle = Handle();
    uint8_t description[kTatDescriptionBytes] = {};
    int32_t count0 = 0;
    int32_t count1 = 0;
    uint8_t block244[244] = {};
    char countsText[kTatCountsTextBytes + 1] = {};
    uint8_t block40[40] = {};
    if (recording.hasIndex)
        TatQueryRecordingAt(handle, recording.name.c_str(), recording.index, description, &count0,
                            &count1, block244, countsText, block40);
    else
        TatQueryRecording(handle, recording.name.c_str(), description, &count0, &count1, block244,
                          countsText, block40);
    countsText[kTatCountsTextBytes] = '\0';
    FillStreamInfo(description, count0, count1, countsText);

    const int32_t category = LibraryCategory(m_category);
    const int64_t position = recording.hasIndex
                                 ? TatLocateAt(handle, category, recording.index)
                                 : TatLocate(handle, category, recording.name.c_str());
    const bool located = position >= 0;
    m_streaming.store(located && TatStartStream(handle, category, 0, position) != 0);

    if (info) {
        info->fps0 = m_info.fps[0];
        info->fps1 = m_info.fps[1];
        info->frameCount0 = m_info.frameCount[0];
        info->frameCount1 = m_info.frameCount[1];
    }

    // A recording that was not found is read as one that ends at once.
    m_ended.store(!located);
    m_endedDamaged.store(false);
    m_tooLarge.store(0);
    m_queue.Clear();
    m_open.store(located);
    m_seekFrame.store(0);
    ResumeReader(true);
    return 1;
}

void CTATParser::CloseMedia() {
    HaltReader();
    m_open.store(false);
    m_streaming.store(false);
    m_queue.Clear();
}

int32_t CTATParser::ReadPacket(uint8_t* buffer, uint32_t* size) {
    if (!size)
        return kPacketEnd;
    if (m_ended.load()) {
        *size = 0;
        return kPacketEnd;
    }
    const uint32_t capacity = *size;
    uint8_t stream = kUnsetByte;
    uint8_t kind = kUnsetByte;
    uint8_t flag = kUnsetByte;
    int32_t extra = 0;
    const int32_t status = TatReadPacket(Handle(), &stream, &kind, &flag, size, buffer, &extra);

    if (kind <= kTatKindText && *size > capacity) {
        std::printf("[TATParser] packet of %u bytes reported for a buffer of %u, skipped\n", *size,
                    capacity);
        m_tooLarge.fetch_add(1);
        *size = 0;
        return kPacketNone;
    }
    switch (kind) {
        case kTatKindGroupStart:
            m_kind0Count.fetch_add(1);
            return stream == 0 ? kPacketFrontVideo : kPacketRearVideo;
        case kTatKindVideo:
            return stream == 0 ? kPacketFrontVideo : kPacketRearVideo;
        case kTatKindAudio:
            return kPacketAudio;
        case kTatKindText:
            return kPacketText;
        default:
            break;
    }
    const auto byteStatus = static_cast<int8_t>(status);
    if (byteStatus == kTatNoPacketNow)
        return kPacketNone;
    if (byteStatus != kTatEnd && byteStatus != kTatEndDamaged && *size == capacity)
        return kPacketNone;
    // The end, or a failure reported as one: later reads must not go back to the library.
    m_endedDamaged.store(byteStatus != kTatEnd);
    m_ended.store(true);
    *size = 1;
    return kPacketEnd;
}

int32_t CTATParser::ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) {
    const int capacity = size ? static_cast<int>(std::min<uint32_t>(*size, INT_MAX)) : 0;
    int got = 0;
    int tag = kPacketNone;
    bool delivered = false;
    for (int attempt = 0; attempt < kParseAttempts && !delivered; ++attempt) {
        // Read before the pop: the reader queues its last packet before it clears the flag.
        const bool running = m_running.load();
        delivered = m_queue.Pop(buffer, capacity, &got, &tag);
        // Taken or dropped as too large: either way a reader held by a full queue may go on.
        m_spaceFreed.SetEvent();
        if (delivered)
            break;
        if (m_queue.GetUsedBytes() > 0)
            continue;  // a packet too large for the caller's buffer was dropped
        if (!running) {
            if (size)
                *size = 0;
            return -1;
        }
        m_packetQueued.WaitEvent(kParseRetryMs);
    }
    if (size)
        *size = delivered ? static_cast<uint32_t>(got) : 0;
    if (!delivered)
        return kPacketNone;

    static constexpr const char* kIds[] = {"00dc", "01dc", "02wb", "03tx"};
    switch (tag) {
        case kPacketFrontVideo:
        case kPacketRearVideo:
        case kPacketAudio:
        case kPacketText:
            std::memcpy(id, kIds[tag], 4);
            return kPacketNone;
        case kPacketNone:
            return kPacketNone;
        default:
            return -1;
    }
}

int32_t CTATParser::SeekTime(float seconds) {
    const float groupLength = s_groupLength.load();
    const int32_t fps = m_info.fps[0] != 0 ? m_info.fps[0] : kDefaultFrameRate;
    const int32_t frameCount = m_info.frameCount[0];

    HaltReader();
    m_queue.Clear();

    // A tiny allowance keeps a time that lands exactly on a group start, give or take the
    // float's rounding, in that group rather than the one before.
    double groups = static_cast<double>(fps) * seconds / groupLength + 1e-4;
    if (!(groups > 0.0))
        groups = 0.0;
    if (frameCount > 0)
        groups = std::min(groups, std::floor((frameCount - 1) / static_cast<double>(groupLength)));
    groups = std::min(groups, static_cast<double>(INT32_MAX / 2));
    const auto k = static_cast<int32_t>(groups);

    const int32_t delivered = m_kind0Count.load();
    const int64_t target = static_cast<int64_t>(delivered) + k + 1;
    // Without a frame count the library's own last group is the only bound.
    const int64_t limit =
        frameCount > 0 ? static_cast<int64_t>(frameCount / groupLength) + delivered + 1 : target;
    if (m_open.load()) {
        TatSeek(Handle(), ClampToInt32(target), ClampToInt32(limit));
        m_ended.store(false);
        m_endedDamaged.store(false);
    }
    m_seekFrame.store(static_cast<int32_t>(groupLength * k));
    ResumeReader(m_open.load());
    return static_cast<int32_t>(groupLength * k / fps);
}

int32_t CTATParser::SkippedPackets() const {
    const int64_t skipped = int64_t(m_tooLarge.load()) + TatSkippedPackets(Handle());
    return ClampToInt32(skipped);
}

bool CTATParser::SeekSnapsToSecond() {
    return true;
}

bool CTATParser::BuildIndex(const char*, MediaInfo*) {
    return false;
}

void CTATParser::SetParam(uint32_t) {}

VideoSize CTATParser::GetVideoSize(int stream) {
    if (stream != 0 && stream != 1)
        return {};
    return {m_info.width[stream], m_info.height[stream]};
}

int32_t CTATParser::GetFrameRate(int stream) {
    if (stream != 0 && stream != 1)
        return 0;
    return m_info.fps[stream];
}

uint32_t CTATParser::GetAudioFormat(uint32_t* bitsPerSample, uint32_t* sampleRate) {
    if (bitsPerSample)
        *bitsPerSample = 16;
    if (sampleRate)
        *sampleRate = 8000;
    return 8000;
}

uint32_t CTATParser::ReadRaw(void*, uint32_t) {
    return 0;
}

int32_t CTATParser::SeekRaw(int32_t, int) {
    return 0;
}

int32_t CTATParser::TellRaw() {
    return 0;
}

int32_t CTATParser::GetTotalFrames() {
    return 0;
}

}  // namespace locket
