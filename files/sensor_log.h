// Every sensor record of one recording with the time it was recorded at: the input of knock
// finding and of the GPX and CSV exports (the player's track keeps one sample a second only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/gps_data.h"
#include "files/gsensor_data.h"
#include "files/vehicle_signals.h"

namespace locket {

// Raw G-sensor units per g. The card carries no scale; this is the recorder tool's encoding.
inline constexpr double kGSensorUnitsPerG = 20.0;

struct TimedGSensor {
    uint32_t timeMs = 0;
    CGSensorData g;
};

struct TimedFix {
    uint32_t timeMs = 0;
    CGPSData fix;  // valid and invalid fixes alike
};

struct TimedSignals {
    uint32_t timeMs = 0;
    SignalValues values = NoSignals();
};

class CSensorLog {
public:
    // Decodes one text packet (type letter first, no NUL needed) recorded at `timeMs`.
    // Returns whether it was a sensor record.
    bool Add(const uint8_t* data, uint32_t size, uint32_t timeMs);
    void Clear();

    const std::vector<TimedGSensor>& GSensor() const { return m_gsensor; }
    const std::vector<TimedFix>& Fixes() const { return m_fixes; }
    const std::vector<TimedSignals>& Signals() const { return m_signals; }

private:
    std::vector<TimedGSensor> m_gsensor;
    std::vector<TimedFix> m_fixes;
    std::vector<TimedSignals> m_signals;
};

// Reads the sensor records of the TAT recording at `path` into *log (emptied first). False
// when the file is not a recording; a damaged stretch ends the log early.
bool ReadSensorLog(const std::string& path, CSensorLog* log);

}  // namespace locket
