#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/fakes/fake_audio.h"
#include "engine/fakes/fake_decoder.h"
#include "engine/fakes/fake_parser.h"
#include "engine/media_player.h"
#include "platform/clock.h"

namespace locket {
namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 2) {
        if (done())
            return true;
        SleepMs(2);
    }
    return done();
}

struct TextSeen {
    std::string text;
    int size;
    int timeMs;
    int frontsDecoded;  // front pictures presented before the delivery
};

class PlayerTest : public ::testing::Test {
protected:
    void Wire(bool pacing = false) {
        player.m_pParser = &parser;
        player.m_pDecoder = &decoder;
        player.m_pAudio = &audio;
        player.SetEventCallback(&PlayerTest::OnEvent, this);
        player.SetTextCallback(&PlayerTest::OnText, this);
        player.SetPacing(pacing);
        ASSERT_TRUE(player.Start(nullptr, nullptr));
    }
    void TearDown() override { player.Shutdown(); }

    static void OnEvent(void* context, int code, int a, int b) {
        auto* self = static_cast<PlayerTest*>(context);
        if (code == CTRSMediaPlayer::kEventMediaEnd && a == 0 && b == 0)
            self->ends.fetch_add(1);
    }
    static void OnText(void* context, const uint8_t* data, int size, int timeMs) {
        auto* self = static_cast<PlayerTest*>(context);
        int fronts = static_cast<int>(self->decoder.Indices(0).size());
        std::lock_guard<std::mutex> lock(self->textMutex);
        self->texts.push_back(
            {std::string(reinterpret_cast<const char*>(data)), size, timeMs, fronts});
        if (size > 0)
            self->lastTextTerminated = data[size - 1] == 0;
    }
    std::vector<TextSeen> Texts() {
        std::lock_guard<std::mutex> lock(textMutex);
        return texts;
    }
    // Frames [first, first + count) in order.
    static std::vector<int> Run(int first, int count) {
        std::vector<int> v;
        for (int i = 0; i < count; ++i)
            v.push_back(first + i);
        return v;
    }

    CFakeParser parser;
    CFakeDecoder decoder;
    CFakeAudio audio;
    CFakeAudio slow{true};  // takes as long as a device to play each packet
    CTRSMediaPlayer player;
    std::atomic<int> ends{0};
    std::mutex textMutex;
    std::vector<TextSeen> texts;
    bool lastTextTerminated = false;
};

TEST_F(PlayerTest, PlaysEveryFrontFrameOnceInOrderAndEndsOnce) {
    parser.AddStream(75, 3, 5);
    Wire();
    EXPECT_EQ(parser.starts, 1);
    EXPECT_EQ(decoder.opens, 1);
    EXPECT_EQ(audio.Opens(), 1);
    EXPECT_EQ(audio.Bits(), 16);
    EXPECT_EQ(audio.Rate(), 8000);

    ASSERT_TRUE(player.Open("REC_20260101_120000_F.tat"));
    EXPECT_EQ(player.GetDuration(), 2500);
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }));
    SleepMs(50);
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(decoder.Indices(0), Run(0, 75));
    for (const auto& call : decoder.Calls())
        EXPECT_TRUE(call.show);
    EXPECT_EQ(player.m_captureGate.load(), CTRSMediaPlayer::kGateClosed);
    EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);
    EXPECT_EQ(player.GetCurTime(), 2500);

    // Text "T<i>" was read right after front frame i: delivered after it, stamps rising.
    auto seen = Texts();
    ASSERT_EQ(seen.size(), 15u);
    int lastTime = -1;
    for (size_t k = 0; k < seen.size(); ++k) {
        int frame = static_cast<int>(k) * 5;
        EXPECT_EQ(seen[k].text, "T" + std::to_string(frame));
        EXPECT_EQ(seen[k].size, static_cast<int>(seen[k].text.size()) + 1);
        EXPECT_GE(seen[k].frontsDecoded, frame + 1);
        EXPECT_EQ(seen[k].timeMs, seen[k].frontsDecoded * 1000 / 30);
        EXPECT_GE(seen[k].timeMs, lastTime);
        lastTime = seen[k].timeMs;
    }

    // The sound arrives whole and in order.
    std::vector<uint8_t> expected;
    for (const auto& p : parser.packets)
        if (p.id == "02wb")
            expected.insert(expected.end(), p.bytes.begin(), p.bytes.end());
    ASSERT_TRUE(WaitFor([&] { return audio.Bytes().size() == expected.size(); }));
    EXPECT_EQ(audio.Bytes(), expected);

    // Play after the end finds the stream still ended: one more end event, no pictures.
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 2; }));
    EXPECT_EQ(decoder.Indices(0).size(), 75u);
}

