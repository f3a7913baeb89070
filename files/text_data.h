// The sensor track of the open recording: G-sensor samples, GPS fixes and the last vehicle
// signals, filled from text packets on the player thread and read by the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "files/gps_data.h"
#include "files/gsensor_data.h"
#include "files/vehicle_signals.h"

namespace locket {

// What a text packet turned out to be.
enum TextRecord : int {
    kTextIgnored = 0,  // unknown type, malformed, an invalid fix, or a second already sampled
    kTextGps = 1,      // a valid fix was appended
    kTextGSensor = 2,  // a sample was appended
    kTextSignals = 3,  // the vehicle signals were replaced (the window refreshes its panel)
};

class CTextData {
public:
    CTextData() = default;
    CTextData(const CTextData&) = delete;
    CTextData& operator=(const CTextData&) = delete;

    // Decodes one text packet delivered at playback time `timeMs`. `size` bytes are readable;
    // the text ends at the first NUL within them.
    TextRecord AddTextPacket(const uint8_t* data, int size, int timeMs);

    // Keeps at most one sample per whole second of play: sample i is the first one seen during
    // second i + 1. Returns whether it was appended.
    bool AddGSensor(const CGSensorData& sample, int timeMs);
    // Appends a fix when it is valid. Returns whether it was appended.
    bool AddGps(const CGPSData& fix);
    void SetSignals(const SignalValues& values);

    // Empties both arrays (a recording is opened, or playback stops).
    void Clear();

    // Copies taken under the lock; the track may grow on the player thread meanwhile.
    size_t GSensorCount() const;
    std::vector<CGSensorData> GetGSensor(size_t first, size_t count) const;
    std::vector<CGSensorData> GetGSensor() const;
    size_t GpsCount() const;
    std::vector<CGPSData> GetGps() const;
    // False when there is no fix.
    bool GetNewestGps(CGPSData* fix) const;
    SignalValues GetSignals() const;

private:
    mutable std::mutex m_lock;
    // -- protected by m_lock
    std::vector<CGSensorData> m_gsensor;
    std::vector<CGPSData> m_gps;
    SignalValues m_signals = NoSignals();
};

}  // namespace locket
