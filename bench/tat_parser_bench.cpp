// Read-ahead figures of the TAT parser: a whole recording through ParseMedia against the bare
// library read loop, and the time from SeekTime to the first packet of the new place.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/tat_parser.h"
#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tat/tat_writer.h"

using namespace locket;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A minute at 30 fps from both cameras, with the recorder's audio and sensor packets.
bool WriteRecording(const std::string& path, int seconds) {
    TatRecordingDesc desc;
    desc.fps0 = 30;
    desc.fps1 = 30;
    desc.width0 = 1280;
    desc.height0 = 720;
    desc.width1 = 640;
    desc.height1 = 360;
    CTatWriter writer;
    if (!writer.Create(path, desc))
        return false;
    std::vector<uint8_t> key(60000, 0x65), delta(12000, 0x41), rearKey(20000, 0x65),
        rearDelta(4000, 0x41), pcm(3840, 0), text(40, 'M');
    uint32_t audioDue = 0;
    bool ok = true;
    for (int f = 0; f < seconds * 30 && ok; ++f) {
        const uint32_t t = static_cast<uint32_t>(f * 1000 / 30);
        const bool group = f % 24 == 0;
        const auto& front = group ? key : delta;
        const auto& rear = group ? rearKey : rearDelta;
        ok =
            writer.WritePacket(0, group ? kTatKindGroupStart : kTatKindVideo, t, front.data(),
                               static_cast<uint32_t>(front.size())) &&
            writer.WritePacket(1, kTatKindVideo, t, rear.data(),
                               static_cast<uint32_t>(rear.size())) &&
            writer.WritePacket(0, kTatKindText, t, text.data(), static_cast<uint32_t>(text.size()));
        while (ok && t >= audioDue) {
            ok = writer.WritePacket(0, kTatKindAudio, t, pcm.data(),
                                    static_cast<uint32_t>(pcm.size()));
            audioDue += 240;
        }
    }
    return writer.Finish() && ok;
}

}  // namespace

int main() {
    std::string root =
        (std::filesystem::temp_directory_path() / "tat-parser-bench-XXXXXX").string();
    if (!::mkdtemp(root.data()) || !CreateCardLayout(root)) {
        std::printf("cannot make a card folder\n");
        return 1;
    }
    const int seconds = 60;
    const std::string name = "REC_20240301_083000_D.tat";
    if (!WriteRecording(root + "/REC/" + name, seconds)) {
        std::printf("cannot write the recording\n");
        return 1;
    }
    const TatHandle handle = TatCreate();
    TatRegisterCardFolder(handle, root.c_str());
    CTATParser::SetLibraryHandle(handle);
    const double megabytes = std::filesystem::file_size(root + "/REC/" + name) / 1048576.0;

    std::vector<uint8_t> buffer(CTATParser::kBufferBytes);
    double bareMs = 1e300;
    double parserMs = 1e300;
    int packets = 0;
    for (int run = 0; run < 5; ++run) {
        // Bare library loop.
        auto start = Clock::now();
        TatStartStream(handle, kTatContinuous, 0, TatLocate(handle, kTatContinuous, name.c_str()));
        int bare = 0;
        for (;;) {
            uint8_t stream = 0xFF, kind = 0xFF, flag = 0xFF;
            uint32_t size = CTATParser::kBufferBytes;
            int32_t extra = 0;
            if (TatReadPacket(handle, &stream, &kind, &flag, &size, buffer.data(), &extra) !=
                kTatPacket)
                break;
            ++bare;
        }
        bareMs = std::min(bareMs, MsSince(start));

        // The same through the read-ahead thread and its queue.
        CTATParser parser;
        parser.StartReader();
        start = Clock::now();
        parser.OpenMedia(name.c_str(), nullptr);
        packets = 0;
        for (;;) {
            char id[5] = {};
            uint32_t size = CTATParser::kBufferBytes;
            if (parser.ParseMedia(id, buffer.data(), &size) < 0)
                break;
            packets += id[0] != 0;
        }
        parserMs = std::min(parserMs, MsSince(start));
        parser.StopReader();
        if (packets != bare)
            std::printf("packet counts differ: parser %d, library %d\n", packets, bare);
    }
    std::printf("recording: %d s, %.1f MiB, %d packets\n", seconds, megabytes, packets);
    std::printf("library read loop:    %8.1f ms  (%.0f MiB/s)\n", bareMs,
                megabytes / (bareMs / 1000.0));
    std::printf("parser read-ahead:    %8.1f ms  (%.0f MiB/s), %.2f x the library loop\n", parserMs,
                megabytes / (parserMs / 1000.0), parserMs / bareMs);

    // Seek to the first packet of the new place, while the reader has the queue full.
    CTATParser parser;
    parser.StartReader();
    parser.OpenMedia(name.c_str(), nullptr);
    std::vector<double> seekMs;
    for (int i = 0; i < 40; ++i) {
        const auto start = Clock::now();
        parser.SeekTime(static_cast<float>((i * 17) % seconds));
        char id[5] = {};
        uint32_t size = CTATParser::kBufferBytes;
        parser.ParseMedia(id, buffer.data(), &size);
        seekMs.push_back(MsSince(start));
    }
    parser.StopReader();
    std::sort(seekMs.begin(), seekMs.end());
    std::printf("seek to first packet: median %.2f ms, worst %.2f ms (%zu seeks)\n",
                seekMs[seekMs.size() / 2], seekMs.back(), seekMs.size());

    TatDestroy(handle);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
