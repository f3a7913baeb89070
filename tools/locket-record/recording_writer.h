// Writes one recording of a plan through the TAT writer: synthetic front and rear video (or
// imported footage), sound and sensor packets interleaved in time order; then, when the plan
// says so, cuts it as a power loss would or damages it.
#pragma once

#include <cstdint>
#include <string>

#include "tools/locket-record/card_plan.h"
#include "tools/locket-record/drive_model.h"

namespace locket {

struct RecordingStats {
    int frontFrames = 0;
    int rearFrames = 0;
    int groups = 0;
    int audioPackets = 0;
    int textPackets = 0;
    int64_t bytes = 0;
    int oddNonKey = 0;      // imported non-key units that the player's test takes for key frames
    std::string reencoded;  // why imported footage was encoded anew; empty when it was kept
};

bool WriteRecording(const RecordingPlan& plan, const RecordOptions& options,
                    const CDriveModel& drive, RecordingStats* stats, std::string* error);

// Overwrites `bytes` bytes (at most a quarter of the file) in the middle of a file with
// seeded noise. False when the file cannot be changed.
bool DamageMiddle(const std::string& path, int bytes, uint32_t seed);

}  // namespace locket
