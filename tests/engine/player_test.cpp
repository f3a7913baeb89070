// The player on scripted packets, for what recordings made by the tool cannot hold: no frame
// rate, oversized text, and timing races between the player, the sound feeder and the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "engine/fakes/fakes.h"
#include "engine/media_player.h"
#include "files/media_parser.h"
#include "platform/clock.h"

namespace locket {
namespace {

// Plays a scripted list of packets.
class CFakeParser : public VMediaParser {
public:
    struct Scripted {
        std::string id;
        std::vector<uint8_t> bytes;
    };
    std::vector<Scripted> packets;  // all set before the player opens the recording
    int fps0 = 30;
    std::optional<int> claimedFrames;  // a count the header claims, instead of the packets'
    uint32_t reportTextSize = 0;  // a text size beyond the buffer, as a misbehaving reader says
    std::atomic<int> stops{0}, seeks{0}, audioDelivered{0}, read{0};

    void AddFront(bool key) {
        packets.push_back({"00dc", {0, 0, 0, 1, uint8_t(key ? 0x65 : 0x41)}});
    }
    void AddText(const std::string& text) {
        packets.push_back({"03tx", {text.begin(), text.end()}});
    }
    // Front frames [0, count), a key frame each second, with sound and text in between.
    void AddStream(int count, int audioEvery, int textEvery) {
        for (int i = 0; i < count; ++i) {
            AddFront(i % 30 == 0);
            if (audioEvery > 0 && i % audioEvery == 0)
                packets.push_back({"02wb", std::vector<uint8_t>(320, static_cast<uint8_t>(i))});
            if (textEvery > 0 && i % textEvery == 0)
                AddText(std::string(1, 'T').append(std::to_string(i)));
        }
    }

    bool StartReader() override { return true; }
    void StopReader() override { ++stops; }
    uint32_t OpenMedia(const char*, MediaInfo* info) override {
        m_pos = 0;
        m_open = true;
        info->fps0 = fps0;
        info->fps1 = 0;
        info->frameCount0 = claimedFrames.value_or(static_cast<int>(std::count_if(
            packets.begin(), packets.end(), [](const Scripted& p) { return p.id == "00dc"; })));
        return 1;
    }
    void CloseMedia() override { m_open = false; }
    int32_t ReadPacket(uint8_t*, uint32_t*) override { return kPacketNone; }
    int32_t ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) override {
        if (!m_open || m_pos >= packets.size())
            return -1;
        const Scripted& p = packets[m_pos++];
        std::memcpy(id, p.id.c_str(), 4);
        *size = std::min<uint32_t>(static_cast<uint32_t>(p.bytes.size()), *size);
        std::memcpy(buffer, p.bytes.data(), *size);
        if (p.id == "03tx" && reportTextSize)
            *size = reportTextSize;
        if (p.id == "02wb")
            ++audioDelivered;
        ++read;
        return 4;
    }
    bool BuildIndex(const char*, MediaInfo*) override { return false; }
    void SetParam(uint32_t) override {}
    VideoSize GetVideoSize(int) override { return {}; }
    int32_t GetFrameRate(int stream) override { return stream == 0 ? fps0 : 0; }
    uint32_t GetAudioFormat(uint32_t* bits, uint32_t* rate) override {
        *bits = 16;
        *rate = 8000;
        return 8000;
    }
    uint32_t ReadRaw(void*, uint32_t) override { return 0; }
    int32_t SeekRaw(int32_t, int) override { return 0; }
    int32_t TellRaw() override { return 0; }
    int32_t GetTotalFrames() override { return 0; }
    int32_t SeekTime(float) override {
        ++seeks;
        return 0;
    }
    bool SeekSnapsToSecond() override { return true; }

