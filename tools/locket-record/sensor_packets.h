// The recorder's text packets: 'G' NMEA RMC sentences, 'M' G-sensor samples and 'B' vehicle
// signals. Payloads carry no terminating NUL: the player appends one.
#pragma once

#include <cstdint>
#include <vector>

#include "tat/card_layout.h"
#include "tools/locket-record/drive_model.h"

namespace locket {

// G-sensor units per g (raw values are kept within -127..127).
constexpr int kGUnitsPerG = 20;

struct GSample {
    int x = 0;  // across the car, positive to the right
    int y = 0;  // along the car, positive forwards
    int z = 0;  // vertical, gravity removed
};

// NMEA latitude/longitude "ddmm.mmmm" / "dddmm.mmmm" with hemisphere letter.
void FormatNmeaCoordinate(double degrees, bool latitude, char* text, int capacity,
                          char* hemisphere);

// "G$GPRMC,hhmmss.00,A,ddmm.mmmm,N,dddmm.mmmm,E,knots,course,ddmmyy,,,A*CS" for a UTC time.
std::vector<uint8_t> MakeGpsPacket(const RecordingTime& utc, const DriveState& state, bool valid);

// 'M' and the three raw bytes 128 - value.
std::vector<uint8_t> MakeGSensorPacket(const GSample& g);

// "Brpm=..;wat=..;spd=..;Accel=..;Break=..;TurnSig=..;GearPos=..".
std::vector<uint8_t> MakeSignalsPacket(const DriveState& state);

// The G-sensor reading for a state: lateral and longitudinal acceleration plus road rumble
// (`noise` in -1..1).
GSample GSampleFor(const DriveState& state, double noise);

// Adds the wall-clock offset to a time (any amount of seconds, either sign).
RecordingTime AddSeconds(const RecordingTime& time, int64_t seconds);

// True when the fields name a time that exists (no 31 February, no hour 24).
bool IsCalendarTime(const RecordingTime& time);

}  // namespace locket
