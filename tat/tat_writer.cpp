#include "tat/tat_writer.h"

#include <unistd.h>

#include <cstring>

#include "tat/tat_format.h"

namespace locket {

using namespace tatfmt;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct IndexEntry {
    uint64_t offset;
    uint32_t timeMs;
    uint32_t frame;
};

}  // namespace

struct CTatWriter::Impl {
    FilePtr file;
    std::string path;
    uint8_t desc[kTatDescriptionBytes] = {};
    uint32_t count0 = 0, count1 = 0, audio = 0, acc = 0, gps = 0;
    uint32_t seq = 0;
    uint32_t lastTime = 0;
    uint64_t offset = 0;  // where the next packet goes
    uint64_t lastPacketOffset = 0;
    uint32_t lastPacketBytes = 0;
    std::vector<IndexEntry> index;

    bool WriteAll(const void* data, size_t size) {
        if (size && std::fwrite(data, 1, size, file.get()) != size)
            return false;
        offset += size;
        return true;
    }

    void BuildHeader(uint8_t* h, bool finished) const {
        std::memset(h, 0, kHeaderBytes);
        std::memcpy(h + kHdrMagic, kFileMagic, 4);
        PutLE16(h + kHdrVersion, kFormatVersion);
        PutLE16(h + kHdrSize, kHeaderBytes);
        if (finished) {
            PutLE32(h + kHdrFlags, kFlagFinished);
            PutLE32(h + kHdrCount0, count0);
            PutLE32(h + kHdrCount1, count1);
            PutLE32(h + kHdrAudio, audio);
            PutLE32(h + kHdrAcc, acc);
            PutLE32(h + kHdrGps, gps);
            PutLE32(h + kHdrGroups, uint32_t(index.size()));
            PutLE32(h + kHdrDuration, lastTime);
            FormatCountsText(reinterpret_cast<char*>(h + kHdrCountsText), kTatCountsTextBytes,
                             count0, count1, audio, acc, gps);
        }
        std::memcpy(h + kHdrDesc, desc, kTatDescriptionBytes);
        PutLE32(h + kHdrCrc, Crc32(h, kHdrCrc));
    }
};

CTatWriter::CTatWriter() : m_impl(std::make_unique<Impl>()) {}

CTatWriter::~CTatWriter() {
    if (IsOpen())
        Finish();
}

bool CTatWriter::IsOpen() const {
    return m_impl->file != nullptr;
}

uint32_t CTatWriter::LastPacketBytes() const {
    return m_impl->lastPacketBytes;
}

bool CTatWriter::Create(const std::string& path, const TatRecordingDesc& desc) {
    if (IsOpen())
        Finish();
    if (desc.fps0 < 0 || desc.fps0 > 255 || desc.fps1 < 0 || desc.fps1 > 255 || desc.width0 < 0 ||
        desc.width0 > 0xFFFF || desc.height0 < 0 || desc.height0 > 0xFFFF || desc.width1 < 0 ||
        desc.width1 > 0xFFFF || desc.height1 < 0 || desc.height1 > 0xFFFF) {
        std::printf("[CTatWriter] bad description for %s\n", path.c_str());
        return false;
    }
    Impl fresh;
    fresh.file.reset(std::fopen(path.c_str(), "w+b"));
    if (!fresh.file) {
        std::printf("[CTatWriter] cannot create %s\n", path.c_str());
        return false;
    }
    fresh.path = path;
    uint8_t* d = fresh.desc;
    d[kDescVersion] = 1;
    d[kDescCameras] = desc.fps1 > 0 ? 2 : 1;
    d[kDescFps0] = uint8_t(desc.fps0);
    d[kDescFps1] = uint8_t(desc.fps1);
    d[kDescAudioBits] = kAudioBits;
    d[kDescAudioChannels] = 1;
    PutLE32(d + kDescSampleRate, kSampleRate);
    PutLE16(d + kDescGroupLength, kGroupLength);
    PutLE16(d + kDescHeight0, uint16_t(desc.height0));
    PutLE16(d + kDescHeight1, uint16_t(desc.height1));
    PutLE16(d + kDescWidth0, uint16_t(desc.width0));
    PutLE16(d + kDescWidth1, uint16_t(desc.width1));

    // The header goes out first, unfinished, so a power cut leaves a file that a scan can read.
    uint8_t header[kHeaderBytes];
    fresh.BuildHeader(header, false);
    if (!fresh.WriteAll(header, kHeaderBytes)) {
        std::printf("[CTatWriter] cannot write %s\n", path.c_str());
        return false;
    }
    *m_impl = std::move(fresh);
    return true;
}