TEST_F(PlayerTest, NothingPlaysBeforeTheFirstFrontKeyFrameAndRearWaitsForItsOwn) {
    parser.AddFront(100, false);
    parser.AddRear(200, true);  // dropped: the front key frame has not come yet
    parser.AddAudio({9, 9, 9, 9});
    parser.AddText("early");
    parser.AddFront(101, false);
    parser.AddFront(0, true);
    parser.AddRear(201, false);  // dropped: no rear key frame yet
    parser.AddAudio({1, 2, 3, 4});
    parser.AddRear(202, true);
    parser.AddText("late");
    for (int i = 1; i < 30; ++i) {
        parser.AddFront(i, false);
        parser.AddRear(202 + i, false);
    }
    Wire();
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }));

    EXPECT_EQ(decoder.Indices(0), Run(0, 30));
    EXPECT_EQ(decoder.Indices(1), Run(202, 30));
    auto seen = Texts();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "late");
    ASSERT_TRUE(WaitFor([&] { return audio.Bytes().size() == 4; }));
    EXPECT_EQ(audio.Bytes(), std::vector<uint8_t>({1, 2, 3, 4}));
}

TEST_F(PlayerTest, ShutdownWhilePlayingStopsAtOnce) {
    parser.AddStream(300, 3, 0);  // 10 s without text packets: a pass never returns by itself
    Wire(true);
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return decoder.Indices(0).size() >= 3; }));
    player.Shutdown();
    size_t shown = decoder.Indices(0).size();
    EXPECT_LT(shown, 300u);
    SleepMs(50);
    EXPECT_EQ(decoder.Indices(0).size(), shown);
    EXPECT_EQ(parser.stops.load(), 1);
    EXPECT_EQ(audio.Closes(), 1);

    // Without a parser or a decoder there is nothing to start.
    CTRSMediaPlayer unwired;
    EXPECT_FALSE(unwired.Start(nullptr, nullptr));
}

TEST_F(PlayerTest, CloseLeavesThePlayerClosedAndPausedWithoutAnEndEvent) {
    parser.AddStream(300, 3, 10);
    Wire(true);
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return decoder.Indices(0).size() >= 3; }));
    EXPECT_EQ(player.m_captureGate.load(), CTRSMediaPlayer::kGatePlaying);

    // The main window's STOP: pause, close, seek to 0 (while paused), close again.
    player.Pause();
    player.Close();
    EXPECT_TRUE(player.SeekTo(0));
    player.Close();
    size_t shown = decoder.Calls().size();
    SleepMs(150);
    EXPECT_EQ(ends.load(), 0);
    EXPECT_EQ(parser.seeks.load(), 0);
    EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);
    EXPECT_EQ(player.m_captureGate.load(), CTRSMediaPlayer::kGateClosed);
    EXPECT_EQ(decoder.Calls().size(), shown);

    // Play with nothing open stays quiet as well.
    player.Play();
    SleepMs(100);
    EXPECT_EQ(ends.load(), 0);
    EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);

    // Close while playing, with no pause first.
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return decoder.Calls().size() >= shown + 3; }));
    player.Close();
    SleepMs(100);
    EXPECT_EQ(ends.load(), 0);
}

