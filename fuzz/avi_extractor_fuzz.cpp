// libFuzzer entry: arbitrary bytes as an AVI file, read through every entry point of the extractor.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/avi_extractor.h"

namespace {

std::string TempPath() {
    static std::string path;
    if (path.empty()) {
        char pattern[] = "/tmp/locket-avi-fuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        path = pattern;
        std::atexit([] { std::remove(path.c_str()); });
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = TempPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    static std::vector<uint8_t> buffer(locket::CAVIExtractor::kPacketBufSize);
    locket::CAVIExtractor x;
    locket::MediaInfo info;
    x.BuildIndex(path.c_str(), &info);
    if (x.OpenMedia(path.c_str(), &info)) {
        // A small capacity now and then reaches the size checks.
        const uint32_t capacity = size % 3 == 0 ? 64 : uint32_t(buffer.size());
        for (int i = 0; i < 256; ++i) {
            uint32_t got = capacity;
            if (x.ReadPacket(buffer.data(), &got) == locket::kPacketEnd)
                break;
        }
        for (float t : {0.0f, 0.5f, 1.0f, 1e9f, -1.0f}) {
            if (x.SeekTime(t) == 0) {
                char id[4];
                uint32_t got = capacity;
                x.ParseMedia(id, buffer.data(), &got);
            }
        }
        x.GetTotalFrames();
        x.GetVideoSize(0);
        x.GetVideoSize(1);
        x.GetFrameRate(1);
        uint32_t bits, rate;
        x.GetAudioFormat(&bits, &rate);
    }
    x.CloseMedia();
    return 0;
}
