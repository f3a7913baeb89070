// Prints how fast locket-record makes recordings, as a ratio against the ffmpeg command
// encoding a test pattern with the same encoder settings; never fails on a time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "tat/tat_library.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/drive_model.h"
#include "tools/locket-record/record_options.h"
#include "tools/locket-record/road_scene.h"

using namespace locket;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double TimeRecording(const std::string& dir, int w, int h, int rw, int rh, int seconds) {
    RecordOptions o;
    o.cardDir = dir;
    o.width = w;
    o.height = h;
    o.rearWidth = rw;
    o.rearHeight = rh;
    o.seconds = seconds;
    o.count = 1;
    o.onlyCategory = kTatContinuous;
    o.jobs = 1;
    o.quiet = true;
    std::string error;
    const auto start = Clock::now();
    if (WriteCard(o, &error) != 0) {
        std::printf("locket-record failed: %s\n", error.c_str());
        return -1;
    }
    return Seconds(start);
}

// The same number of pictures through the ffmpeg command: test pattern, libx264 ultrafast,
// one thread, to nothing.
double TimeFfmpeg(int w, int h, int frames) {
    char command[512];
    std::snprintf(command, sizeof command,
                  "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=%dx%d:rate=30 -frames:v %d "
                  "-c:v libx264 -preset ultrafast -tune zerolatency -threads 1 -g 24 -bf 0 "
                  "-f h264 /dev/null",
                  w, h, frames);
    const auto start = Clock::now();
    if (std::system(command) != 0)
        return -1;
    return Seconds(start);
}

double TimeScene(int w, int h, int frames) {
    CRoadScene scene(w, h, false, 1);
    const CDriveModel drive(1, frames / 30.0);
    cv::Mat picture;
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        const DriveState s = drive.At(i / 30.0);
        SceneInput in;
        in.frame = i;
        in.distanceM = s.distanceM;
        in.speedKmh = s.speedKmh;
        in.yawRateDegS = s.yawRateDegS;
        in.seconds = i / 30.0;
        in.clockText = "2024/03/01 08:30:00";
        scene.Draw(in, &picture);
    }
    return Seconds(start);
}

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    const std::string dir =
        (std::filesystem::temp_directory_path() / "locket-record-bench").string();
    struct Case {
        int w, h, rw, rh, seconds;
    };
    std::printf("%-22s %10s %12s %14s %10s\n", "front+rear", "pictures", "record p/s", "ffmpeg p/s",
                "ratio");
    for (const Case c : {Case{160, 120, 96, 64, 10}, Case{1280, 720, 640, 360, 5}}) {
        std::filesystem::remove_all(dir);
        const int frames = c.seconds * 30;
        const double ours = TimeRecording(dir, c.w, c.h, c.rw, c.rh, c.seconds);
        const double reference = TimeFfmpeg(c.w, c.h, frames) + TimeFfmpeg(c.rw, c.rh, frames);
        char sizes[40];
        std::snprintf(sizes, sizeof sizes, "%dx%d+%dx%d", c.w, c.h, c.rw, c.rh);
        if (ours <= 0 || reference <= 0) {
            std::printf("%-22s could not be measured\n", sizes);
            continue;
        }
        std::printf("%-22s %10d %12.0f %14.0f %9.2fx\n", sizes, 2 * frames, 2 * frames / ours,
                    2 * frames / reference, ours / reference);
    }
    std::filesystem::remove_all(dir);
    for (const Case c : {Case{160, 120, 0, 0, 0}, Case{1280, 720, 0, 0, 0}}) {
        const double t = TimeScene(c.w, c.h, 300);
        std::printf("scene drawing %dx%d: %.2f ms per picture\n", c.w, c.h, t * 1000 / 300);
    }
    std::printf(
        "(ratio: locket-record time / ffmpeg time for the same pictures; ffmpeg runs as a "
        "separate process and draws a simpler pattern)\n");
    return 0;
}
