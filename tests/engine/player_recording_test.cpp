// The player on recordings made by the recorder tool, read through the TAT parser and decoded
// for real; pictures are identified by the frame number the tool draws into them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "engine/decoder.h"
#include "engine/fakes/fakes.h"
#include "engine/media_player.h"
#include "files/tat_parser.h"
#include "platform/clock.h"
#include "support/external_command.h"
#include "tat/tat_test_util.h"

namespace locket {
namespace {

bool Consecutive(const std::vector<int>& frames) {
    return std::adjacent_find(frames.begin(), frames.end(),
                              [](int a, int b) { return b != a + 1; }) == frames.end();
}

// What a player should make of a recording, from reading its file packet by packet.
struct Expected {
    int firstKeyIndex = -1;         // index of the first front key frame among front packets
    std::vector<uint8_t> pcm;       // audio from the first front key frame on
    std::vector<int> frontsBefore;  // per text packet after that key frame: front packets before it
    int frontPackets = 0;
};

Expected ReadThrough(const std::string& root, const std::string& name) {
    Expected e;
    for (const test::Packet& p :
         test::ReadPackets(JoinPath(JoinPath(root, CategoryFolder(CategoryOfName(name))), name))) {
        const bool keySeen = e.firstKeyIndex >= 0;
        if (p.IsVideo() && p.stream == 0) {
            if (!keySeen && p.data.size() >= 5 && (p.data[4] & 0x1F) != 1)
                e.firstKeyIndex = e.frontPackets;
            ++e.frontPackets;
        } else if (keySeen && p.kind == kTatKindAudio) {
            e.pcm.insert(e.pcm.end(), p.data.begin(), p.data.end());
        } else if (keySeen && p.kind == kTatKindText) {
            e.frontsBefore.push_back(e.frontPackets - e.firstKeyIndex);
        }
    }
    return e;
}

class PlayerRecordingTest : public ::testing::Test {
protected:
    void SetUp() override { CTATParser::SetLibraryHandle(card.Handle()); }
    void TearDown() override { player.Shutdown(); }
    // Makes a recording on the card with the recorder tool.
    bool Record(const std::string& name, const std::string& options) {
        std::string said;
        return card.Ready() &&
               testsupport::RunCommand(LOCKET_BUILD_DIR "/tools/locket-record/locket-record '" +
                                           card.Root() + "' --one " + name + " " + options +
                                           " --quiet --jobs 1",
                                       &said) == 0;
    }
    bool Start() { return StartPlayer(&player, &parser, &decoder, &audio, &events, &front, &rear); }

