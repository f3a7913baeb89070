#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "files/decimal_text.h"
#include "files/gps_data.h"

using namespace locket;

TEST(GpsData, RmcFieldsGiveKoreanTimeAndSignedPositionAndOnlyStatusAIsValid) {
    // Time stamps are local time, so the test picks the zone.
    setenv("TZ", "KST-9", 1);
    tzset();
    struct Case {
        const char* sentence;
        std::tuple<int, int, int, int, int, int, int> hmsValidDmy;
        std::array<double, 5> latLonDegreesCourse;  // raw latitude, raw longitude, both in degrees
    };
    // South, west and an empty hemisphere are negative, in the whole and the minute parts alike;
    // an empty course is a field of its own, so the date still lands in place.
    const Case cases[] = {
        {"G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
         {21, 35, 19, 1, 23, 3, 94},
         {4807.038, 1131.0, 48.1173, 11.516666666666667, 84.4f}},
        {"G$GPRMC,000000.00,V,3352.128,S,15112.558,W,0.0,,010124",
         {9, 0, 0, 0, 1, 1, 24},
         {-3352.128, -15112.558, -(33 + 52.128 / 60), -(151 + 12.558 / 60), 0.0}},
        {"G$GPRMC,010203,A,3730.000,,12700.000,,10,90,150624",
         {10, 2, 3, 1, 15, 6, 24},
         {-3730.0, -12700.0, -37.5, -127.0, 90.0}},
        {"G$GPRMC,010203,a,3730.000,n,12700.000,e,10,90,150624",
         {10, 2, 3, 0, 15, 6, 24},
         {-3730.0, -12700.0, -37.5, -127.0, 90.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        const CGPSData fix(c.sentence);
        EXPECT_EQ(c.hmsValidDmy, std::make_tuple(fix.hour, fix.minute, fix.second, fix.valid,
                                                 fix.day, fix.month, fix.year));
        const double got[] = {fix.latitude, fix.longitude, fix.GetLatitudeDeg(),
                              fix.GetLongitudeDeg(), fix.course};
        for (int i = 0; i < 5; ++i)
            EXPECT_NEAR(c.latLonDegreesCourse[i], got[i], 1e-9) << i;
    }
    const CGPSData fix(cases[0].sentence);
    // Knots to km/h, kept in single precision.
    EXPECT_EQ(static_cast<double>(static_cast<float>(22.4 * 1.852)), fix.GetSpeedKmh());

    // A late UTC hour rolls into the next day; two-digit years split at 70.
    const CGPSData newYear("G$GPRMC,200000,A,3730.0,N,12700.0,E,0,0,311299");
    EXPECT_EQ(std::make_tuple(29, 99), std::make_tuple(newYear.hour, newYear.year));
    const std::pair<const CGPSData, int64_t> stamps[] = {
        {fix, 764426119},      // 1994-03-23 21:35:19 in Korea, 12:35:19 UTC
        {newYear, 946670400},  // 2000-01-01 05:00:00 in Korea
        {CGPSData("G$GPRMC,000000,A,,,,,,,010169"), 3124224000},  // 2069-01-01 09:00:00 in Korea
        {CGPSData("G$GPRMC,000000,A,,,,,,,020170"), 86400},       // 1970-01-02 09:00:00
        {CGPSData("G$GPRMC,000000,A,,,,,,,010100"), 946684800},   // 2000-01-01 09:00:00
    };
    for (const auto& [stamped, seconds] : stamps)
        EXPECT_EQ(seconds, stamped.timestamp)
            << stamped.day << "." << stamped.month << "." << stamped.year;
}

TEST(GpsData, OnlyAPlainPositionOnTheGlobeMakesAValidFix) {
    const std::pair<const char*, bool> cases[] = {
        {"4807.038,N,01131.000,E", true},
        {"4807,N,01131,E", true},
        {"9000.000,S,18000.000,W", true},
        {"48O7.038,N,01131.000,E", false},
        {"4807.038,N,0113l.000,E", false},
        {"48.07.038,N,01131.000,E", false},
        {"-4807.038,N,01131.000,E", false},
        {"4807.038,N,+01131.000,E", false},
        {" 4807.038,N,01131.000,E", false},
        {"4807.038e0,N,01131.000,E", false},
        {"nan,N,inf,E", false},
        {".,N,01131.000,E", false},
        {",N,01131.000,E", false},
        {"4807.038,N,,E", false},
        {"9000.001,N,01131.000,E", false},
        {"4807.038,N,18000.01,E", false},
        {"4807.038,N,99999.000,W", false},
    };
    for (const auto& [position, valid] : cases) {
        const std::string sentence =
            std::string("G$GPRMC,123519,A,") + position + ",022.4,084.4,230394";
        const CGPSData fix(sentence);
        EXPECT_EQ(valid, fix.valid == 1) << sentence;
        // Validity aside, the fields still follow the number rules.
        EXPECT_EQ(23, fix.day) << sentence;
    }
}

TEST(GpsData, ShortOddAndOverlongSentencesKeepWhatWasDecodedWithoutTimestamp) {
    // No longitude: no fix.
    const CGPSData cut("G$GPRMC,123519,A,4807.038,N");
    EXPECT_EQ(std::make_tuple(21, 0, 4807.038, 0.0, 0, int64_t{0}),
              std::make_tuple(cut.hour, cut.valid, cut.latitude, cut.longitude, cut.day,
                              int64_t{cut.timestamp}));
    // A trailing comma opens no field, so the date is still missing.
    EXPECT_EQ(0, CGPSData("G$GPRMC,1,A,1,N,1,E,1,1,").timestamp);
    // Only RMC sentences are decoded.
    for (const char* other : {"G$GPGGA,123519,A,4807.038,N,01131.000,E,0,0,230394", "G$GPRM",
                              ",,,G$GPRMC,123519,A,4807.038,N,01131.000,E,0,0,230394"}) {
        EXPECT_EQ(0, CGPSData(other).valid) << other;
        EXPECT_EQ(0, CGPSData(other).hour) << other;
    }
    // Short time and date groups read only the digits they have.
    const CGPSData stubs("G$GPRMC,1,A,,,,,,,2");
    EXPECT_EQ(std::make_tuple(10, 0, 2, 0),
              std::make_tuple(stubs.hour, stubs.minute, stubs.day, stubs.month));
    // The text ends at a NUL.
    const char withNul[] = "G$GPRMC,123519,A,4807.038,N,01131.000,E\0,022.4";
    const CGPSData nul(std::string_view(withNul, sizeof withNul - 1));
    EXPECT_EQ(1, nul.valid);
    EXPECT_EQ(0.0, nul.speedKmh);
    // Values that single precision cannot hold, and non-numbers, read as 0.
    const CGPSData huge("G$GPRMC,123519,A,nan,N,4807.038,E,1e300,1e39,230394");
    EXPECT_EQ(std::make_tuple(0.0, 0.0, 0.0, 23),
              std::make_tuple(huge.latitude, double{huge.speedKmh}, double{huge.course}, huge.day));

    const std::string base = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,";
    const std::string fits = base + std::string(CGPSData::kMaxSentence - base.size(), 'x');
    EXPECT_EQ(1, CGPSData(fits).valid);
    const CGPSData rejected(fits + "x");
    EXPECT_EQ(std::make_tuple(0, 0, 0.0),
              std::make_tuple(rejected.valid, rejected.hour, rejected.latitude));
}

// Vehicle signals and GPS fields cover the common cases; these are the edges.
TEST(DecimalText, FollowsAtoiAndAtofWithoutLocaleOrOverflow) {
    EXPECT_EQ(
        std::vector<int32_t>({-12, 7, 0, INT32_MIN, INT32_MIN}),
        std::vector<int32_t>({DecimalToInt(" \t-12abc"), DecimalToInt("+7"), DecimalToInt("- 1"),
                              DecimalToInt("-2147483648"), DecimalToInt("-99999999999")}));
    EXPECT_DOUBLE_EQ(-150.0, DecimalToDouble(" -1.5e2,rest"));
    EXPECT_DOUBLE_EQ(2.5, DecimalToDouble("+2.5"));
    for (const char* zero : {"+-2.5", "1e400", "-nan"})
        EXPECT_EQ(0.0, DecimalToDouble(zero)) << zero;
}
