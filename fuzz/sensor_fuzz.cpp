// Text packets from a recording, as the player hands them to the sensor track.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/gps_data.h"
#include "files/text_data.h"
#include "files/vehicle_signals.h"

using namespace locket;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first two bytes pick the playback time, the rest is the packet.
    const int timeMs = (data[0] << 8 | data[1]) * 37 - 1000;
    data += 2;
    size -= 2;

    static CTextData track;
    if (track.GSensorCount() > 100000 || track.GpsCount() > 100000)
        track.Clear();
    const size_t before = track.GSensorCount();
    TextRecord kind = track.AddTextPacket(data, static_cast<int>(size), timeMs);
    if (kind == kTextGSensor && track.GSensorCount() != before + 1)
        std::abort();

    // The sentence decoder on its own: a valid fix always lies on the globe.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CGPSData fix(text);
    if (!std::isfinite(fix.GetLatitudeDeg()) || !std::isfinite(fix.GetLongitudeDeg()) ||
        !std::isfinite(fix.GetSpeedKmh()))
        std::abort();
    if (fix.valid &&
        (std::fabs(fix.GetLatitudeDeg()) > 90 || std::fabs(fix.GetLongitudeDeg()) > 180))
        std::abort();
    if (fix.hour < 0 || fix.hour > 99 + 9)
        std::abort();

    SignalValues values = ParseVehicleSignals(text);
    (void)values;
    return 0;
}
