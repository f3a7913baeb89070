// Feeds arbitrary bytes to the recording reader as a TAT file: open (index or scan), read
// every packet with a large and a small buffer, seek into the middle and read on.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tat/tat_reader.h"

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

}  // namespace

// The reader's trace lines would only slow the run; libFuzzer reports on stderr.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(FuzzPath().c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

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
    ::unlink(FuzzPath().c_str());
    return 0;
}
