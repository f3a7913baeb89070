#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/fakes/fakes.h"
#include "engine/media_sync.h"
#include "platform/clock.h"

namespace locket {
namespace {

std::vector<uint8_t> Ramp(int n, int start) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(start + i * 7);
    return v;
}

TEST(MediaSync, FeedsPacketsInOrderTruncatedToOneBuffer) {
    CFakeAudio audio;
    audio.Open(16, 8000);
    CMediaSync sync;
    sync.SetAudio(&audio);
    auto big = Ramp(5000, 0);
    auto small = Ramp(100, 3);
    sync.PushAudio(big.data(), 5000);
    sync.PushAudio(small.data(), 100);
    EXPECT_EQ(sync.GetQueued(), 2);
    ASSERT_TRUE(sync.Start());
    for (int i = 0; i < 500 && audio.Writes().size() < 2; ++i)
        SleepMs(2);
    sync.Stop();
    EXPECT_EQ(audio.Writes(), std::vector<int>({3840, 100}));
    std::vector<uint8_t> expected(big.begin(), big.begin() + 3840);
    expected.insert(expected.end(), small.begin(), small.end());
    EXPECT_EQ(audio.Bytes(), expected);
}

TEST(MediaSync, WaitAudioHoldsWhileTwoPacketsWaitAndClearEmptiesTheQueue) {
    CFakeAudio audio(true);  // 240 ms per full packet at 16 bits and 8000 Hz
    audio.Open(16, 8000);
    CMediaSync sync;
    sync.SetAudio(&audio);
    auto pcm = Ramp(3840, 0);

    // Without the feeder thread nothing drains the queue: no wait.
    sync.PushAudio(pcm.data(), 3840);
    sync.PushAudio(pcm.data(), 3840);
    sync.WaitAudio();
    EXPECT_EQ(sync.GetQueued(), 2);

    ASSERT_TRUE(sync.Start());
    sync.PushAudio(pcm.data(), 3840);
    sync.PushAudio(pcm.data(), 3840);
    sync.WaitAudio();
    EXPECT_LT(sync.GetQueued(), 2);
    // The feeder is playing one packet while another may wait: at least two reached it.
    EXPECT_GE(audio.Writes().size() + sync.GetQueued(), 3u);

    for (int i = 0; i < 4; ++i)
        sync.PushAudio(pcm.data(), 3840);
    sync.ClearAudio();
    EXPECT_EQ(sync.GetQueued(), 0);
    sync.Stop();
    // What was written is at most the packets taken before the clear.
    EXPECT_LE(audio.Writes().size(), 5u);
}

}  // namespace
}  // namespace locket
