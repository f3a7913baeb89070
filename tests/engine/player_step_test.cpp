// Picture steps and play speeds on recordings made by the recorder tool; pictures are known by
// the frame number the tool draws into them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/fakes/fakes.h"
#include "engine/media_player.h"
#include "files/tat_parser.h"
#include "support/frame_marker.h"
#include "tat/tat_library.h"

namespace locket {
namespace {

int FrameOf(const DrawnPicture& p) {
    return ReadFrameNumber(p.bgr.data(), p.width, p.height, p.stride);
}

// A card holding one recording of the tool, registered with a library handle of its own.
class OneRecordingCard {
public:
    OneRecordingCard(const std::string& name, const std::string& options) : m_name(name) {
        m_root = std::filesystem::temp_directory_path() /
                 ("locket_step_" + std::to_string(::getpid()) + "_" + std::to_string(s_next++));
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root);
        const std::string command = LOCKET_BUILD_DIR "/tools/locket-record/locket-record '" +
                                    m_root.string() + "' --one " + name + " " + options +
                                    " --quiet --jobs 1";
        const int status = std::system(command.c_str());
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            m_drive = TatRegisterCardFolder(m_handle, m_root.c_str());
        CTATParser::SetLibraryHandle(m_handle);
    }
    ~OneRecordingCard() {
        TatDestroy(m_handle);
        std::filesystem::remove_all(m_root);
    }
    bool Ready() const { return m_drive != 0; }
    const char* Name() const { return m_name.c_str(); }

private:
    static inline int s_next = 0;
    std::filesystem::path m_root;
    std::string m_name;
    TatHandle m_handle = TatCreate();
    char m_drive = 0;
};

TEST(PlayerStep, StepsLandOnTheExactPictureOnBothCamerasAndPlayGoesOnFromThere) {
    OneRecordingCard card("REC_20240301_083000_D.tat",
                          "--seconds 4 --size 160x96 "
                          "--rear-size 96x64");
    ASSERT_TRUE(card.Ready());
    CTATParser parser;
    CDecoder decoder;
    CFakeAudio audio;
    CFakeVideoWindow front{160, 96};
    CFakeVideoWindow rear{96, 64};
    CTRSMediaPlayer player;
    player.m_pParser = &parser;
    player.m_pDecoder = &decoder;
    player.m_pAudio = &audio;
    ASSERT_TRUE(player.Start(&front, &rear));
    player.Open(card.Name());
    EXPECT_FALSE(player.StepFrames(1)) << "playing";
    player.Pause();

    const struct {
        int delta;
        int picture;
    } steps[] = {
        {-1000, 0}, {1, 1},      {1, 2},    {-1, 1},   {30, 31}, {1, 32},  {-10, 22},
        {-1, 21},   {1000, 119}, {-1, 118}, {-25, 93}, {2, 95},  {-95, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.delta) + " to " + std::to_string(s.picture));
        ASSERT_TRUE(player.StepFrames(s.delta));
        EXPECT_EQ(s.picture, player.GetShownPicture());
        EXPECT_EQ(s.picture, FrameOf(front.Last()));
        EXPECT_EQ(s.picture, FrameOf(rear.Last()));
        EXPECT_EQ((s.picture + 1) * 1000 / 30, player.GetCurTime());
        EXPECT_EQ(CTRSMediaPlayer::kGateStepped, player.m_captureGate.load());
    }

    // Playing on shows the pictures after the stepped one, none missed.
    ASSERT_TRUE(player.StepFrames(60));
    front.ClearDrawn();
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return front.DrawCount() >= 6; }));
    player.Pause();
    std::vector<DrawnPicture> drawn = front.Drawn();
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(61 + static_cast<int>(i), FrameOf(drawn[i]));
    player.Close();
    EXPECT_FALSE(player.StepFrames(1)) << "nothing open";
    player.Shutdown();
}

using Clock = std::chrono::steady_clock;

TEST(PlayerSpeed, PicturesFollowTheChosenSpeedInSilence) {
    OneRecordingCard card("REC_20240301_083000_F.tat", "--seconds 2 --size 160x96");
    ASSERT_TRUE(card.Ready());
    for (const int speed : {50, 200}) {
        SCOPED_TRACE(speed);
        CTATParser parser;
        CReleaseLog decoder;
        CFakeAudio audio;
        CPlayerEvents events;
        CTRSMediaPlayer player;
        player.m_pParser = &parser;
        player.m_pDecoder = &decoder;
        player.m_pAudio = &audio;
        events.Attach(&player, nullptr);
        EXPECT_FALSE(player.SetSpeed(300));
        ASSERT_TRUE(player.SetSpeed(speed));
        ASSERT_TRUE(player.Start(nullptr, nullptr));
        player.Open(card.Name());
        ASSERT_TRUE(WaitFor([&] { return events.ends.load() >= 1; }));
        player.Shutdown();
        EXPECT_TRUE(audio.Bytes().empty()) << "sound only at normal speed";
        const std::vector<Clock::time_point>& t = decoder.fronts;
        ASSERT_EQ(60u, t.size());
        // Where ten pictures at each end place the first and the last: their medians, so that
        // one picture the scheduler held up does not move the measure.
        const double period = 1000.0 / 30 * 100 / speed;
        auto placed = [&](size_t from, size_t at) {
            std::vector<double> times;
            for (size_t i = from; i < from + 10; ++i)
                times.push_back(std::chrono::duration<double, std::milli>(t[i] - t[0]).count() +
                                (double(at) - double(i)) * period);
            std::nth_element(times.begin(), times.begin() + 5, times.end());
            return times[5];
        };
        const double played = placed(50, 59) - placed(0, 0);
        EXPECT_NEAR(played, 59 * period, 59 * period * 0.02);
    }
}

}  // namespace
}  // namespace locket
