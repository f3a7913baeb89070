// A sound output for tests: keeps what is written; optionally takes as long as a device would
// to play it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/audio.h"

namespace locket {

class CFakeAudio : public VAudio {
public:
    // With `realTime`, each write blocks for the duration of its samples.
    explicit CFakeAudio(bool realTime = false) : m_realTime(realTime) {}

    bool Open(int bits, int rate) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bits = bits;
        m_rate = rate;
        ++m_opens;
        return true;
    }
    int Close() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_closes;
        return 1;
    }
    void Write(const uint8_t* data, int size) override {
        int bytesPerSecond = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bytes.insert(m_bytes.end(), data, data + size);
            m_writes.push_back(size);
            bytesPerSecond = m_bits / 8 * m_rate;
        }
        if (m_realTime && bytesPerSecond > 0)
            std::this_thread::sleep_for(
                std::chrono::microseconds(static_cast<int64_t>(size) * 1000000 / bytesPerSecond));
    }
    void SetVolume(int level) override { m_volume.store(level); }

    std::vector<uint8_t> Bytes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    std::vector<int> Writes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes;
    }
    int Opens() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opens;
    }
    int Closes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closes;
    }
    int Bits() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bits;
    }
    int Rate() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_rate;
    }

private:
    bool m_realTime;
    std::atomic<int> m_volume{kFullVolume};
    mutable std::mutex m_mutex;
    int m_bits = 0;
    int m_rate = 0;
    int m_opens = 0;
    int m_closes = 0;
    std::vector<uint8_t> m_bytes;
    std::vector<int> m_writes;
};

}  // namespace locket
