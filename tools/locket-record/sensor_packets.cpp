#include "tools/locket-record/sensor_packets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace locket {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<uint8_t> Bytes(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

uint8_t RawG(int value) {
    return static_cast<uint8_t>(128 - std::clamp(value, -127, 127));
}

}  // namespace

void FormatNmeaCoordinate(double degrees, bool latitude, char* text, int capacity,
                          char* hemisphere) {
    *hemisphere = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
    const double a = std::fabs(degrees);
    int whole = static_cast<int>(a);
    double minutes = (a - whole) * 60;
    // Rounding to four decimals may carry into the next degree.
    if (std::lround(minutes * 10000) >= 600000) {
        ++whole;
        minutes = 0;
    }
    std::snprintf(text, capacity, latitude ? "%02d%07.4f" : "%03d%07.4f", whole, minutes);
}

std::vector<uint8_t> MakeGpsPacket(const RecordingTime& utc, const DriveState& state, bool valid) {
    char lat[24], lon[24], ns, ew;
    FormatNmeaCoordinate(state.latitudeDeg, true, lat, sizeof lat, &ns);
    FormatNmeaCoordinate(state.longitudeDeg, false, lon, sizeof lon, &ew);
    char body[160];
    std::snprintf(body, sizeof body,
                  "GPRMC,%02d%02d%02d.00,%c,%s,%c,%s,%c,%.1f,%.1f,%02d%02d%02d,,,%c", utc.hour,
                  utc.minute, utc.second, valid ? 'A' : 'V', lat, ns, lon, ew,
                  state.speedKmh / 1.852, state.headingDeg, utc.day, utc.month, utc.year % 100,
                  valid ? 'A' : 'N');
    uint8_t sum = 0;
    for (const char* p = body; *p; ++p)
        sum ^= static_cast<uint8_t>(*p);
    char packet[200];
    std::snprintf(packet, sizeof packet, "G$%s*%02X", body, sum);
    return Bytes(packet);
}

std::vector<uint8_t> MakeGSensorPacket(const GSample& g) {
    return {'M', RawG(g.x), RawG(g.y), RawG(g.z)};
}

std::vector<uint8_t> MakeSignalsPacket(const DriveState& s) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Brpm=%d;wat=%d;spd=%d;Accel=%d;Break=%d;TurnSig=%d;GearPos=%d", s.rpm,
                  s.coolantC, static_cast<int>(std::lround(s.speedKmh)), s.accelerator ? 1 : 0,
                  s.brake ? 1 : 0, s.turnSignal, s.gear);
    return Bytes(text);
}

GSample GSampleFor(const DriveState& s, double noise) {
    const double v = s.speedKmh / 3.6;
    const double lateral = v * s.yawRateDegS * kPi / 180 / 9.81;  // centripetal, in g
    const double along = s.accelMs2 / 9.81;
    const double rumble = s.parked ? 0 : noise * std::min(1.0, v / 15);
    GSample g;
    g.x = static_cast<int>(std::lround(lateral * kGUnitsPerG + rumble * 0.5));
    g.y = static_cast<int>(std::lround(along * kGUnitsPerG));
    g.z = static_cast<int>(std::lround(rumble * 1.5));
    return g;
}

RecordingTime AddSeconds(const RecordingTime& time, int64_t seconds) {
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    // UTC arithmetic: no time zone or daylight saving of this machine gets in.
    const time_t t = timegm(&tm) + static_cast<time_t>(seconds);
    std::tm out{};
    gmtime_r(&t, &out);
    return RecordingTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday,
                         out.tm_hour,        out.tm_min,     out.tm_sec};
}

bool IsCalendarTime(const RecordingTime& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59)
        return false;
    // Normalisation moves an impossible day into the next month.
    const RecordingTime n = AddSeconds(t, 0);
    return n.year == t.year && n.month == t.month && n.day == t.day;
}

}  // namespace locket
