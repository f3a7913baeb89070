// Picture steps on a two-camera recording of 1920x1080 and 1280x720 made by the recorder tool:
// the time of a step back (decoded from the group's key picture, both cameras) and of a step
// forward (read on), through the real parser and decoder. Prints figures only.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/media_player.h"
#include "files/tat_parser.h"
#include "platform/clock.h"
#include "tat/tat_library.h"
#include "tat_bench_util.h"

using namespace locket;
using Clock = std::chrono::steady_clock;

namespace {

// Lends memory for each picture, as the widget behind a window does.
class CPaintWindow : public VVideoWindow {
public:
    CPaintWindow(int w, int h) : m_size{w, h} {}
    WindowSize GetSize() const override { return m_size; }
    bool IsShown() const override { return true; }
    PictureBuffer BeginPicture(int width, int height) override {
        m_picture.resize(static_cast<size_t>(width) * height * 4);
        return {m_picture.data(), width * 4, PixelLayout::kBgrx32};
    }
    void EndPicture(bool) override {}

private:
    WindowSize m_size;
    std::vector<unsigned char> m_picture;
};

struct Figures {
    double median = 0, worst = 0;
};

Figures Summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main() {
    bench::TempFolder temp;
    const std::string name = "REC_20240301_083000_D.tat";
    const std::string make =
        std::string(LOCKET_BUILD_DIR) + "/tools/locket-record/locket-record '" + temp.Path() +
        "/card' --one " + name + " --seconds 6 --size 1920x1080 --rear-size 1280x720 --quiet";
    std::printf("making a 6 s recording of 1920x1080 and 1280x720...\n");
    const bool made = bench::Shell(make);
    TatHandle tat = TatCreate();
    if (!made || !TatRegisterCardFolder(tat, (temp.Path() + "/card").c_str())) {
        std::printf("cannot make the recording\n");
        return 1;
    }
    CTATParser::SetLibraryHandle(tat);
    CTATParser parser;
    CDecoder decoder;
    CPaintWindow front(960, 540), rear(640, 360);
    CTRSMediaPlayer player;
    player.m_pParser = &parser;
    player.m_pDecoder = &decoder;
    player.Start(&front, &rear);
    player.Open(name.c_str());
    player.Pause();
    SleepMs(100);

    // Back from the last picture of each group: the longest decode, 23 pictures per camera.
    std::vector<double> back, forward;
    for (int group = 1; group < 7; ++group) {
        const int last = group * 24 + 23;
        player.StepFrames(last - std::max(player.GetShownPicture(), 0));
        for (int i = 0; i < 3; ++i) {
            const auto t0 = Clock::now();
            player.StepFrames(1);
            forward.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            player.StepFrames(-1);
        }
        const auto t0 = Clock::now();
        player.StepFrames(-1);
        back.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (player.GetShownPicture() != last - 1)
            std::printf("step back landed on %d, not %d\n", player.GetShownPicture(), last - 1);
    }
    player.Shutdown();
    TatDestroy(tat);
    const Figures b = Summary(back), f = Summary(forward);
    std::printf(
        "step back, 23 pictures of each camera decoded: median %.1f ms, worst %.1f ms "
        "(aim < 100)\n",
        b.median, b.worst);
    std::printf("step forward, read on: median %.1f ms, worst %.1f ms\n", f.median, f.worst);
    return 0;
}
