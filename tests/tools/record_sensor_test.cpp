#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/gps_data.h"
#include "files/gsensor_data.h"
#include "files/vehicle_signals.h"
#include "tools/locket-record/audio_track.h"
#include "tools/locket-record/drive_model.h"
#include "tools/locket-record/sensor_packets.h"

using namespace locket;

namespace {

std::string Text(const std::vector<uint8_t>& p) {
    return std::string(p.begin(), p.end());
}

// Comma fields, empty ones kept.
std::vector<std::string> Fields(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t comma = s.find(',', start);
        out.push_back(s.substr(start, comma - start));
        if (comma == std::string::npos)
            return out;
        start = comma + 1;
    }
}

// ddmm.mmmm back to degrees, as the viewer computes it.
double Degrees(const std::string& raw) {
    const double v = std::atof(raw.c_str()) * 0.01;
    return std::trunc(v) + (v - std::trunc(v)) * 100 / 60;
}

}  // namespace

TEST(SensorPackets, GpsPacketIsAnRmcSentenceInUtcWithChecksum) {
    DriveState s;
    s.latitudeDeg = CDriveModel::kStartLatitude;
    s.longitudeDeg = CDriveModel::kStartLongitude;
    s.speedKmh = 41.4848;  // 22.4 knots
    s.headingDeg = 84.4;
    const std::string p = Text(MakeGpsPacket(RecordingTime{2024, 3, 1, 23, 59, 58}, s, true));
    ASSERT_GT(p.size(), 7u);
    EXPECT_EQ('G', p[0]);
    EXPECT_EQ('$', p[1]);
    EXPECT_EQ("GPRMC", p.substr(2, 5));
    EXPECT_EQ(std::string::npos, p.find('\0'));

    const size_t star = p.find('*');
    ASSERT_NE(std::string::npos, star);
    uint8_t sum = 0;
    for (size_t i = 2; i < star; ++i)
        sum ^= static_cast<uint8_t>(p[i]);
    EXPECT_EQ(sum, std::strtoul(p.substr(star + 1).c_str(), nullptr, 16));

    const std::vector<std::string> f = Fields(p.substr(0, star));
    ASSERT_GE(f.size(), 10u);
    EXPECT_EQ("235958.00", f[1]);
    EXPECT_EQ("A", f[2]);
    EXPECT_NEAR(CDriveModel::kStartLatitude, Degrees(f[3]), 1e-6);
    EXPECT_EQ("N", f[4]);
    EXPECT_NEAR(CDriveModel::kStartLongitude, Degrees(f[5]), 1e-6);
    EXPECT_EQ("E", f[6]);
    EXPECT_EQ("22.4", f[7]);
    EXPECT_EQ("84.4", f[8]);
    EXPECT_EQ("010324", f[9]);

    // Southern and western fixes, a void fix, and minutes that round up to a whole degree.
    s.latitudeDeg = -33.8688;
    s.longitudeDeg = -151.2093;
    const std::vector<std::string> g =
        Fields(Text(MakeGpsPacket(RecordingTime{2024, 3, 1, 0, 0, 0}, s, false)));
    EXPECT_EQ("V", g[2]);
    EXPECT_EQ("S", g[4]);
    EXPECT_EQ("W", g[6]);
    EXPECT_NEAR(33.8688, Degrees(g[3]), 1e-6);
    char text[24], hemisphere;
    FormatNmeaCoordinate(36.99999999, true, text, sizeof text, &hemisphere);
    EXPECT_STREQ("3700.0000", text);
}

TEST(SensorPackets, GSensorBytesAreOffsetFrom128AndClamped) {
    EXPECT_EQ((std::vector<uint8_t>{'M', 128, 108, 148}), MakeGSensorPacket(GSample{0, 20, -20}));
    // Never a zero byte: 128 would need one, so it stops at 127.
    EXPECT_EQ((std::vector<uint8_t>{'M', 1, 255, 1}), MakeGSensorPacket(GSample{500, -500, 128}));
}

