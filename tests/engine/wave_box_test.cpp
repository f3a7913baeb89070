#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/alsa_pcm_device.h"
#include "engine/wave_box.h"
#include "platform/clock.h"

namespace locket {
namespace {

// A device whose free periods and errors the test sets.
class CFakePcmDevice : public VPcmDevice {
public:
    int Open(int bits, int rate, int periodBytes, int periods) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        bits_ = bits;
        rate_ = rate;
        periodBytes_ = periodBytes;
        periods_ = periods;
        open_ = openResult == 0;
        return openResult;
    }
    int Close() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        open_ = false;
        return 0;
    }
    bool IsOpen() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return open_;
    }
    int FreePeriods() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++freeQueries;
        return freeResult;
    }
    int Write(const uint8_t* data, int bytes) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (writeResult < 0)
            return writeResult;
        writes.emplace_back(data, data + bytes);
        return bytes;
    }

    void SetFree(int n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        freeResult = n;
    }
    int FreeQueries() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return freeQueries;
    }
    std::vector<std::vector<uint8_t>> Writes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return writes;
    }

    int openResult = 0;
    int writeResult = 0;
    int bits_ = 0, rate_ = 0, periodBytes_ = 0, periods_ = 0;

private:
    mutable std::mutex m_mutex;
    bool open_ = false;
    int freeResult = 2;
    int freeQueries = 0;
    std::vector<std::vector<uint8_t>> writes;
};

std::vector<uint8_t> Ramp(int n, int start = 0) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(start + i * 7);
    return v;
}

TEST(WaveBox, OpenDescribesMonoPcmInTwoBuffersOfOnePeriod) {
    CFakePcmDevice device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    EXPECT_EQ(box.GetAverageBytesPerSecond(), 16000);
    EXPECT_EQ(box.GetBlockAlign(), 2);
    EXPECT_EQ(device.periodBytes_, 3840);
    EXPECT_EQ(device.periods_, 2);
    ASSERT_TRUE(box.Open(8, 22050));
    EXPECT_EQ(box.GetAverageBytesPerSecond(), 22050);
    EXPECT_EQ(box.GetBlockAlign(), 1);
    EXPECT_EQ(device.bits_, 8);
    EXPECT_EQ(device.rate_, 22050);
    EXPECT_EQ(box.Close(), 1);
    EXPECT_EQ(box.Close(), -1);  // nothing open any more

    // A device that cannot be opened leaves a silent output that returns at once.
    device.openResult = -ENOENT;
    EXPECT_FALSE(box.Open(16, 8000));
    EXPECT_FALSE(box.IsUsable());
    auto pcm = Ramp(100);
    box.Write(pcm.data(), 100);
    EXPECT_TRUE(device.Writes().empty());
    EXPECT_EQ(device.FreeQueries(), 0);
}

TEST(WaveBox, WritesAtMostOneBufferPerCallWithTheVolumeApplied) {
    CFakePcmDevice device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    auto pcm = Ramp(4000);
    box.Write(pcm.data(), 4000);
    auto writes = device.Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], std::vector<uint8_t>(pcm.begin(), pcm.begin() + 3840));

    // Half volume halves each signed 16-bit sample; an odd trailing byte is not a sample.
    const int16_t samples[] = {1000, -1000, 32767, -32768};
    box.SetVolume(VAudio::kFullVolume / 2);
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(samples),
                               reinterpret_cast<const uint8_t*>(samples) + sizeof(samples));
    bytes.push_back(0x55);
    box.Write(bytes.data(), static_cast<int>(bytes.size()));
    writes = device.Writes();
    ASSERT_EQ(writes.size(), 2u);
    ASSERT_EQ(writes[1].size(), sizeof(samples));
    const int16_t* out = reinterpret_cast<const int16_t*>(writes[1].data());
    EXPECT_NEAR(out[0], 500, 1);
    EXPECT_NEAR(out[1], -500, 1);
    EXPECT_NEAR(out[2], 16383, 1);
    EXPECT_NEAR(out[3], -16384, 1);

    // 8-bit samples are unsigned around 128; volume 0 is silence.
    ASSERT_TRUE(box.Open(8, 8000));
    box.SetVolume(0);
    const uint8_t eight[] = {0, 128, 255};
    box.Write(eight, 3);
    writes = device.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2], std::vector<uint8_t>({128, 128, 128}));
}

TEST(WaveBox, GivesUpAfterFiftyOneBusyAttemptsUntilOpenedAgain) {
    CFakePcmDevice device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    device.SetFree(0);
    auto pcm = Ramp(3840);
    box.Write(pcm.data(), 3840);
    EXPECT_EQ(device.FreeQueries(), CWaveBox::kMaxBusyAttempts + 1);
    EXPECT_FALSE(box.IsUsable());
    EXPECT_TRUE(device.Writes().empty());

    // Off: later writes return without asking the device.
    device.SetFree(2);
    box.Write(pcm.data(), 3840);
    EXPECT_EQ(device.FreeQueries(), CWaveBox::kMaxBusyAttempts + 1);

    ASSERT_TRUE(box.Open(16, 8000));
    box.Write(pcm.data(), 3840);
    EXPECT_EQ(device.Writes().size(), 1u);
}

TEST(WaveBox, WaitsForAFreeBufferAndStaysOnWhenOneComesBack) {
    CFakePcmDevice device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    device.SetFree(0);
    std::thread release([&] {
        while (device.FreeQueries() < 5)
            SleepMs(1);
        device.SetFree(1);
    });
    auto pcm = Ramp(3840);
    box.Write(pcm.data(), 3840);
    release.join();
    EXPECT_GE(device.FreeQueries(), 6);
    EXPECT_TRUE(box.IsUsable());
    EXPECT_EQ(device.Writes().size(), 1u);

    // An empty write with both buffers free has nothing to wait for.
    device.SetFree(2);
    int before = device.FreeQueries();
    box.Write(pcm.data(), 0);
    EXPECT_EQ(device.FreeQueries(), before + 1);
    EXPECT_TRUE(box.IsUsable());
}

TEST(WaveBox, DeviceErrorsTurnTheOutputOffOnlyWhenFatal) {
    CFakePcmDevice device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    auto pcm = Ramp(256);

    device.writeResult = -EPIPE;  // an underrun is recovered from
    box.Write(pcm.data(), 256);
    EXPECT_TRUE(box.IsUsable());

    for (int fatal : {-EBADFD, -ENODEV, -ENOMEM, -ENXIO}) {
        ASSERT_TRUE(box.Open(16, 8000));
        device.writeResult = fatal;
        box.Write(pcm.data(), 256);
        EXPECT_FALSE(box.IsUsable()) << fatal;
    }
    device.writeResult = 0;
    ASSERT_TRUE(box.Open(16, 8000));
    device.SetFree(-ENODEV);
    box.Write(pcm.data(), 256);
    EXPECT_FALSE(box.IsUsable());
    EXPECT_EQ(box.Reopen(), 0);
    EXPECT_TRUE(box.IsUsable());
}

TEST(WaveBox, PlaysIntoAlsaNullDevice) {
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

}  // namespace
}  // namespace locket
