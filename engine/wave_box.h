// The sound output: PCM through two buffers of 3840 bytes; a writer waits until one is free.
// Without a usable device the output is silent but still takes the bytes at their rate.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "base/sync.h"
#include "engine/alsa_pcm_device.h"
#include "engine/audio.h"

namespace locket {

class CWaveBox : public VAudio {
public:
    static constexpr int kBufferBytes = 3840;
    static constexpr int kBufferCount = 2;
    // Consecutive attempts without a free buffer after which the output gives up.
    static constexpr int kMaxBusyAttempts = 50;

    // WriteBlock results.
    enum BlockResult { kBlockDone = 1, kBlockBusy = 2, kBlockFailed = -1 };

    // Without a device of the caller's, plays through ALSA's "default" device.
    explicit CWaveBox(VPcmDevice* device = nullptr);
    ~CWaveBox() override;
    CWaveBox(const CWaveBox&) = delete;
    CWaveBox& operator=(const CWaveBox&) = delete;

    bool Open(int bits, int rate) override;
    int Close() override;
    void Write(const uint8_t* data, int size) override;
    void SetVolume(int level) override;
    int GetVolume() const { return m_volume.load(); }

    // Opens again with the format last given; 0 or a negative errno.
    int Reopen();
    // Turns the output off on the device errors that cannot be recovered from.
    void OnResult(int result);

    bool IsUsable() const { return m_usable.load(); }
    int GetBits() const;
    int GetRate() const;
    int GetAverageBytesPerSecond() const { return GetBits() / 8 * GetRate(); }
    int GetBlockAlign() const { return GetBits() / 8; }

private:
    int WriteBlock(const uint8_t* data, int size);
    // Copies `n` bytes into the current buffer with the volume applied.
    void Fill(uint8_t* target, const uint8_t* data, int n) const;
    // Without a usable device: drops the bytes, taking as long as playing them would.
    void TakeSilently(int size);

    CAlsaPcmDevice m_alsa;
    VPcmDevice* m_device;
    std::atomic<bool> m_usable{true};
    std::atomic<int> m_volume{kFullVolume};
    // Open and Close come from the player or user-interface thread, Write from the sync thread.
    mutable CSync m_deviceLock{"none"};
    // -- protected by m_deviceLock
    int m_bits = 16;
    int m_rate = 8000;
    int m_current = 0;
    // Periods the device negotiated beyond the two buffers; never counted as free.
    int m_spareDevicePeriods = 0;
    uint8_t m_buffers[kBufferCount][kBufferBytes] = {};

    using SilentClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSilentGapLimit{300};
    // -- writer only: the silent output's time line
    SilentClock::time_point m_silentStart;
    int64_t m_silentTaken = 0;  // bytes since m_silentStart
    int m_silentLast = 0;       // bytes of the newest write
    int m_silentRate = 0;       // bytes per second
};

}  // namespace locket