    test::TestCard card;
    CTATParser parser;
    CDecoder decoder;
    CFakeAudio audio;
    CFakeVideoWindow front{160, 96};
    CFakeVideoWindow rear{96, 64};
    CPlayerEvents events;
    CTRSMediaPlayer player;
};

TEST_F(PlayerRecordingTest, PlaysFromTheFirstKeyFrameOfEachCameraAndCapturesOnlyThePictureShown) {
    // The second recording starts within a group, on two cameras; the third is smaller.
    const char* const names[] = {"REC_20240301_083000_F.tat", "EVENT_20240301_083000_D.tat",
                                 "REC_20240301_090000_F.tat"};
    ASSERT_TRUE(
        Record(names[0], "--seconds 2 --size 160x96") &&
        Record(names[1], "--seconds 2 --size 160x96 --rear-size 96x64 --start-mid-group=10") &&
        Record(names[2], "--seconds 2 --size 96x64") && Start());
    Expected expected;
    for (const bool two : {true, false}) {
        SCOPED_TRACE(names[two]);
        expected = ReadThrough(card.Root(), names[two]);
        ASSERT_EQ(expected.firstKeyIndex > 0, two);
        front.ClearDrawn();
        rear.ClearDrawn();
        const size_t soundFrom = audio.Bytes().size(), textsFrom = events.Texts().size();

        ASSERT_TRUE(player.Open(names[two]));
        EXPECT_EQ(player.GetDuration(), expected.frontPackets * 1000 / 30);
        EXPECT_EQ(player.GetChannelCount(), two ? 2 : 1);
        ASSERT_TRUE(WaitFor([&] { return events.ends.load() == (two ? 1 : 2); }));

        std::vector<int> frames = front.Frames();
        ASSERT_EQ(static_cast<int>(frames.size()), expected.frontPackets - expected.firstKeyIndex);
        EXPECT_EQ(frames.front(), expected.firstKeyIndex);
        EXPECT_TRUE(Consecutive(frames));
        // A start within a group counts only the pictures shown.
        EXPECT_TRUE(two || player.GetCurTime() == expected.frontPackets * 1000 / 30);
        // The rear camera starts at a key frame of its own, never before the front one.
        std::vector<int> rearFrames = rear.Frames();
        ASSERT_EQ(rearFrames.empty(), !two);
        EXPECT_TRUE(!two || rearFrames.front() >= expected.firstKeyIndex);
        EXPECT_TRUE(Consecutive(rearFrames));

        // Text comes after the pictures read before it, stamped in order.
        auto texts = events.Texts();
        texts.erase(texts.begin(), texts.begin() + textsFrom);
        ASSERT_EQ(texts.size(), expected.frontsBefore.size());
        ASSERT_FALSE(texts.empty());
        for (size_t i = 0; i < texts.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_GE(texts[i].frontsDrawn, expected.frontsBefore[i]);
            EXPECT_GE(texts[i].timeMs, i > 0 ? texts[i - 1].timeMs : 0);
        }
        // Sound only from the first front key frame on.
        ASSERT_TRUE(
            WaitFor([&] { return audio.Bytes().size() >= soundFrom + expected.pcm.size(); }));
        const std::vector<uint8_t> sound = audio.Bytes();
        EXPECT_EQ(std::vector<uint8_t>(sound.begin() + soundFrom, sound.end()), expected.pcm);
    }
    SleepMs(100);
    EXPECT_EQ(events.ends.load(), 2);  // one end event each

    // A step or seek on one camera is complete with the front picture alone.
    front.ClearDrawn();
    rear.ClearDrawn();
    ASSERT_TRUE(player.StepFrames(-1));
    EXPECT_EQ(front.Last().Frame(), 58);
    player.SeekTo(1000);
    ASSERT_TRUE(WaitFor([&] {
        return player.GetState() == CTRSMediaPlayer::kPaused &&
               player.m_captureGate.load() == CTRSMediaPlayer::kGateStepped;
    }));
    ASSERT_EQ(front.DrawCount(), 2u);
    EXPECT_EQ(rear.DrawCount(), 0u);
    EXPECT_EQ(front.Last().Frame(), 24);  // the tool's groups: 24

    // A recording the parser refuses ends at once, showing nothing, not even the text the seek
    // read ahead.
    front.ClearDrawn();
    const size_t texts = events.Texts().size();
    player.Open("REC_20990101_000000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return events.ends.load() == 3; }, 2000));
    EXPECT_EQ(front.DrawCount(), 0u);
    EXPECT_EQ(events.Texts().size(), texts);
    EXPECT_FALSE(player.Capture(0, "/tmp/never.jpg"));

    // A capture right after switching never saves the other recording.
    const std::string path = card.Temp() + "/still.jpg";
    const auto stillWidth = [&] {
        std::filesystem::remove(path);
        return player.Capture(0, path.c_str()) ? cv::imread(path).cols : 0;
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        player.Open(names[0]);
        ASSERT_TRUE(WaitFor([&] { return front.DrawCount() > 0 && stillWidth() == 160; }));
        front.ClearDrawn();
        // The first picture of the other recording may or may not be in; the last one of the
        // first recording must not be saved in its place.
        player.Open(names[2]);
        const int width = stillWidth();
        EXPECT_TRUE(width == 0 || width == 96) << width;
        ASSERT_TRUE(WaitFor([&] { return stillWidth() == 96; }));
    }
    player.Close();
}

TEST_F(PlayerRecordingTest, HiddenRearShowsOnceShownAndSeeksAndStepsLandOnTheSamePictureOnBoth) {
    // 25 pictures a second in groups of 24: the groups start between whole seconds.
    ASSERT_TRUE(Record("REC_20240301_083000_D.tat",
                       "--seconds 8 --fps 25 --size 160x96 --rear-size 96x64") &&
                Start());
    rear.SetShown(false);
    player.Open("REC_20240301_083000_D.tat");
    ASSERT_TRUE(WaitFor([&] { return front.DrawCount() >= 30; }));
    EXPECT_FALSE(player.StepFrames(1)) << "playing";
    player.Pause();
    EXPECT_EQ(rear.DrawCount(), 0u);

    // Shown again, as after a swap: the current picture at once, before Redraw returns (a
    // packet the player had in hand at the pause may add one more).
    rear.SetShown(true);
    player.Redraw();
    ASSERT_GE(rear.DrawCount(), 1u);
    EXPECT_NEAR(rear.Last().Frame(), front.Last().Frame(), 1);
    EXPECT_GE(rear.Last().Frame(), 29);

    SleepMs(50);
    const size_t soundBefore = audio.Bytes().size();  // what was read before the pause is out
    const int seeks[][2] = {{2000, 48}, {3000, 72}, {7500, 168}, {5000, 120}, {1000, 24}};
    for (const auto& [ms, frame] : seeks) {
        SCOPED_TRACE(ms);
        front.ClearDrawn();
        rear.ClearDrawn();
        ASSERT_TRUE(player.SeekTo(ms));
        // Complete only with both pictures of the group reached.
        ASSERT_TRUE(WaitFor([&] {
            return player.GetState() == CTRSMediaPlayer::kPaused &&
                   player.m_captureGate.load() == CTRSMediaPlayer::kGateStepped &&
                   front.DrawCount() == 1 && rear.DrawCount() == 1;
        }));
        EXPECT_EQ(front.Last().Frame(), frame);
        EXPECT_EQ(rear.Last().Frame(), frame);
        // The picture's own time, plus the one period every picture shown adds.
        EXPECT_EQ(player.GetCurTime(), (frame + 1) * 1000 / 25);
    }
    SleepMs(100);
    EXPECT_EQ(front.DrawCount(), 1u);              // paused again
    EXPECT_EQ(audio.Bytes().size(), soundBefore);  // a step reads sound but does not play it

    const int steps[][2] = {{-1000, 0}, {1, 1},    {1, 2},    {-1, 1},     {30, 31},
                            {1, 32},    {-10, 22}, {-1, 21},  {1000, 199}, {-1, 198},
                            {-25, 173}, {2, 175},  {-175, 0}, {25, 25}};
    for (const auto& [delta, picture] : steps) {
        SCOPED_TRACE(std::to_string(delta) + " to " + std::to_string(picture));
        ASSERT_TRUE(player.StepFrames(delta));
        EXPECT_EQ(picture, front.Last().Frame());
        EXPECT_EQ(picture, rear.Last().Frame());
        EXPECT_EQ((picture + 1) * 1000 / 25, player.GetCurTime());
        EXPECT_EQ(CTRSMediaPlayer::kGateStepped, player.m_captureGate.load());
    }
    // A redraw at a new window size shows the same picture.
    front.SetSize(320, 192);
    player.Redraw();
    EXPECT_EQ(front.Last().width, 320);
    EXPECT_EQ(front.Last().Frame(), 25);

    // Playing on shows the pictures after the stepped one, none missed; a seek while playing
    // happens before the next read and playback goes on from there.
    front.ClearDrawn();
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return front.DrawCount() >= 5; }));
    player.SeekTo(5000);
    ASSERT_TRUE(WaitFor([&] {
        std::vector<int> f = front.Frames();
        return std::find(f.begin(), f.end(), 120) != f.end() && f.back() >= 128;
    }));
    player.Close();
    std::vector<int> frames = front.Frames();
    auto jump = std::find(frames.begin(), frames.end(), 120);  // there: waited for
    EXPECT_EQ(frames.front(), 26);
    EXPECT_LT(*std::prev(jump), 119) << "jumped, not played on";
    EXPECT_TRUE(Consecutive({frames.begin(), jump}));
    EXPECT_TRUE(Consecutive({jump, frames.end()}));
    EXPECT_FALSE(player.StepFrames(1)) << "nothing open";
    SleepMs(100);
    EXPECT_EQ(events.ends.load(), 0);  // closed while playing: no end event
}

