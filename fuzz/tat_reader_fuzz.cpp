// Feeds the recording reader a TAT file: either the input bytes as they are, or (first byte
// odd) a recording written from packets described by the input, so that mutations get past
// the checksums into the index, the scan and the resync; then open (index or scan), read every
// packet with a large and a small buffer, seek into the middle and read on; then the quick pass
// over the text packets.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tat/tat_reader.h"
#include "tat/tat_text_scan.h"
#include "tat/tat_writer.h"

using namespace locket;

namespace {

const std::string& FuzzPath() {
    static const std::string path = "/tmp/tat-reader-fuzz-" + std::to_string(::getpid()) + ".tat";
    return path;
}

void ReadSome(CTatReader& reader, uint32_t capacity, std::vector<uint8_t>& buffer, int limit) {
    TatPacketInfo info;
    for (int i = 0; i < limit; ++i) {
        int status = reader.ReadPacket(buffer.data(), capacity, &info);
        if (status != kTatPacket)
            return;
        if (info.size > capacity || info.kind > kTatKindText || info.stream > 1)
            std::abort();
    }
}

// Input: flags byte, then packets of 4 header bytes (stream, kind, size low, size high) and
// their payload. Flags bit 1: cut as a power loss; bit 2: damage one byte named by the tail.
bool WriteRecording(const uint8_t* data, size_t size) {
    const uint8_t flags = data[0];
    CTatWriter writer;
    TatRecordingDesc desc;
    desc.fps1 = 30;
    desc.width0 = 64;
    desc.height0 = 48;
    desc.width1 = 32;
    desc.height1 = 24;
    if (!writer.Create(FuzzPath(), desc))
        return false;
    size_t at = 1;
    uint32_t timeMs = 0;
    while (at + 4 <= size) {
        const uint8_t stream = data[at] & 1;
        const uint8_t kind = data[at + 1] & 3;
        size_t length = data[at + 2] | (size_t(data[at + 3]) << 8);
        at += 4;
        length = std::min(length, size - at);
        writer.WritePacket(stream, kind, timeMs, data + at, uint32_t(length));
        at += length;
        timeMs += 33;
    }
    const bool written = (flags & 2) ? writer.CutAsPowerLoss(uint32_t(size % 40)) : writer.Finish();
    if (written && (flags & 4) && size >= 3) {
        if (FILE* f = std::fopen(FuzzPath().c_str(), "r+b")) {
            std::fseek(f, long(data[size - 2] | (data[size - 1] << 8)), SEEK_SET);
            std::fputc(data[size - 3], f);
            std::fclose(f);
        }
    }
    return written;
}

}  // namespace

// The reader's trace lines would only slow the run; libFuzzer reports on stderr.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && (data[0] & 1)) {
        if (!WriteRecording(data, size))
            return 0;
    } else {
        FILE* f = std::fopen(FuzzPath().c_str(), "wb");
        if (!f)
            return 0;
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    static std::vector<uint8_t> buffer(1 << 20);
    CTatReader reader;
    if (reader.Open(FuzzPath())) {
        char text[kTatCountsTextBytes];
        reader.CountsText(text, sizeof text);
        ReadSome(reader, uint32_t(buffer.size()), buffer, 100000);
        reader.Rewind();
        ReadSome(reader, 64, buffer, 100000);
        if (reader.GroupCount() > 0 && reader.SeekGroup(reader.GroupCount() / 2))
            ReadSome(reader, uint32_t(buffer.size()), buffer, 50);
    }
    // The quick pass for sensor records walks the same bytes its own way.
    ScanTextPackets(FuzzPath(), [](uint32_t, const uint8_t* payload, uint32_t bytes) {
        if (bytes > (1u << 20))
            std::abort();
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < bytes; ++i)
            sum = sum + payload[i];
    });
    ::unlink(FuzzPath().c_str());
    return 0;
}
