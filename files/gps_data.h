// One GPS fix decoded from a recorder's 'G' text packet (an NMEA RMC sentence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace locket {

class CGPSData {
public:
    // Sentences longer than this are not decoded (the record stays empty and not valid).
    static constexpr size_t kMaxSentence = 1023;

    CGPSData() = default;
    // `packet` is the whole text packet: type byte, '$', then the sentence from its name on.
    // Only "GPRMC" sentences are decoded. Decoding stops at a NUL; fields missing from a short
    // sentence keep their zero value. A fix is valid only with status 'A' and a position of
    // plain digits that lies on the globe.
    explicit CGPSData(std::string_view packet);

    // Decimal degrees from the raw ddmm.mmmm values; south and west are negative.
    double GetLatitudeDeg() const { return RawToDegrees(latitude); }
    double GetLongitudeDeg() const { return RawToDegrees(longitude); }
    double GetSpeedKmh() const { return speedKmh; }

    static double RawToDegrees(double raw);

    int32_t year = 0;   // two digits: 0..69 is 2000..2069, 70..99 is 1970..1999
    int32_t month = 0;  // 1..12
    int32_t day = 0;    // 1..31
    int32_t hour = 0;   // UTC hour + 9 (Korean time), not normalised: 9..32
    int32_t minute = 0;
    int32_t second = 0;
    int32_t valid = 0;  // 1 when the receiver reported an active fix
    double latitude = 0.0;
    double longitude = 0.0;
    double speedKmh = 0.0;
    double course = 0.0;
    int64_t timestamp = 0;  // local standard time of the fields above; 0 for a short sentence
};

}  // namespace locket