TEST_F(PlayerTest, SeekWhilePausedStepsToTheGroupReachedAndPausesAgain) {
    parser.AddStream(600, 3, 0);  // 20 s, key frame every second
    Wire();
    player.Open("REC_20260101_120000_F.tat");
    player.Pause();
    SleepMs(30);
    decoder.Reset();

    SleepMs(30);  // sound read before the pause reaches the output
    size_t soundBefore = audio.Bytes().size();
    ASSERT_TRUE(player.SeekTo(12345));
    EXPECT_NEAR(parser.lastSeek.load(), 370.0f / 30.0f, 1e-4);
    ASSERT_TRUE(WaitFor([&] { return player.GetState() == CTRSMediaPlayer::kPaused; }));
    EXPECT_EQ(player.m_captureGate.load(), CTRSMediaPlayer::kGateStepped);
    // Second 12 reached, and one front picture presented since.
    EXPECT_EQ(player.GetCurTime(), 12033);
    auto calls = decoder.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 360);
    EXPECT_FALSE(calls[0].show);
    EXPECT_EQ(decoder.Redraws(0), 1);
    EXPECT_EQ(decoder.Redraws(1), 0);
    EXPECT_TRUE(player.Capture(0, "/tmp/unused.jpg"));
    // A step reads sound packets but does not play them.
    SleepMs(30);
    EXPECT_EQ(audio.Bytes().size(), soundBefore);

    // Beyond the end: clamped to the last frame, whose group starts at second 19.
    decoder.Reset();
    player.SeekTo(60000);
    ASSERT_TRUE(WaitFor(
        [&] { return player.GetState() == CTRSMediaPlayer::kPaused && !decoder.Calls().empty(); }));
    EXPECT_EQ(decoder.Calls()[0].index, 570);
    EXPECT_NEAR(parser.lastSeek.load(), 599.0f / 30.0f, 1e-4);

    SleepMs(50);
    EXPECT_EQ(ends.load(), 0);
}

TEST_F(PlayerTest, SteppedTwoCameraRecordingWaitsForTheRearPicture) {
    for (int i = 0; i < 90; ++i) {
        parser.AddFront(i, i % 30 == 0);
        parser.AddRear(1000 + i, i % 30 == 0);
    }
    Wire();
    player.Open("REC_20260101_120000_D.tat");
    player.Pause();
    SleepMs(30);
    decoder.Reset();
    player.SeekTo(1500);
    ASSERT_TRUE(WaitFor([&] {
        return player.GetState() == CTRSMediaPlayer::kPaused &&
               player.m_captureGate.load() == CTRSMediaPlayer::kGateStepped;
    }));
    auto calls = decoder.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().channel, 0);
    EXPECT_EQ(calls.front().index, 30);
    EXPECT_EQ(calls.back().channel, 1);
    EXPECT_EQ(calls.back().index, 1030);
    EXPECT_EQ(decoder.Redraws(0), 1);
    EXPECT_EQ(decoder.Redraws(1), 1);
    EXPECT_EQ(player.GetChannelCount(), 2);
}

TEST_F(PlayerTest, SeekWhilePlayingContinuesFromTheGroupReached) {
    parser.AddStream(300, 0, 0);
    std::atomic<bool> sought{false};
    decoder.onFront = [&](int index) {
        if (index == 40 && !sought.exchange(true))
            player.SeekTo(6500);  // group of second 6
    };
    Wire();
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }));
    auto front = decoder.Indices(0);
    ASSERT_FALSE(front.empty());
    auto jump = std::find(front.begin(), front.end(), 180);
    ASSERT_NE(jump, front.end());
    // Frames up to 40 in order, then 180 onwards to the end.
    std::vector<int> before(front.begin(), jump);
    std::vector<int> after(jump, front.end());
    EXPECT_EQ(before, Run(0, 41));
    EXPECT_EQ(after, Run(180, 120));
    EXPECT_EQ(player.GetCurTime(), 10000);
}

