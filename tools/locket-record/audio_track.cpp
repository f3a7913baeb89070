#include "tools/locket-record/audio_track.h"

#include <algorithm>
#include <cmath>

namespace locket {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

CAudioTrack::CAudioTrack(uint32_t seed) : m_noise(seed * 747796405u + 2891336453u) {}

std::vector<uint8_t> CAudioTrack::Render(int64_t first, int samples, int rpm) {
    std::vector<uint8_t> out(static_cast<size_t>(std::max(0, samples)) * 2);
    // Four cylinders fire twice per turn.
    const double firingHz = rpm / 60.0 * 2;
    const double hum = rpm > 0 ? 700 : 0;
    const double hiss = rpm > 0 ? 250 : 40;
    for (int i = 0; i < samples; ++i) {
        m_noise = m_noise * 1664525u + 1013904223u;
        const double white = static_cast<double>(m_noise >> 8) / (1 << 24) * 2 - 1;
        m_low += (white - m_low) * 0.2;
        m_phase += 2 * kPi * firingHz / kSampleRate;
        if (m_phase > 2 * kPi)
            m_phase -= 2 * kPi;
        double v = hum * (std::sin(m_phase) + 0.4 * std::sin(2 * m_phase)) + hiss * m_low * 3;
        const int64_t inSecond = (first + i) % kSampleRate;
        if (inSecond < kTickSamples) {
            // Short ramps at both ends keep the tick from clicking.
            const double ramp = std::min({1.0, inSecond / 8.0, (kTickSamples - inSecond) / 8.0});
            v += kTickAmplitude * ramp * std::sin(2 * kPi * kTickHz * inSecond / kSampleRate);
        }
        const int s = static_cast<int>(std::lround(std::clamp(v, -32767.0, 32767.0)));
        out[2 * i] = static_cast<uint8_t>(s & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    }
    return out;
}

}  // namespace locket
