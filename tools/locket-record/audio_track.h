// The recorder's sound: 16-bit mono PCM at 8000 Hz, a quiet engine hum that follows the engine
// speed, and a 10 ms 1 kHz tick at every whole second so that sound and picture can be lined up.
#pragma once

#include <cstdint>
#include <vector>

namespace locket {

class CAudioTrack {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kPacketSamples = 1600;  // 200 ms, 3200 bytes
    static constexpr int kTickSamples = 80;      // 10 ms
    static constexpr int kTickHz = 1000;
    static constexpr int kTickAmplitude = 12000;

    explicit CAudioTrack(uint32_t seed);

    // The next `samples` samples (little-endian bytes) starting at sample `first`, which must
    // follow on from the previous call. rpm 0: the engine is off (only a faint hiss).
    std::vector<uint8_t> Render(int64_t first, int samples, int rpm);

private:
    uint32_t m_noise;
    double m_phase = 0;
    double m_low = 0;  // low-passed noise
};

}  // namespace locket
