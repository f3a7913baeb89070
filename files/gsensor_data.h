// One three-axis G-sensor sample from a recorder's 'M' text packet.
#pragma once

#include <cstdint>

namespace locket {

class CGSensorData {
public:
    CGSensorData() = default;
    // The recorder stores each axis as 128 minus the value.
    CGSensorData(uint8_t rawX, uint8_t rawY, uint8_t rawZ)
        : x(128 - rawX), y(128 - rawY), z(128 - rawZ) {}

    bool operator==(const CGSensorData&) const = default;

    int32_t x = 0;  // -127..128
    int32_t y = 0;
    int32_t z = 0;
};

}  // namespace locket