TEST(SensorPackets, SignalsRecordCarriesTheSevenKeysInOrder) {
    DriveState s;
    s.rpm = 2100;
    s.coolantC = 88;
    s.speedKmh = 41.6;
    s.accelerator = false;
    s.brake = true;
    s.turnSignal = kTurnLeft;
    s.gear = kGearD;
    EXPECT_EQ("Brpm=2100;wat=88;spd=42;Accel=0;Break=1;TurnSig=-1;GearPos=4",
              Text(MakeSignalsPacket(s)));
}

TEST(DriveModel, StartsAtCityHallAndKeepsSignalsConsistentWithTheMotion) {
    const CDriveModel drive(7, 600);
    const DriveState first = drive.At(0);
    EXPECT_DOUBLE_EQ(CDriveModel::kStartLatitude, first.latitudeDeg);
    EXPECT_DOUBLE_EQ(CDriveModel::kStartLongitude, first.longitudeDeg);
    int braking = 0, turning = 0, stopped = 0;
    double maxSpeed = 0;
    for (double t = 0; t < 600; t += 0.1) {
        const DriveState s = drive.At(t);
        ASSERT_GE(s.speedKmh, 0);
        ASSERT_LT(s.speedKmh, 90);
        EXPECT_EQ(kGearD, s.gear);
        EXPECT_GT(s.rpm, 0);
        if (s.accelMs2 < -1) {
            EXPECT_TRUE(s.brake) << t;
            EXPECT_FALSE(s.accelerator) << t;
            ++braking;
        }
        if (s.yawRateDegS != 0) {
            EXPECT_EQ(s.yawRateDegS > 0 ? kTurnRight : kTurnLeft, s.turnSignal) << t;
            ++turning;
        }
        if (s.speedKmh < 0.01) {
            EXPECT_FALSE(s.accelerator && s.accelMs2 <= 0) << t;
            ++stopped;
        }
        maxSpeed = std::max(maxSpeed, s.speedKmh);
    }
    // Ten minutes of town driving: it stops, brakes and turns, and gets somewhere.
    EXPECT_GT(braking, 0);
    EXPECT_GT(turning, 0);
    EXPECT_GT(stopped, 0);
    EXPECT_GT(maxSpeed, 30);
    const DriveState end = drive.At(600);
    EXPECT_GT(
        std::hypot(end.latitudeDeg - first.latitudeDeg, end.longitudeDeg - first.longitudeDeg),
        0.002);
    // The same seed drives the same way; another seed another way.
    EXPECT_DOUBLE_EQ(end.latitudeDeg, CDriveModel(7, 600).At(600).latitudeDeg);
    EXPECT_NE(end.latitudeDeg, CDriveModel(8, 600).At(600).latitudeDeg);
}

TEST(DriveModel, ParkedCarIsInPWithTheEngineOffWhereTheDriveEnded) {
    const CDriveModel drive(3, 60);
    const DriveState last = drive.At(drive.Seconds());
    const DriveState parked = drive.Parked(900);
    EXPECT_TRUE(parked.parked);
    EXPECT_EQ(kGearP, parked.gear);
    EXPECT_EQ(0, parked.rpm);
    EXPECT_EQ(0, parked.speedKmh);
    EXPECT_FALSE(parked.brake || parked.accelerator);
    EXPECT_EQ(kTurnOff, parked.turnSignal);
    EXPECT_DOUBLE_EQ(last.latitudeDeg, parked.latitudeDeg);
    EXPECT_LT(parked.coolantC, last.coolantC);
    const GSample g = GSampleFor(parked, 1.0);
    EXPECT_EQ(0, g.x);
    EXPECT_EQ(0, g.y);
    EXPECT_EQ(0, g.z);
}