    // While the gate is held, the player's wait for the next packet lasts until it opens.
    bool WaitForPacket(uint32_t) override {
        gate.Pass();
        return true;
    }
    CGate gate{false};

private:
    // Touched only under the player's lock.
    bool m_open = false;
    size_t m_pos = 0;
};

// Runs `calls` on a thread of its own; true when they returned within 5 s. The thread is
// joined in any case, after `release`.
bool ReturnsWhileHeld(const std::function<void()>& calls, const std::function<void()>& release) {
    std::future<void> done = std::async(std::launch::async, calls);
    const bool returned = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    release();
    done.get();
    return returned;
}

class PlayerTest : public ::testing::Test {
protected:
    void Wire(VAudio* audio, bool pacing) {
        player.SetPacing(pacing);
        ASSERT_TRUE(StartPlayer(&player, &parser, &decoder, audio, &events));
    }
    void TearDown() override {
        held.gate.Hold(false);  // the player stops only once its sound output lets it go
        player.Shutdown();
    }

    CFakeParser parser;
    CFrontLog decoder;
    CFakeAudio audio;
    CHeldAudio held;
    CPlayerEvents events;
    CTRSMediaPlayer player;
};

TEST_F(PlayerTest, CloseAndShutdownStopPlaybackWithoutAnEndEventOrWaitingForTheReader) {
    parser.AddStream(300, 3, 10);
    Wire(&audio, true);
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return decoder.fronts.load() >= 3; }));

    // Calls that take the player's lock return while it waits for the reader; Close pauses
    // by itself, with the player thread held up.
    parser.gate.Hold(true);
    ASSERT_TRUE(WaitFor([&] { return parser.gate.waiting.load() > 0; }));
    EXPECT_TRUE(ReturnsWhileHeld(
        [&] {
            player.Redraw();
            player.Capture(0, "/tmp/unused.jpg");
            player.Close();
            EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);
        },
        [&] { parser.gate.Hold(false); }));
    // The rest of the main window's STOP: pause, seek to 0, close again.
    player.Pause();
    EXPECT_TRUE(player.SeekTo(0));
    player.Close();
    int shown = decoder.fronts.load();
    SleepMs(150);
    EXPECT_EQ(events.ends.load(), 0);
    EXPECT_EQ(parser.seeks.load(), 0);
    EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);
    EXPECT_EQ(player.m_captureGate.load(), CTRSMediaPlayer::kGateClosed);
    EXPECT_EQ(decoder.fronts.load(), shown);

    // Play with nothing open stays quiet as well.
    player.Play();
    SleepMs(100);
    EXPECT_EQ(events.ends.load(), 0);
    EXPECT_EQ(player.GetState(), CTRSMediaPlayer::kPaused);

    // Shutdown stops a pass that is playing (10 s of pictures) at once; the text held back with
    // the pictures stays whole through the queue's cuts of what it delivered.
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return decoder.fronts.load() >= shown + 60; }));
    player.Shutdown();
    for (const TextSeen& text : events.Texts())
        EXPECT_EQ(text.bytes[0], 'T');
    shown = decoder.fronts.load();
    SleepMs(50);
    EXPECT_EQ(decoder.fronts.load(), shown);
    EXPECT_LT(shown, 300);  // of 10 s paced at 30 frames a second
    EXPECT_EQ(parser.stops.load(), 1);

    // Without a parser or a decoder there is nothing to start.
    CTRSMediaPlayer unwired;
    EXPECT_FALSE(unwired.Start(nullptr, nullptr));
}

