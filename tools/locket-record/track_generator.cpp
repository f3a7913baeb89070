#include "tools/locket-record/track_generator.h"

#include <algorithm>
#include <cmath>

#include "tools/locket-record/sensor_packets.h"

namespace locket {

CTrackGenerator::CTrackGenerator(const RecordingPlan& plan, const CDriveModel& drive,
                                 uint32_t durationMs)
    : m_plan(plan),
      m_drive(drive),
      m_durationMs(durationMs),
      m_audio(plan.seed),
      m_noise(plan.seed ^ 0x5bd1e995u) {
    if (plan.shock) {
        // At a whole second, not the first one: the viewer keeps the first sample of each
        // second from the second second on.
        m_shockAtS = std::max(1, plan.seconds / 2);
        if (m_shockAtS * 1000 >= durationMs)
            m_shockAtS = 0;
    }
}

DriveState CTrackGenerator::StateAt(double seconds) const {
    return m_plan.parked ? m_drive.Parked(m_plan.offsetS + seconds)
                         : m_drive.At(m_plan.offsetS + seconds);
}

GSample CTrackGenerator::Shock(double seconds) const {
    GSample g;
    if (m_shockAtS < 0 || seconds < m_shockAtS || seconds > m_shockAtS + 0.8)
        return g;
    // A knock from behind: a hard push forwards that rings down.
    const double t = seconds - m_shockAtS;
    const double envelope = std::exp(-t / 0.18);
    const double ring = std::cos(t * 2 * 3.14159265358979 * 5);
    g.x = static_cast<int>(std::lround(45 * envelope * ring));
    g.y = static_cast<int>(std::lround(110 * envelope * ring));
    g.z = static_cast<int>(std::lround(35 * envelope * ring));
    return g;
}

void CTrackGenerator::Pump(uint32_t untilMs, std::vector<PendingPacket>* out) {
    auto push = [&](uint32_t time, int order, uint8_t kind, std::vector<uint8_t> data) {
        PendingPacket p;
        p.timeMs = time;
        p.order = order;
        p.kind = kind;
        p.data = std::move(data);
        out->push_back(std::move(p));
    };
    const uint32_t limit = std::min(untilMs, m_durationMs == 0 ? 0 : m_durationMs - 1);
    if (m_durationMs == 0)
        return;
    while (m_nextAudio <= limit) {
        const int64_t first = static_cast<int64_t>(m_nextAudio) * CAudioTrack::kSampleRate / 1000;
        const int rpm = StateAt(m_nextAudio / 1000.0).rpm;
        push(m_nextAudio, kOrderAudio, kTatKindAudio,
             m_audio.Render(first, CAudioTrack::kPacketSamples, rpm));
        m_nextAudio += kAudioPeriodMs;
    }
    // Text packets of one time go out GPS, G-sensor, signals.
    for (;;) {
        const uint32_t next = std::min({m_nextGps, m_nextG, m_nextSignals});
        if (next > limit)
            break;
        const DriveState s = StateAt(next / 1000.0);
        if (m_nextGps == next) {
            const RecordingTime utc =
                AddSeconds(m_plan.time, static_cast<int64_t>(next / 1000) -
                                            int64_t{kLocalUtcOffsetHours} * 3600);
            push(next, kOrderText, kTatKindText, MakeGpsPacket(utc, s, true));
            m_nextGps += kGpsPeriodMs;
        }
        if (m_nextG == next) {
            GSample g = GSampleFor(s, m_noise.Range(-1, 1));
            const GSample k = Shock(next / 1000.0);
            g.x += k.x;
            g.y += k.y;
            g.z += k.z;
            push(next, kOrderText, kTatKindText, MakeGSensorPacket(g));
            m_nextG += kGSensorPeriodMs;
        }
        if (m_nextSignals == next) {
            push(next, kOrderText, kTatKindText, MakeSignalsPacket(s));
            m_nextSignals += kSignalsPeriodMs;
        }
    }
}

}  // namespace locket
