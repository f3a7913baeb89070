#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "files/decimal_text.h"
#include "files/text_data.h"

using namespace locket;

namespace {

// As delivered by the player: the bytes plus a terminating NUL.
TextRecord Feed(CTextData& track, const std::string& packet, int timeMs) {
    return track.AddTextPacket(reinterpret_cast<const uint8_t*>(packet.c_str()),
                               static_cast<int>(packet.size()), timeMs);
}

TextRecord FeedM(CTextData& track, uint8_t x, uint8_t y, uint8_t z, int timeMs) {
    const uint8_t packet[] = {'M', x, y, z, 0};
    return track.AddTextPacket(packet, 4, timeMs);
}

const char kRmc[] = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394";

}  // namespace

TEST(TextData, GSensorKeepsFirstSamplePerSecondFromSecondOne) {
    CTextData track;
    EXPECT_EQ(kTextIgnored, FeedM(track, 1, 1, 1, 0));
    EXPECT_EQ(kTextIgnored, FeedM(track, 1, 1, 1, -5000));
    EXPECT_EQ(kTextGSensor, FeedM(track, 0x80, 0x00, 0xFF, 1000));
    EXPECT_EQ(kTextIgnored, FeedM(track, 10, 10, 10, 1999)) << "same second";
    // A gap: second 5 with one sample held becomes sample 1.
    EXPECT_EQ(kTextGSensor, FeedM(track, 100, 100, 100, 5400));
    EXPECT_EQ(kTextGSensor, FeedM(track, 120, 120, 120, 5500));
    EXPECT_EQ(kTextIgnored, FeedM(track, 120, 120, 120, 3000));
    // Too short for a sample; only an upper-case type byte counts, in a packet with bytes in it.
    const std::pair<const char*, int> ignored[] = {
        {"M\x01\x02", 3}, {nullptr, 10}, {"B", 0}, {"B", -1}, {"X123", 4}, {"m\x01\x02\x03", 4}};
    for (const auto& [bytes, size] : ignored)
        EXPECT_EQ(kTextIgnored,
                  track.AddTextPacket(reinterpret_cast<const uint8_t*>(bytes), size, 60000))
            << size;

    const std::vector<CGSensorData> all = track.GetGSensor();
    ASSERT_EQ(3u, all.size());
    EXPECT_EQ(std::make_tuple(0, 128, -127), std::tie(all[0].x, all[0].y, all[0].z))
        << "each axis is stored as 128 minus its raw byte";
    EXPECT_EQ((std::vector<CGSensorData>{{100, 100, 100}, {120, 120, 120}}),
              track.GetGSensor(1, 10));
    EXPECT_TRUE(track.GetGSensor(3, 1).empty());
}

TEST(TextData, OnlyValidRmcFixesAreKeptInArrivalOrder) {
    CTextData track;
    EXPECT_FALSE(track.GetNewestGps(nullptr));
    EXPECT_EQ(kTextGps, Feed(track, kRmc, 0));
    EXPECT_EQ(kTextIgnored, Feed(track, "G$GPRMC,123520,V,4807.038,N,01131.000,E,0,0,230394", 0));
    EXPECT_EQ(kTextIgnored, Feed(track, "g" + std::string(kRmc + 1), 0));
    EXPECT_EQ(kTextGps, Feed(track, "G$GPRMC,123521,A,3730.000,N,12700.000,E,10,0,230394", 0));
    // The GPRMC check reads only the packet's own bytes.
    const uint8_t cut[] = {'G', '$', 'G', 'P', 'R', 'M', 'C', ',', '1'};
    EXPECT_EQ(kTextIgnored, track.AddTextPacket(cut, 6, 0));

    const std::vector<CGPSData> fixes = track.GetGps();
    ASSERT_EQ(2u, fixes.size());
    EXPECT_EQ(19, fixes[0].second);
    EXPECT_EQ(21, fixes[1].second);
    CGPSData newest;
    ASSERT_TRUE(track.GetNewestGps(&newest));
    EXPECT_DOUBLE_EQ(3730.0, newest.latitude);
    track.Clear();
    EXPECT_FALSE(track.GetNewestGps(&newest));
}

TEST(TextData, SignalPacketsReplaceAllSevenValuesReadUntilAFieldLacksItsEquals) {
    constexpr int32_t A = kSignalAbsent;
    const struct {
        const char* text;
        SignalValues expected;  // rpm, wat, spd, Accel, Break, TurnSig, GearPos
    } cases[] = {
        {" rpm = 900 ; GearPos=3;Foo=1", {900, A, A, A, A, A, 3}},
        {"rpm=1;wat=2;spd=3;Accel=4;Break=5;TurnSig=-1;GearPos=7", {1, 2, 3, 4, 5, -1, 7}},
        // Each packet starts from absent; a field without '=', or an empty one, ends the decoding.
        {"rpm=900;Accel;spd=40", {900, A, A, A, A, A, A}},
        {"rpm=1;;wat=2", {1, A, A, A, A, A, A}},
        {";rpm=1", {A, A, A, A, A, A, A}},
        // Keys are case-sensitive; values follow atoi and saturate.
        {"RPM=900;break=1;wat=-12.7;spd=abc;Accel=;TurnSig=1=2;=5", {A, -12, 0, 0, A, 1, A}},
        {"rpm=123456789012", {2147483647, A, A, A, A, A, A}},
        {"spd=1;spd=2", {A, A, 2, A, A, A, A}},  // a later field of the same key wins
        {"", {A, A, A, A, A, A, A}},             // only the type byte: an empty record
    };
    CTextData track;
    EXPECT_EQ(NoSignals(), track.GetSignals());
    for (const auto& c : cases) {
        EXPECT_EQ(kTextSignals, Feed(track, std::string("B") + c.text, 0)) << c.text;
        EXPECT_EQ(c.expected, track.GetSignals()) << '"' << c.text << '"';
    }
}

