#include "engine/wave_box.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/clock.h"

namespace locket {

CWaveBox::CWaveBox(VPcmDevice* device) : m_device(device ? device : &m_alsa) {}

CWaveBox::~CWaveBox() {
    CSyncLock lock(m_deviceLock);
    if (m_device->IsOpen())
        m_device->Close();
}

bool CWaveBox::Open(int bits, int rate) {
    CSyncLock lock(m_deviceLock);
    if (bits != 8 && bits != 16)
        bits = 16;
    m_bits = bits;
    m_rate = rate;
    if (m_device->IsOpen())
        m_device->Close();
    int r = m_device->Open(m_bits, m_rate, kBufferBytes, kBufferCount);
    m_current = 0;
    m_spareDevicePeriods = r == 0 ? std::max(0, m_device->BufferPeriods() - kBufferCount) : 0;
    m_usable.store(r == 0);
    return r == 0;
}

int CWaveBox::Reopen() {
    CSyncLock lock(m_deviceLock);
    if (m_device->IsOpen())
        m_device->Close();
    int r = m_device->Open(m_bits, m_rate, kBufferBytes, kBufferCount);
    m_current = 0;
    m_spareDevicePeriods = r == 0 ? std::max(0, m_device->BufferPeriods() - kBufferCount) : 0;
    m_usable.store(r == 0);
    return r;
}

int CWaveBox::Close() {
    m_usable.store(false);
    CSyncLock lock(m_deviceLock);
    if (!m_device->IsOpen())
        return -1;
    return m_device->Close() == 0 ? 1 : -1;
}

int CWaveBox::GetBits() const {
    CSyncLock lock(m_deviceLock);
    return m_bits;
}

int CWaveBox::GetRate() const {
    CSyncLock lock(m_deviceLock);
    return m_rate;
}

void CWaveBox::SetVolume(int level) {
    if (level < 0)
        level = 0;
    if (level > kFullVolume)
        level = kFullVolume;
    m_volume.store(level);
}

void CWaveBox::OnResult(int result) {
    // The errors that mean no device, no driver or no memory: nothing later will work either.
    if (result == -EBADFD || result == -ENODEV || result == -ENXIO || result == -ENOMEM) {
        if (m_usable.exchange(false))
            std::printf("[CWaveBox] device failed (%d): output off\n", result);
    }
}

void CWaveBox::Fill(uint8_t* target, const uint8_t* data, int n) const {
    int volume = m_volume.load();
    if (volume >= kFullVolume) {
        std::memcpy(target, data, n);
        return;
    }
    if (m_bits == 8) {
        for (int i = 0; i < n; ++i)
            target[i] = static_cast<uint8_t>(128 + (data[i] - 128) * volume / kFullVolume);
        return;
    }
    for (int i = 0; i + 1 < n; i += 2) {
        int16_t s = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
        int scaled = s * volume / kFullVolume;
        target[i] = static_cast<uint8_t>(scaled & 0xFF);
        target[i + 1] = static_cast<uint8_t>((scaled >> 8) & 0xFF);
    }
}

int CWaveBox::WriteBlock(const uint8_t* data, int size) {
    int free = 0;
    {
        CSyncLock lock(m_deviceLock);
        free = m_device->FreePeriods();
        if (free < 0) {
            OnResult(free);
            if (!m_usable.load())
                return kBlockFailed;
            free = 0;
        }
        // Room the device has beyond the two buffers would let the feeder take that much more
        // sound, and the pictures run that far ahead of what is heard.
        free = std::clamp(free - m_spareDevicePeriods, 0, kBufferCount);
        if (free >= 1) {
            int n = size < kBufferBytes ? size : kBufferBytes;
            n -= n % (m_bits / 8);
            if (n <= 0) {
                // An empty write with both buffers free has nothing to wait for.
                if (free >= kBufferCount)
                    return kBlockFailed;
            } else {
                uint8_t* buffer = m_buffers[m_current];
                Fill(buffer, data, n);
                int r = m_device->Write(buffer, n);
                if (r < 0) {
                    OnResult(r);
                    if (!m_usable.load())
                        return kBlockFailed;
                }
                m_current = (m_current + 1) % kBufferCount;
            }
        }
    }
    SleepMs(10);
    return free >= 1 ? kBlockDone : kBlockBusy;
}

void CWaveBox::Write(const uint8_t* data, int size) {
    if (!data || size < 0)
        return;
    int busy = 0;
    while (m_usable.load()) {
        int r = WriteBlock(data, size);
        if (r == kBlockDone || (r == kBlockFailed && m_usable.load()))
            return;
        if (r == kBlockBusy && ++busy > kMaxBusyAttempts) {
            std::printf("[CWaveBox] no free buffer after %d attempts: output off\n", busy);
            m_usable.store(false);
        }
    }
    TakeSilently(size);
}

void CWaveBox::TakeSilently(int size) {
    int n = std::min(size, kBufferBytes);
    int bytesPerSecond = GetAverageBytesPerSecond();
    if (n <= 0 || bytesPerSecond <= 0)
        return;
    auto timeOf = [&](int64_t bytes) {
        return std::chrono::microseconds(bytes * 1000000 / bytesPerSecond);
    };
    auto now = SilentClock::now();
    // The bytes keep the times they would have played at from the first on, so a writer held
    // up for a moment catches up; after a longer gap (a pause, a new recording) time starts over.
    if (m_silentTaken == 0 || bytesPerSecond != m_silentRate ||
        now - (m_silentStart + timeOf(m_silentTaken)) > kSilentGapLimit) {
        m_silentStart = now;
        m_silentTaken = 0;
        m_silentLast = 0;
        m_silentRate = bytesPerSecond;
    }
    // As through two buffers: wait until only the newest of them is still playing.
    SilentClock::time_point free = m_silentStart + timeOf(m_silentTaken - m_silentLast);
    if (free > now)
        std::this_thread::sleep_until(free);
    m_silentTaken += n;
    m_silentLast = n;
}

}  // namespace locket