TEST_F(PlayerTest, RecordingWithoutFrameRateHasNoDurationAndIgnoresSeeks) {
    parser.fps0 = 0;
    parser.AddStream(20, 0, 4);
    Wire();
    player.Open("REC_20260101_120000_F.tat");
    EXPECT_EQ(player.GetDuration(), 0);
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }));
    EXPECT_EQ(decoder.Indices(0), Run(0, 20));
    EXPECT_EQ(player.GetCurTime(), 20 * 1000 / 30);
    player.SeekTo(500);
    SleepMs(30);
    EXPECT_EQ(parser.seeks.load(), 0);
    EXPECT_EQ(Texts().size(), 5u);
}

TEST_F(PlayerTest, TextFillingTheReadBufferStillGetsItsTerminator) {
    parser.AddFront(0, true);
    parser.AddText(std::string(CTRSMediaPlayer::kBufferBytes, 'x'));
    parser.AddFront(1, false);
    parser.AddText("small");
    Wire();
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }));
    auto seen = Texts();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].size, static_cast<int>(CTRSMediaPlayer::kBufferBytes) + 1);
    EXPECT_EQ(seen[0].text.size(), CTRSMediaPlayer::kBufferBytes);
    EXPECT_EQ(seen[1].text, "small");
    EXPECT_TRUE(lastTextTerminated);

    // A reader claiming more than the buffer holds is cut to the buffer.
    parser.reportTextSize = CTRSMediaPlayer::kBufferBytes * 2;
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 2; }));
    seen = Texts();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].size, static_cast<int>(CTRSMediaPlayer::kBufferBytes) + 1);
}

TEST_F(PlayerTest, ChannelCountFollowsTheNameOrTheRearFrameRate) {
    parser.fps1 = 30;
    parser.AddStream(5, 0, 0);
    Wire();
    EXPECT_EQ(player.GetChannelCount(), 1);  // nothing opened: no rear rate known yet
    player.Open("EVENT_20260101_120000_F.tat");
    EXPECT_EQ(player.GetChannelCount(), 1);
    player.Open("EVENT_20260101_120000_D.tat");
    EXPECT_EQ(player.GetChannelCount(), 2);
    std::string longName = std::string(150, 'a') + "/REC_20260101_120000_D.tat";
    player.Open(longName.c_str());
    EXPECT_EQ(player.GetChannelCount(), 2);
    player.Open((std::string(150, 'a') + "/REC_20260101_120000_X.tat").c_str());
    EXPECT_EQ(player.GetChannelCount(), 1);

    CTRSMediaPlayer fresh;
    EXPECT_EQ(fresh.GetChannelCount(), 1);
}

TEST_F(PlayerTest, VideoWaitsWhileTwoAudioPacketsAreQueued) {
    player.m_pAudio = &slow;
    for (int i = 0; i < 60; ++i) {
        parser.AddFront(i, i % 30 == 0);
        if (i % 3 == 0)
            parser.AddAudio(std::vector<uint8_t>(960, static_cast<uint8_t>(i)));  // 60 ms
    }
    int worst = 0;
    decoder.onFront = [&](int) {
        int backlog = parser.audioDelivered.load() - static_cast<int>(slow.Writes().size());
        worst = std::max(worst, backlog);
    };
    player.m_pParser = &parser;
    player.m_pDecoder = &decoder;
    player.SetEventCallback(&PlayerTest::OnEvent, this);
    player.SetPacing(false);
    ASSERT_TRUE(player.Start(nullptr, nullptr));
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return ends.load() == 1; }, 10000));
    // One packet at the device, at most one more between the queue and the device.
    EXPECT_LE(worst, 2);
    EXPECT_GT(worst, 0);
    EXPECT_EQ(decoder.Indices(0).size(), 60u);
}

}  // namespace
}  // namespace locket