TEST_F(PlayerRecordingTest, PicturesKeepTheChosenSpeedWithASoundOutputThatTakesSoundAtOnce) {
    ASSERT_TRUE(Record("REC_20240301_083000_F.tat", "--seconds 3 --size 160x96"));
    for (const int speed : {100, 50, 200}) {
        SCOPED_TRACE(speed);
        CTATParser parser;
        CFakeAudio audio;  // takes the sound at once, as an output whose device did not open
        CFrontLog decoder;
        CPlayerEvents events;
        CTRSMediaPlayer player;
        EXPECT_FALSE(player.SetSpeed(300));
        ASSERT_TRUE(player.SetSpeed(speed));
        ASSERT_TRUE(StartPlayer(&player, &parser, &decoder, &audio, &events));

        player.Open("REC_20240301_083000_F.tat");
        ASSERT_TRUE(WaitFor([&] { return events.ends.load() >= 1; }));
        player.Shutdown();
        ASSERT_EQ(decoder.times.size(), 90u);
        // Sound plays only at normal speed.
        ASSERT_EQ(audio.firstWrite.has_value(), speed == 100);
        // Playback starts with the sound, or else with the first picture; the last of the 90
        // pictures comes 89 periods later.
        const double period = 1000.0 / 30 * 100 / speed;
        const auto origin = decoder.times[0];
        const double start =
            audio.firstWrite
                ? std::chrono::duration<double, std::milli>(*audio.firstWrite - origin).count()
                : decoder.Placed(0, 0, period, origin);
        EXPECT_NEAR(decoder.Placed(80, 89, period, origin) - start, 89 * period,
                    89 * period * 0.02);
    }
}

}  // namespace
}  // namespace locket
