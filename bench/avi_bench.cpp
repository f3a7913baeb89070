// Export-side throughput of the AVI writer and extractor, as ratios against plain stdio on the
// same bytes in the same process. Prints figures; never fails on time.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/avi_extractor.h"
#include "files/avi_writer.h"

using namespace locket;
using Clock = std::chrono::steady_clock;

namespace {

struct Chunk {
    int kind;
    uint32_t size;
};

// Ten minutes of a two-camera recording: 30 + 30 frames a second, audio and text once a second.
std::vector<Chunk> Plan() {
    std::vector<Chunk> plan;
    for (int s = 0; s < 600; ++s) {
        for (int f = 0; f < 30; ++f) {
            plan.push_back({0, f == 0 ? 24001u : 3001u + (f * 37) % 2000});
            plan.push_back({1, f == 0 ? 12001u : 1501u + (f * 53) % 1000});
        }
        plan.push_back({2, 16000});
        plan.push_back({3, 41});
    }
    return plan;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main() {
    char pattern[] = "/tmp/locket-avi-bench-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string avi = dir + "/bench.avi", raw = dir + "/bench.raw";
    const auto plan = Plan();
    std::vector<uint8_t> payload(64 * 1024);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 31);
    uint64_t bytes = 0;
    for (const Chunk& c : plan)
        bytes += c.size;

    // Reference: the same payloads with a plain buffered fwrite each.
    auto t0 = Clock::now();
    FILE* f = std::fopen(raw.c_str(), "wb");
    for (const Chunk& c : plan)
        std::fwrite(payload.data(), 1, c.size, f);
    std::fclose(f);
    const double rawWrite = Seconds(t0);

    t0 = Clock::now();
    CAVIWriter w;
    w.SetDualVideo(true);
    w.SetVideoSize(0, 1280, 720);
    w.SetFrameRate(0, 30);
    w.Create(avi.c_str());
    for (const Chunk& c : plan)
        w.AddData(payload.data(), c.size, c.kind);
    w.Close();
    const double aviWrite = Seconds(t0);

    t0 = Clock::now();
    f = std::fopen(raw.c_str(), "rb");
    std::vector<uint8_t> buf(CAVIExtractor::kPacketBufSize);
    for (const Chunk& c : plan)
        if (std::fread(buf.data(), 1, c.size, f) != c.size)
            break;
    std::fclose(f);
    const double rawRead = Seconds(t0);

    t0 = Clock::now();
    CAVIExtractor x;
    MediaInfo info;
    x.OpenMedia(avi.c_str(), &info);
    size_t packets = 0;
    for (;;) {
        uint32_t size = uint32_t(buf.size());
        if (x.ReadPacket(buf.data(), &size) == kPacketEnd)
            break;
        ++packets;
    }
    x.CloseMedia();
    const double aviRead = Seconds(t0);

    t0 = Clock::now();
    for (int i = 0; i < 200; ++i)
        x.BuildIndex(avi.c_str(), &info);
    const double index = Seconds(t0) / 200;

    const double mb = double(bytes) / 1e6;
    std::printf("avi bench: %zu chunks, %.1f MB payload (10 min, two cameras)\n", plan.size(), mb);
    std::printf("  write: writer %.3f s (%.0f MB/s), plain fwrite %.3f s, ratio %.2f\n", aviWrite,
                mb / aviWrite, rawWrite, aviWrite / rawWrite);
    std::printf("  read:  extractor %.3f s (%zu packets), plain fread %.3f s, ratio %.2f\n",
                aviRead, packets, rawRead, aviRead / rawRead);
    std::printf("  BuildIndex: %.2f ms for %d front frames\n", index * 1e3, info.frameCount0);
    std::remove(avi.c_str());
    std::remove(raw.c_str());
    rmdir(dir.c_str());
    return 0;
}
