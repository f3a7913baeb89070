// Export figures: a two-camera recording of a few hundred MB converted to AVI by the export,
// against `ffmpeg -c copy -f avi` remuxing the same streams and `cp` of the recording's bytes,
// all with a warm cache, as ratios. Real H.264 (made by ffmpeg here) so the remux has a stream it
// understands.
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
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
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint64_t kTargetBytes = 300ull << 20;

bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Access units of an Annex B file made with access unit delimiters.
std::vector<Bytes> AccessUnits(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return testsupport::AccessUnits(Bytes((std::istreambuf_iterator<char>(in)), {}));
}

bool MakeStream(const std::string& path, const char* size) {
    return Shell(std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=") + size +
                 ":rate=30 -frames:v 48 -c:v libx264 -qp 8 -x264-params "
                 "aud=1:keyint=24:min-keyint=24:scenecut=0 -f h264 " +
                 path);
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
    const double exportMs = bench::BestMs(3, exportOnce);
    const std::string remux = "ffmpeg -nostdin -v error -y -i " + avi +
                              " -map 0:v -map 0:a -c copy -f avi " + out + "/remux.avi";
    const double ffmpegMs = bench::BestMs(3, [&] {
        if (!Shell(remux))
            std::printf("ffmpeg remux failed\n");
    });
    const std::string copy = "cp " + source + " " + out + "/copy.tat";
    const double copyMs = bench::BestMs(3, [&] { Shell(copy); });

    std::printf("recording: %.0f MiB, two cameras, %u front / %u rear / %u audio packets\n", mib,
                counts.front, counts.rear, counts.audio);
    std::printf("export        %8.1f ms  %7.1f MiB/s\n", exportMs, mib / exportMs * 1000);
    std::printf("ffmpeg remux  %8.1f ms  %7.1f MiB/s\n", ffmpegMs, mib / ffmpegMs * 1000);
    std::printf("cp            %8.1f ms  %7.1f MiB/s\n", copyMs, mib / copyMs * 1000);
    std::printf("export speed / ffmpeg remux: %.2f (aim >= 1)\n", ffmpegMs / exportMs);
    std::printf("export speed / cp:           %.2f (aim >= 0.67)\n", copyMs / exportMs);
    return 0;
}