bool CTatWriter::WritePacket(uint8_t stream, uint8_t kind, uint32_t timeMs, const uint8_t* data,
                             uint32_t size, uint8_t flag) {
    Impl& w = *m_impl;
    if (!w.file || size == 0 || !data || kind > kTatKindText || stream > 1 ||
        size > kMaxPayloadBytes)
        return false;
    // Group starts are front video only: readers count them to seek.
    if (kind == kTatKindGroupStart && stream != 0)
        return false;
    if ((kind == kTatKindAudio || kind == kTatKindText) && stream != 0)
        return false;
    if (kind == kTatKindAudio && size > kMaxAudioBytes)
        return false;

    uint8_t header[kPacketHeaderBytes];
    BuildPacketHeader(header, stream, kind, flag, size, timeMs, w.seq, data);
    uint64_t start = w.offset;
    if (!w.WriteAll(header, kPacketHeaderBytes) || !w.WriteAll(data, size)) {
        std::printf("[CTatWriter] write failed: %s\n", w.path.c_str());
        return false;
    }
    if (kind == kTatKindGroupStart)
        w.index.push_back({start, timeMs, w.count0});
    switch (kind) {
        case kTatKindGroupStart:
        case kTatKindVideo:
            ++(stream == 0 ? w.count0 : w.count1);
            break;
        case kTatKindAudio:
            ++w.audio;
            break;
        default:
            if (size && data[0] == 'M')
                ++w.acc;
            else if (size && data[0] == 'G')
                ++w.gps;
            break;
    }
    ++w.seq;
    w.lastTime = timeMs;
    w.lastPacketOffset = start;
    w.lastPacketBytes = kPacketHeaderBytes + size;
    return true;
}

bool CTatWriter::Finish() {
    Impl& w = *m_impl;
    if (!w.file)
        return false;
    bool ok = true;
    uint64_t indexOffset = w.offset;
    std::vector<uint8_t> block(kIndexHeadBytes + w.index.size() * kIndexEntryBytes + 4);
    std::memcpy(block.data(), kIndexMagic, 4);
    PutLE32(block.data() + 4, uint32_t(w.index.size()));
    uint8_t* e = block.data() + kIndexHeadBytes;
    for (const IndexEntry& entry : w.index) {
        PutLE64(e, entry.offset);
        PutLE32(e + 8, entry.timeMs);
        PutLE32(e + 12, entry.frame);
        e += kIndexEntryBytes;
    }
    PutLE32(e, Crc32(block.data(), block.size() - 4));
    uint8_t trailer[kTrailerBytes];
    std::memcpy(trailer, kTrailerMagic, 4);
    PutLE64(trailer + 4, indexOffset);
    PutLE32(trailer + 12, Crc32(trailer, 12));
    ok = w.WriteAll(block.data(), block.size()) && w.WriteAll(trailer, kTrailerBytes);

    // The finished header last: until it is on disk the file reads as a power-cut one.
    uint8_t header[kHeaderBytes];
    w.BuildHeader(header, true);
    ok = ok && std::fflush(w.file.get()) == 0 && std::fseek(w.file.get(), 0, SEEK_SET) == 0 &&
         std::fwrite(header, 1, kHeaderBytes, w.file.get()) == kHeaderBytes;
    ok = std::fclose(w.file.release()) == 0 && ok;
    if (!ok)
        std::printf("[CTatWriter] finishing failed: %s\n", w.path.c_str());
    w.index.clear();
    return ok;
}

bool CTatWriter::CutAsPowerLoss(uint32_t keepBytesOfLast) {
    Impl& w = *m_impl;
    if (!w.file)
        return false;
    uint64_t end = w.offset;
    if (w.lastPacketBytes > 0 && keepBytesOfLast < w.lastPacketBytes)
        end = w.lastPacketOffset + keepBytesOfLast;
    bool ok = std::fflush(w.file.get()) == 0 &&
              ::ftruncate(::fileno(w.file.get()), static_cast<off_t>(end)) == 0;
    ok = std::fclose(w.file.release()) == 0 && ok;
    w.index.clear();
    return ok;
}

}  // namespace locket
