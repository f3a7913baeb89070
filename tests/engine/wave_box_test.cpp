#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "engine/alsa_pcm_device.h"
#include "engine/fakes/fakes.h"
#include "engine/media_sync.h"
#include "engine/wave_box.h"
#include "platform/clock.h"

namespace locket {
namespace {

// A device whose ring, free periods and errors the test sets. Only the free periods are touched
// by another thread.
class CFakePcmDevice : public VPcmDevice {
public:
    int Open(int bits, int rate, int periodBytes, int periods) override {
        opened = {bits, rate, periodBytes, periods};
        m_open = openResult == 0;
        return openResult;
    }
    int Close() override {
        m_open = false;
        return 0;
    }
    bool IsOpen() const override { return m_open; }
    int FreePeriods() override {
        ++queries;
        return free.load();
    }
    int BufferPeriods() const override { return bufferPeriods; }
    int Write(const uint8_t* data, int bytes) override {
        if (writeResult < 0)
            return writeResult;
        writes.emplace_back(data, data + bytes);
        return bytes;
    }

    int openResult = 0;
    int writeResult = 0;
    int bufferPeriods = 2;
    std::atomic<int> free{2};
    std::atomic<int> queries{0};
    std::vector<int> opened;  // bits, rate, period bytes, periods of the last Open
    std::vector<std::vector<uint8_t>> writes;

private:
    bool m_open = false;
};

std::vector<uint8_t> Ramp(int n, int start = 0) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(start + i * 7);
    return v;
}

class WaveBoxTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(box.Open(16, 8000)); }

    CFakePcmDevice device;
    CWaveBox box{&device};
    std::vector<uint8_t> pcm = Ramp(4000);
};

TEST_F(WaveBoxTest, OpensMonoPcmInTwoBuffersAndOnlyAFailedOpenOrAFatalErrorSilenceIt) {
    ASSERT_TRUE(box.Open(8, 22050));
    EXPECT_EQ(device.opened, std::vector<int>({8, 22050, 3840, 2}));
    EXPECT_EQ(box.GetAverageBytesPerSecond(), 22050);
    EXPECT_EQ(box.Close(), 1);
    EXPECT_EQ(box.Close(), -1);  // nothing open any more

    // A device that cannot be opened leaves a silent output that returns at once.
    device.openResult = -ENOENT;
    EXPECT_FALSE(box.Open(16, 8000));
    box.Write(pcm.data(), 100);
    EXPECT_TRUE(device.writes.empty());
    EXPECT_EQ(device.queries.load(), 0);

    // An underrun is recovered from; no device, driver or memory turns the output off, also when
    // the free room is asked for.
    device.openResult = 0;
    const int results[][2] = {{-EPIPE, 2},  {-EBADFD, 2}, {-ENODEV, 2},
                              {-ENOMEM, 2}, {-ENXIO, 2},  {0, -ENODEV}};
    for (const auto& [write, free] : results) {
        ASSERT_TRUE(box.Open(16, 8000));
        device.writeResult = write;
        device.free = free;
        box.Write(pcm.data(), 256);
        EXPECT_EQ(box.IsUsable(), write == -EPIPE) << write << " " << free;
    }
    EXPECT_EQ(box.Reopen(), 0);
    EXPECT_TRUE(box.IsUsable());
}