TEST(TextData, PlayerAppendsWhileGuiReadsAndClears) {
    CTextData track;
    constexpr int kSeconds = 3000;
    std::atomic<bool> done{false};
    std::thread player([&] {
        for (int ms = 0; ms < kSeconds * 1000; ms += 250) {
            FeedM(track, static_cast<uint8_t>(ms / 1000), 2, 3, ms);
            if (ms % 1000 == 0)
                Feed(track, kRmc, ms);
            if (ms % 500 == 0)
                Feed(track, "Brpm=" + std::to_string(ms) + ";spd=1", ms);
        }
        done = true;
    });
    // The GUI side sees a consistent, growing prefix of the track.
    size_t lastCount = 0;
    while (!done) {
        const std::vector<CGSensorData> samples = track.GetGSensor();
        ASSERT_GE(samples.size(), lastCount);
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(128 - static_cast<int>((i + 1) & 0xFF), samples[i].x) << i;
        lastCount = samples.size();
        const SignalValues v = track.GetSignals();
        ASSERT_TRUE(v[kSignalRpm] == kSignalAbsent || v[kSignalSpd] == 1);
        CGPSData fix;
        ASSERT_TRUE(!track.GetNewestGps(&fix) || fix.valid == 1);
    }
    player.join();
    EXPECT_EQ(static_cast<size_t>(kSeconds - 1), track.GSensorCount()) << "second 0 has none";
    EXPECT_EQ(static_cast<size_t>(kSeconds), track.GpsCount());

    // Clearing from the GUI while the player appends leaves a track that grows again.
    std::thread again([&] {
        for (int ms = 0; ms < 200 * 1000; ms += 1000)
            FeedM(track, 0, 0, 0, ms);
    });
    track.Clear();
    again.join();
    EXPECT_LE(track.GSensorCount(), 199u);
}

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

TEST(GpsData, OnlyAPlainPositionIsValid_OddSentencesKeepWhatWasDecodedWithoutTimestamp) {
    // `position` is the sentence's four position fields.
    const auto expect = [](const char* position, bool valid) {
        const std::string sentence =
            std::string("G$GPRMC,123519,A,") + position + ",022.4,084.4,230394";
        const CGPSData fix(sentence);
        EXPECT_EQ(valid, fix.valid == 1) << sentence;
        // Validity aside, the fields still follow the number rules.
        EXPECT_EQ(23, fix.day) << sentence;
    };
    for (const char* p : {"4807.038,N,01131.000,E", "4807,N,01131,E", "9000.000,S,18000.000,W"})
        expect(p, true);
    for (const char* p :
         {"48O7.038,N,01131.000,E", "4807.038,N,0113l.000,E", "48.07.038,N,01131.000,E",
          "-4807.038,N,01131.000,E", "4807.038,N,+01131.000,E", " 4807.038,N,01131.000,E",
          "4807.038e0,N,01131.000,E", "nan,N,inf,E", ".,N,01131.000,E", ",N,01131.000,E",
          "4807.038,N,,E", "9000.001,N,01131.000,E", "4807.038,N,18000.01,E",
          "4807.038,N,99999.000,W"})
        expect(p, false);

    // No longitude: no fix.
    const CGPSData cut("G$GPRMC,123519,A,4807.038,N");
    EXPECT_EQ(std::make_tuple(21, 0, 4807.038, 0.0, 0, int64_t{0}),
              std::make_tuple(cut.hour, cut.valid, cut.latitude, cut.longitude, cut.day,
                              int64_t{cut.timestamp}));
    // A trailing comma opens no field, so the date is still missing.
    EXPECT_EQ(0, CGPSData("G$GPRMC,1,A,1,N,1,E,1,1,").timestamp);
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
    // Only RMC sentences of at most the longest length are decoded.
    const std::string base = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,";
    const std::string fits = base + std::string(CGPSData::kMaxSentence - base.size(), 'x');
    EXPECT_EQ(1, CGPSData(fits).valid);
    for (const std::string& other : std::vector<std::string>{
             fits + "x", "G$GPRM", "G$GPGGA,123519,A,4807.038,N,01131.000,E,0,0,230394",
             ",,,G$GPRMC,123519,A,4807.038,N,01131.000,E,0,0,230394"}) {
        const CGPSData fix(other);
        EXPECT_EQ(std::make_tuple(0, 0, 0.0), std::make_tuple(fix.valid, fix.hour, fix.latitude))
            << other;
    }
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
