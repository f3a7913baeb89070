// Finds the knocks of a recording: moments where the G-sensor reading jumps between two
// consecutive samples, as a collision or a pothole makes it, and a drive never does.
#pragma once

#include <cstdint>
#include <vector>

#include "files/sensor_log.h"

namespace locket {

// Change of the acceleration vector between two consecutive samples, in raw units, at or above
// which a knock is reported. Chosen as 2 g at 20 units per g: hard braking or a sharp turn
// changes the reading by well under 1 g from one sample to the next (at 10 samples a second),
// road rumble by a few units, while an impact swings it by several g at once.
inline constexpr int kKnockJumpUnits = 40;

// A knock rings for a while: jumps closer than this to the last reported knock belong to it.
inline constexpr uint32_t kKnockMergeMs = 2000;

// Times (ms from the recording's start) of the knocks in `samples` (in time order).
std::vector<uint32_t> FindKnocks(const std::vector<TimedGSensor>& samples);

}  // namespace locket