TEST_F(WaveBoxTest, WritesOneBufferPerCallWithTheVolumeOnceOneOfTwoIsFreeOrGivesUpAfter51Tries) {
    box.Write(pcm.data(), 4000);
    // Half volume halves each signed 16-bit sample; an odd trailing byte is not a sample.
    const int16_t samples[] = {1000, -1000, 32767, -32768};
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(samples),
                               reinterpret_cast<const uint8_t*>(samples) + sizeof(samples));
    bytes.push_back(0x55);
    box.SetVolume(VAudio::kFullVolume / 2);
    box.Write(bytes.data(), static_cast<int>(bytes.size()));
    // 8-bit samples are unsigned around 128; volume 0 is silence.
    ASSERT_TRUE(box.Open(8, 8000));
    box.SetVolume(0);
    const uint8_t eight[] = {0, 128, 255};
    box.Write(eight, 3);

    const auto& writes = device.writes;
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0], std::vector<uint8_t>(pcm.begin(), pcm.begin() + 3840));
    ASSERT_EQ(writes[1].size(), sizeof(samples));
    const int16_t* out = reinterpret_cast<const int16_t*>(writes[1].data());
    const int halved[] = {500, -500, 16383, -16384};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(out[i], halved[i], 1) << samples[i];
    EXPECT_EQ(writes[2], std::vector<uint8_t>({128, 128, 128}));

    // However long a ring the device negotiates, only the output's own two buffers are room.
    for (int ring : {2, 4}) {
        SCOPED_TRACE(ring);
        device.bufferPeriods = ring;
        ASSERT_TRUE(box.Open(16, 8000));
        device.writes.clear();
        const int spare = ring - 2;
        device.free = spare;  // both buffers at the device
        int before = device.queries.load();
        std::thread release([&] {
            for (int i = 0; i < 2000 && device.queries.load() < before + 5; ++i)
                SleepMs(1);
            device.free = spare + 1;
        });
        box.Write(pcm.data(), 3840);
        release.join();
        EXPECT_GE(device.queries.load() - before, 6);
        EXPECT_EQ(device.writes.size(), 1u);

        // An empty write with both buffers free has nothing to wait for.
        device.free = ring;
        before = device.queries.load();
        box.Write(pcm.data(), 0);
        EXPECT_EQ(device.queries.load(), before + 1);

        // No buffer comes free: the output turns off after 51 attempts and stays off.
        device.free = spare;
        before = device.queries.load();
        box.Write(pcm.data(), 3840);
        EXPECT_EQ(device.queries.load() - before, 51);
        EXPECT_FALSE(box.IsUsable());
        device.free = ring;
        box.Write(pcm.data(), 3840);
        EXPECT_EQ(device.queries.load() - before, 51);
        EXPECT_EQ(device.writes.size(), 1u);
    }

    // Until it is opened again.
    ASSERT_TRUE(box.Open(16, 8000));
    box.Write(pcm.data(), 3840);
    EXPECT_EQ(device.writes.size(), 2u);
}

TEST(WaveBox, PlaysIntoAlsaNullDeviceAndIsSilentWithoutADevice) {
    CAlsaPcmDevice missing("locket_no_such_device");
    CWaveBox silent(&missing);
    EXPECT_FALSE(silent.Open(16, 8000));

    CAlsaPcmDevice device("null");
    if (device.Open(16, 8000, 3840, 2) != 0)
        GTEST_SKIP() << "ALSA has no null device here";
    device.Close();
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    auto pcm = Ramp(3840);
    for (int i = 0; i < 4; ++i)
        box.Write(pcm.data(), 3840);
    EXPECT_TRUE(box.IsUsable());
    EXPECT_EQ(box.Close(), 1);
}

TEST(MediaSync, FeedsInOrderCutToOneBufferWaitsWhileTwoPacketsWaitAndClears) {
    CHeldAudio audio;
    CMediaSync sync;
    sync.SetAudio(&audio);
    const auto big = Ramp(5000), small = Ramp(100, 3), pcm = Ramp(3840);

    // Without the feeder thread nothing drains the queue: no wait.
    sync.PushAudio(big.data(), 5000);
    sync.PushAudio(small.data(), 100);
    sync.WaitAudio();
    EXPECT_EQ(sync.GetQueued(), 2);
    // With two packets waiting behind the one the device holds, a wait lasts until it takes one.
    ASSERT_TRUE(sync.Start());
    ASSERT_TRUE(WaitFor([&] { return audio.gate.waiting.load() > 0; }));
    sync.PushAudio(pcm.data(), 3840);
    std::thread release([&] { audio.gate.Hold(false); });
    sync.WaitAudio();
    EXPECT_LT(sync.GetQueued(), 2);
    release.join();
    std::vector<uint8_t> expected(big.begin(), big.begin() + 3840);
    expected.insert(expected.end(), small.begin(), small.end());
    expected.insert(expected.end(), pcm.begin(), pcm.end());
    ASSERT_TRUE(WaitFor([&] { return audio.Bytes().size() >= expected.size(); }));
    EXPECT_EQ(audio.Bytes(), expected);

    // A wait ends at CancelWait as well, cancelled until it returns: a cancel before the wait
    // began would not end it.
    audio.gate.Hold(true);
    for (int i = 0; i < 3; ++i)
        sync.PushAudio(pcm.data(), 3840);
    ASSERT_TRUE(WaitFor([&] { return audio.gate.waiting.load() > 0; }));
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        sync.WaitAudio();
        returned = true;
    });
    EXPECT_TRUE(WaitFor([&] {
        sync.CancelWait();
        return returned.load();
    }));
    // Cleared sound is never written: only the packet the device holds still comes.
    sync.ClearAudio();
    EXPECT_EQ(sync.GetQueued(), 0);
    audio.gate.Hold(false);
    waiter.join();
    sync.Stop();
    EXPECT_EQ(audio.Bytes().size(), expected.size() + 3840);
}

}  // namespace
}  // namespace locket
