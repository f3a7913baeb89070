// The audio and sensor packets of one recording, produced in time order as the video advances.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/locket-record/audio_track.h"
#include "tools/locket-record/card_plan.h"
#include "tools/locket-record/drive_model.h"
#include "tools/locket-record/seeded_random.h"
#include "tools/locket-record/sensor_packets.h"

namespace locket {

// Where a packet goes in a recording; `order` sorts packets of the same time (front video,
// rear video, audio, text).
struct PendingPacket {
    uint32_t timeMs = 0;
    int order = 0;
    uint8_t stream = 0;
    uint8_t kind = 0;
    std::vector<uint8_t> data;
};

enum PacketOrder : int { kOrderFront = 0, kOrderRear = 1, kOrderAudio = 2, kOrderText = 3 };

class CTrackGenerator {
public:
    static constexpr uint32_t kGpsPeriodMs = 1000;
    static constexpr uint32_t kGSensorPeriodMs = 100;
    static constexpr uint32_t kSignalsPeriodMs = 500;
    static constexpr uint32_t kAudioPeriodMs = 200;  // CAudioTrack::kPacketSamples at 8 kHz

    CTrackGenerator(const RecordingPlan& plan, const CDriveModel& drive, uint32_t durationMs);

    // The drive (or parked) state `seconds` into the recording.
    DriveState StateAt(double seconds) const;

    // Appends every audio and text packet due at or before `untilMs` (and before the end).
    void Pump(uint32_t untilMs, std::vector<PendingPacket>* out);

    // Second of the recording at which an EVENT's knock happens; -1 without one.
    double ShockAtS() const { return m_shockAtS; }

private:
    GSample Shock(double seconds) const;

    const RecordingPlan& m_plan;
    const CDriveModel& m_drive;
    uint32_t m_durationMs;
    CAudioTrack m_audio;
    CSeededRandom m_noise;
    double m_shockAtS = -1;
    uint32_t m_nextAudio = 0;
    uint32_t m_nextGps = 0;
    uint32_t m_nextG = 0;
    uint32_t m_nextSignals = 0;
};

}  // namespace locket