TEST_F(PlayerTest, DurationAndTextWithoutAFrameRateAndTextFillingTheReadBuffer) {
    const int full = static_cast<int>(CTRSMediaPlayer::kBufferBytes);
    parser.fps0 = 0;
    parser.AddStream(20, 0, 4);
    parser.AddText(std::string(full, 'x'));
    parser.AddFront(false);
    parser.AddText("small");
    Wire(&audio, false);
    player.Open("REC_20260101_120000_F.tat");
    EXPECT_EQ(player.GetDuration(), 0);
    ASSERT_TRUE(WaitFor([&] { return events.ends.load() == 1; }));
    EXPECT_EQ(decoder.fronts.load(), 21);
    EXPECT_EQ(player.GetCurTime(), 21 * 1000 / 30);  // times fall back to 30 frames a second

    // A reader claiming more than the buffer holds is cut to the buffer.
    parser.reportTextSize = full * 2;
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return events.ends.load() == 2; }));
    auto seen = events.Texts();
    ASSERT_EQ(seen.size(), 14u);
    EXPECT_EQ(seen[0].bytes, std::string("T0", 3));
    EXPECT_EQ(seen[6].bytes, std::string("small", 6));
    for (int i : {5, 7, 13}) {
        SCOPED_TRACE(i);
        ASSERT_EQ(seen[i].bytes.size(), full + 1u);
        EXPECT_EQ(seen[i].bytes.back(), '\0');
    }
    EXPECT_EQ(seen[5].bytes.find_first_not_of('x'), size_t(full));
    // Without a frame rate there is nothing to seek in: the ended recording stays ended.
    EXPECT_FALSE(player.SeekTo(500));
    SleepMs(30);
    EXPECT_EQ(parser.seeks.load(), 0);
    EXPECT_EQ(events.ends.load(), 2);
    // Nor in one without frames.
    parser.fps0 = 30;
    parser.claimedFrames = -7;
    player.Open("REC_20260101_120000_F.tat");
    ASSERT_TRUE(WaitFor([&] { return events.ends.load() == 3; }));
    EXPECT_FALSE(player.SeekTo(500));
    SleepMs(30);
    EXPECT_EQ(events.ends.load(), 3);

    const int cases[][3] = {
        {30, 70, 2333}, {25, 2000000000, INT_MAX}, {1, INT_MAX, INT_MAX}, {30, -7, 0}};
    for (const auto& [fps, frames, ms] : cases) {
        parser.fps0 = fps;
        parser.claimedFrames = frames;
        player.Open("REC_20260101_120000_F.tat");
        EXPECT_EQ(player.GetDuration(), ms) << frames << " frames at " << fps;
    }
}

TEST_F(PlayerTest, UserCallsDoNotWaitForTheSound) {
    // Held while two sound packets wait for a device that takes nothing.
    parser.AddStream(60, 1, 0);
    Wire(&held, false);
    player.Open("REC_20260101_120000_F.tat");
    // The first picture comes after the preroll's 21, whose sound is queued by then: the
    // player waits for the sound before it.
    ASSERT_TRUE(WaitFor(
        [&] { return held.gate.waiting.load() > 0 && parser.audioDelivered.load() >= 20; }));
    EXPECT_EQ(decoder.fronts.load(), 0);
    EXPECT_TRUE(ReturnsWhileHeld(
        [&] {
            // The sound queued at normal speed is dropped at another: the pictures go on.
            EXPECT_TRUE(player.SetSpeed(200));
            EXPECT_TRUE(WaitFor([&] { return decoder.fronts.load() > 0; }));
            player.Close();
        },
        [&] { held.gate.Hold(false); }));
}

TEST_F(PlayerTest, AJumpDropsTheSoundQueuedBeforeIt) {
    parser.AddStream(90, 1, 0);  // each sound packet's bytes are its frame number
    Wire(&held, false);
    player.Open("REC_20260101_120000_F.tat");
    // Read up to the first picture after the preroll, which waits for the sound held before it.
    ASSERT_TRUE(WaitFor([&] { return held.gate.waiting.load() > 0 && parser.read.load() >= 41; }));
    player.Pause();
    const int before = parser.audioDelivered.load();
    ASSERT_TRUE(player.SeekTo(1000));
    // That picture belongs to the old place: only the step's is decoded.
    ASSERT_TRUE(
        WaitFor([&] { return player.m_captureGate.load() == CTRSMediaPlayer::kGateStepped; }));
    EXPECT_EQ(decoder.fronts.load(), 1);
    held.gate.Hold(false);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return held.Bytes().size() > 320; }));
    // Only the packet the device already held is from before the jump.
    EXPECT_GE(int(held.Bytes().at(320)), before);
}

}  // namespace
}  // namespace locket