TEST(AudioTrack, TicksAtEveryWholeSecondOverQuietEngineNoise) {
    CAudioTrack audio(1);
    std::vector<int16_t> samples;
    for (int64_t first = 0; first < 2 * CAudioTrack::kSampleRate;
         first += CAudioTrack::kPacketSamples) {
        const std::vector<uint8_t> bytes = audio.Render(first, CAudioTrack::kPacketSamples, 1800);
        ASSERT_EQ(3200u, bytes.size());
        for (size_t i = 0; i < bytes.size(); i += 2)
            samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    auto peak = [&](int from, int to) {
        int p = 0;
        for (int i = from; i < to; ++i)
            p = std::max(p, std::abs(static_cast<int>(samples[static_cast<size_t>(i)])));
        return p;
    };
    for (int second : {0, 1}) {
        const int at = second * CAudioTrack::kSampleRate;
        EXPECT_GT(peak(at, at + CAudioTrack::kTickSamples), 10000) << second;
        // Between the ticks only the engine: well below the tick.
        EXPECT_LT(peak(at + 200, at + CAudioTrack::kSampleRate - 10), 3000) << second;
        EXPECT_GT(peak(at + 200, at + CAudioTrack::kSampleRate - 10), 100) << second;
    }
    // The tick is a 1 kHz tone: at 8 kHz it repeats every 8 samples.
    const int at = CAudioTrack::kSampleRate + 30;
    EXPECT_NEAR(samples[static_cast<size_t>(at)], samples[static_cast<size_t>(at + 8)], 1500);
    EXPECT_GT(std::abs(samples[static_cast<size_t>(at)] - samples[static_cast<size_t>(at + 4)]),
              8000);
}

TEST(RecordingClock, AddsSecondsAcrossDaysMonthsAndYears) {
    const RecordingTime t = AddSeconds(RecordingTime{2024, 12, 31, 23, 59, 50}, 15);
    EXPECT_EQ(2025, t.year);
    EXPECT_EQ(1, t.month);
    EXPECT_EQ(1, t.day);
    EXPECT_EQ(0, t.hour);
    EXPECT_EQ(0, t.minute);
    EXPECT_EQ(5, t.second);
    // Local time of the recorder to UTC: nine hours back, past midnight and a leap day.
    const RecordingTime utc = AddSeconds(RecordingTime{2024, 3, 1, 8, 30, 0}, -9 * 3600);
    EXPECT_EQ(2, utc.month);
    EXPECT_EQ(29, utc.day);
    EXPECT_EQ(23, utc.hour);
    EXPECT_EQ(30, utc.minute);
}

TEST(SensorPackets, TheViewersDecodersReadBackWhatTheRecorderWrote) {
    const CDriveModel drive(11, 120);
    for (double t = 0; t < 120; t += 7.3) {
        const DriveState s = drive.At(t);
        SCOPED_TRACE(t);
        const RecordingTime utc =
            AddSeconds(RecordingTime{2024, 3, 1, 23, 30, 0}, static_cast<int64_t>(t));
        const std::vector<uint8_t> g = MakeGpsPacket(utc, s, true);
        const CGPSData fix(std::string_view(reinterpret_cast<const char*>(g.data()), g.size()));
        EXPECT_EQ(1, fix.valid);
        EXPECT_NEAR(s.latitudeDeg, fix.GetLatitudeDeg(), 1e-6);
        EXPECT_NEAR(s.longitudeDeg, fix.GetLongitudeDeg(), 1e-6);
        EXPECT_NEAR(s.speedKmh, fix.GetSpeedKmh(), 0.1);
        EXPECT_EQ(utc.hour + 9, fix.hour);
        EXPECT_EQ(utc.second, fix.second);
        EXPECT_EQ(utc.day, fix.day);
        EXPECT_EQ(24, fix.year);

        const std::vector<uint8_t> b = MakeSignalsPacket(s);
        const SignalValues v = ParseVehicleSignals(
            std::string_view(reinterpret_cast<const char*>(b.data()) + 1, b.size() - 1));
        EXPECT_EQ(s.rpm, v[kSignalRpm]);
        EXPECT_EQ(s.coolantC, v[kSignalWat]);
        EXPECT_EQ(static_cast<int>(std::lround(s.speedKmh)), v[kSignalSpd]);
        EXPECT_EQ(s.accelerator ? 1 : 0, v[kSignalAccel]);
        EXPECT_EQ(s.brake ? 1 : 0, v[kSignalBreak]);
        EXPECT_EQ(s.turnSignal, v[kSignalTurnSig]);
        EXPECT_EQ(s.gear, v[kSignalGearPos]);

        const GSample sample = GSampleFor(s, 0.5);
        const std::vector<uint8_t> m = MakeGSensorPacket(sample);
        const CGSensorData decoded(m[1], m[2], m[3]);
        EXPECT_EQ(sample.x, decoded.x);
        EXPECT_EQ(sample.y, decoded.y);
        EXPECT_EQ(sample.z, decoded.z);
    }
}
