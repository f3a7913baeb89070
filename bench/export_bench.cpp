// Export figures: a two-camera recording of a few hundred MB converted to AVI by the export,
// against `ffmpeg -c copy -f avi` remuxing the same streams and `cp` of the recording's bytes,
// all with a warm cache, as medians of per-round ratios. Real H.264 (made by ffmpeg here) so the
// remux has a stream it understands.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/avi_converter.h"
#include "tat/card_layout.h"
#include "tat/tat_writer.h"
#include "tat_bench_util.h"
#include "tests/support/external_command.h"

using namespace locket;
using namespace locket::bench;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint64_t kTargetBytes = 300ull << 20;

// User and system time of this process and of its waited-for children, in ms.
double CpuMs() {
    double ms = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage;
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            ms += t.tv_sec * 1000.0 + t.tv_usec / 1000.0;
    }
    return ms;
}

// Front and rear groups of 24 repeated until the recording holds kTargetBytes.
bool WriteRecording(const std::string& path, const std::vector<Bytes>& front,
                    const std::vector<Bytes>& rear) {
    TatRecordingDesc desc;
    desc.fps0 = desc.fps1 = 30;
    desc.width0 = 1280;
    desc.height0 = 720;
    desc.width1 = 640;
    desc.height1 = 360;
    CTatWriter writer;
    if (!writer.Create(path, desc))
        return false;
    const Bytes pcm(3840, 0);
    uint64_t written = 0;
    uint32_t audioDue = 0;
    bool ok = true;
    for (size_t f = 0; ok && written < kTargetBytes; ++f) {
        const uint32_t t = static_cast<uint32_t>(f * 1000 / 30);
        const Bytes& a = front[f % front.size()];
        const Bytes& b = rear[f % rear.size()];
        const bool group = f % 24 == 0;
        ok = writer.WritePacket(0, group ? kTatKindGroupStart : kTatKindVideo, t, a.data(),
                                static_cast<uint32_t>(a.size())) &&
             writer.WritePacket(1, kTatKindVideo, t, b.data(), static_cast<uint32_t>(b.size()));
        written += a.size() + b.size();
        while (ok && t >= audioDue) {
            ok = writer.WritePacket(0, kTatKindAudio, t, pcm.data(),
                                    static_cast<uint32_t>(pcm.size()));
            written += pcm.size();
            audioDue += 240;
        }
    }
    return writer.Finish() && ok;
}

}  // namespace

int main() {
    bench::TempFolder temp;
    const std::string root = temp.Path() + "/card";
    const std::string out = temp.Path() + "/out";
    std::filesystem::create_directories(out);
    if (temp.Path().empty() || !CreateCardLayout(root) ||
        !MakeStream(temp.Path() + "/front.h264", "1280x720") ||
        !MakeStream(temp.Path() + "/rear.h264", "640x360")) {
        std::printf("cannot make the material (is ffmpeg installed?)\n");
        return 1;
    }
    const RecordingTime time{2024, 3, 1, 8, 30, 0};
    const std::string source = RecordingPath(root, kTatEvent, time, 2);
    const std::string name = std::filesystem::path(source).filename().string();
    if (!WriteRecording(source, AccessUnits(temp.Path() + "/front.h264"),
                        AccessUnits(temp.Path() + "/rear.h264"))) {
        std::printf("cannot write the recording\n");
        return 1;
    }
    const double mib = static_cast<double>(std::filesystem::file_size(source)) / (1 << 20);

    CAviConverter converter;
    if (!converter.UseCard(root)) {
        std::printf("not a card: %s\n", root.c_str());
        return 1;
    }
    const std::string avi = CAviConverter::DestinationFor(out, name);
    ExportCounts counts;
    const auto exportOnce = [&] {
        const auto report = converter.Convert(name, avi, {}, {});
        if (report.result != ExportResult::kWritten)
            std::printf("export failed\n");
        counts = report.copied;
    };
    exportOnce();  // warms the cache and leaves the AVI that ffmpeg remuxes
    const std::string remux = "ffmpeg -nostdin -v error -y -i " + avi +
                              " -map 0:v -map 0:a -c copy -f avi " + out + "/remux.avi";
    const std::string copy = "cp " + source + " " + out + "/copy.tat";
    // Wall time, and the processor time of this process and its children: on a shared
    // machine the second moves less with the load.
    std::vector<double> exportCpu, ffmpegCpu, copyCpu;
    // Each run writes a new file, as into a folder without an earlier copy: what the file it
    // replaces costs to free is no part of the figure.
    const auto timeMs = [](const std::string& output, auto&& f, std::vector<double>* cpu) {
        std::filesystem::remove(output);
        const double before = CpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        cpu->push_back(CpuMs() - before);
        return wall;
    };
    // Paired rounds, each timing the three one after another: on a shared machine the load
    // moves between rounds more than within one, so the ratios are taken per round.
    constexpr int kRounds = 7;
    std::vector<double> exportMs, ffmpegMs, copyMs, overFfmpeg, overCopy;
    for (int round = 0; round < kRounds; ++round) {
        exportMs.push_back(timeMs(avi, exportOnce, &exportCpu));
        ffmpegMs.push_back(timeMs(
            out + "/remux.avi",
            [&] {
                if (!Shell(remux))
                    std::printf("ffmpeg remux failed\n");
            },
            &ffmpegCpu));
        copyMs.push_back(timeMs(
            out + "/copy.tat", [&] { Shell(copy); }, &copyCpu));
        overFfmpeg.push_back(ffmpegMs.back() / exportMs.back());
        overCopy.push_back(copyMs.back() / exportMs.back());
    }

    std::printf("recording: %.0f MiB, two cameras, %u front / %u rear / %u audio packets\n", mib,
                counts.front, counts.rear, counts.audio);
    std::printf("medians of %d rounds:\n", kRounds);
    const struct {
        const char* label;
        const std::vector<double>* wall;
        const std::vector<double>* cpu;
    } rows[] = {{"export      ", &exportMs, &exportCpu},
                {"ffmpeg remux", &ffmpegMs, &ffmpegCpu},
                {"cp          ", &copyMs, &copyCpu}};
    for (const auto& row : rows) {
        const double median = Median(*row.wall);
        std::printf("%s  %8.1f ms  %7.1f MiB/s  (processor %7.1f ms)\n", row.label, median,
                    mib / median * 1000, Median(*row.cpu));
    }
    std::printf("export speed / ffmpeg remux: %.2f (aim >= 1.3)\n", Median(overFfmpeg));
    std::printf("export speed / cp:           %.2f (aim >= 0.5)\n", Median(overCopy));
    return 0;
}
