// Opening a recording with its key-frame index against opening the same packets cut by a
// power loss (no index: the reader scans and checksums every packet); then reading through.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "tat/tat_reader.h"
#include "tat/tat_writer.h"
#include "tat_bench_util.h"

using namespace locket;

namespace {

bool Write(const std::string& path, int frames, bool finish) {
    CTatWriter writer;
    TatRecordingDesc desc;
    desc.fps1 = 30;
    desc.width0 = desc.width1 = 1280;
    desc.height0 = desc.height1 = 720;
    if (!writer.Create(path, desc))
        return false;
    std::vector<uint8_t> key(40000, 0x11), frame(6000, 0x22), rear(4000, 0x33), pcm(534, 0);
    uint8_t gps[64] = {'G'};
    for (int i = 0; i < frames; ++i) {
        uint32_t t = uint32_t(i) * 1000 / 30;
        bool k = i % 24 == 0;
        writer.WritePacket(0, k ? kTatKindGroupStart : kTatKindVideo, t,
                           k ? key.data() : frame.data(), uint32_t(k ? key.size() : frame.size()));
        writer.WritePacket(1, kTatKindVideo, t, rear.data(), uint32_t(rear.size()));
        writer.WritePacket(0, kTatKindAudio, t, pcm.data(), uint32_t(pcm.size()));
        if (i % 30 == 0)
            writer.WritePacket(0, kTatKindText, t, gps, sizeof gps);
    }
    return finish ? writer.Finish() : writer.CutAsPowerLoss(UINT32_MAX);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    bench::TempFolder temp;
    std::string indexed = temp.Path() + "/indexed.tat";
    std::string cut = temp.Path() + "/cut.tat";
    if (!Write(indexed, seconds * 30, true) || !Write(cut, seconds * 30, false))
        return 1;

    int groups = 0;
    double indexedMs = bench::BestMs(5, [&] {
        CTatReader reader;
        reader.Open(indexed);
        groups = reader.GroupCount();
    });
    int scannedGroups = 0;
    double scanMs = bench::BestMs(5, [&] {
        CTatReader reader;
        reader.Open(cut);
        scannedGroups = reader.GroupCount();
    });
    std::vector<uint8_t> buffer(1 << 20);
    size_t packets = 0;
    double readMs = bench::BestMs(3, [&] {
        CTatReader reader;
        reader.Open(indexed);
        packets = 0;
        while (reader.ReadPacket(buffer.data(), uint32_t(buffer.size()), nullptr) == kTatPacket)
            ++packets;
    });
    double mb = double(std::filesystem::file_size(cut)) / 1e6;
    std::printf(
        "tat open: %d s recording, %.1f MB, %d groups (scan found %d); files in the page cache\n",
        seconds, mb, groups, scannedGroups);
    std::printf("  open with index:    %9.3f ms\n", indexedMs);
    std::printf("  open by scan:       %9.3f ms (%.0f MB/s)\n", scanMs, mb / (scanMs / 1000));
    std::printf("  scan / index ratio: %9.0fx\n", scanMs / indexedMs);
    std::printf("  read all packets:   %9.3f ms (%zu packets, %.0f MB/s)\n", readMs, packets,
                mb / (readMs / 1000));
    return 0;
}
