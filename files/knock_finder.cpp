#include "files/knock_finder.h"

namespace locket {

std::vector<uint32_t> FindKnocks(const std::vector<TimedGSensor>& samples) {
    std::vector<uint32_t> knocks;
    constexpr int64_t kLimit = int64_t{kKnockJumpUnits} * kKnockJumpUnits;
    for (size_t i = 1; i < samples.size(); ++i) {
        const CGSensorData& a = samples[i - 1].g;
        const CGSensorData& b = samples[i].g;
        const int64_t dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
        if (dx * dx + dy * dy + dz * dz < kLimit)
            continue;
        const uint32_t t = samples[i].timeMs;
        if (!knocks.empty() && t - knocks.back() < kKnockMergeMs)
            continue;
        knocks.push_back(t);
    }
    return knocks;
}

}  // namespace locket
