#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "tools/locket-record/audio_track.h"
#include "tools/locket-record/drive_model.h"
#include "tools/locket-record/sensor_packets.h"

using namespace locket;

// GPS as an RMC sentence with what the viewer's decoders do not look at too (checksum, fix
// flag, hemispheres, heading), G-sensor bytes and the signals record as the recorder lays them.
TEST(SensorPackets, GpsGSensorAndSignalsHaveTheRecordersLayout) {
    auto asText = [](const std::vector<uint8_t>& p) { return std::string(p.begin(), p.end()); };
    DriveState s;
    s.latitudeDeg = -33.8688;
    s.longitudeDeg = -151.2093;
    s.speedKmh = 41.4848;  // 22.4 knots
    s.headingDeg = 84.4;
    for (bool valid : {true, false}) {
        SCOPED_TRACE(valid);
        const std::string p =
            asText(MakeGpsPacket(RecordingTime{2024, 3, 1, 23, 59, 58}, s, valid));
        const size_t star = p.find('*');
        ASSERT_NE(std::string::npos, star);
        uint8_t sum = 0;
        for (size_t i = 2; i < star; ++i)
            sum ^= static_cast<uint8_t>(p[i]);
        EXPECT_EQ(sum, std::strtoul(p.c_str() + star + 1, nullptr, 16));
        EXPECT_EQ(star + 3, p.size()) << "two hex digits and nothing behind them";
        EXPECT_EQ(std::string("G$GPRMC,235958.00,") + (valid ? "A" : "V") +
                      ",3352.1280,S,15112.5580,W,22.4,84.4,010324,,," + (valid ? "A" : "N"),
                  p.substr(0, star));
    }
    char text[24], hemisphere;
    FormatNmeaCoordinate(36.99999999, true, text, sizeof text, &hemisphere);
    EXPECT_STREQ("3700.0000", text) << "minutes that round up make a whole degree";
    EXPECT_EQ('N', hemisphere);

    EXPECT_EQ((std::vector<uint8_t>{'M', 128, 108, 148}), MakeGSensorPacket(GSample{0, 20, -20}));
    // Never a zero byte: 128 would need one, so it stops at 127.
    EXPECT_EQ((std::vector<uint8_t>{'M', 1, 255, 1}), MakeGSensorPacket(GSample{500, -500, 128}));
    s.rpm = 2100;
    s.coolantC = 88;
    s.speedKmh = 41.6;
    s.brake = true;
    s.turnSignal = kTurnLeft;
    s.gear = kGearD;
    EXPECT_EQ("Brpm=2100;wat=88;spd=42;Accel=0;Break=1;TurnSig=-1;GearPos=4",
              asText(MakeSignalsPacket(s)));
}

TEST(DriveModel, SignalsFollowTheMotionAndTheParkedCarStandsWhereTheDriveEnded) {
    const CDriveModel drive(7, 600);
    EXPECT_DOUBLE_EQ(CDriveModel::kStartLatitude, drive.At(0).latitudeDeg);
    int braking = 0, turning = 0, stopped = 0;
    for (double t = 0; t < 600; t += 0.1) {
        const DriveState s = drive.At(t);
        ASSERT_TRUE(s.speedKmh >= 0 && s.speedKmh < 90 && s.rpm > 0 && s.gear == kGearD) << t;
        if (s.accelMs2 < -1) {
            EXPECT_TRUE(s.brake && !s.accelerator) << t;
            ++braking;
        }
        if (s.yawRateDegS != 0) {
            EXPECT_EQ(s.yawRateDegS > 0 ? kTurnRight : kTurnLeft, s.turnSignal) << t;
            ++turning;
        }
        stopped += s.speedKmh < 0.01;
    }
    // Ten minutes of town driving: it stops, brakes and turns, and gets somewhere.
    EXPECT_TRUE(braking && turning && stopped) << braking << " " << turning << " " << stopped;
    const DriveState end = drive.At(600);
    EXPECT_GT(std::hypot(end.latitudeDeg - CDriveModel::kStartLatitude,
                         end.longitudeDeg - CDriveModel::kStartLongitude),
              0.002);
    EXPECT_DOUBLE_EQ(end.latitudeDeg, CDriveModel(7, 600).At(600).latitudeDeg) << "same seed";
    EXPECT_NE(end.latitudeDeg, CDriveModel(8, 600).At(600).latitudeDeg) << "another seed";

    const DriveState parked = drive.Parked(900);
    EXPECT_TRUE(parked.parked && parked.gear == kGearP && parked.rpm == 0 && parked.speedKmh == 0 &&
                !parked.brake && !parked.accelerator && parked.turnSignal == kTurnOff);
    EXPECT_DOUBLE_EQ(end.latitudeDeg, parked.latitudeDeg);
    EXPECT_LT(parked.coolantC, end.coolantC);
    const GSample g = GSampleFor(parked, 1.0);
    EXPECT_EQ(std::make_tuple(0, 0, 0), std::make_tuple(g.x, g.y, g.z));
}

TEST(AudioTrack, TicksAtEveryWholeSecondOverQuietEngineNoise) {
    CAudioTrack audio(1);
    std::vector<int> samples;
    for (int64_t first = 0; first < 2 * CAudioTrack::kSampleRate; first += 1600) {
        const std::vector<uint8_t> bytes = audio.Render(first, 1600, 1800);
        for (size_t i = 0; i < bytes.size(); i += 2)
            samples.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    auto peak = [&](int from, int to) {
        return std::abs(*std::max_element(samples.begin() + from, samples.begin() + to,
                                          [](int a, int b) { return std::abs(a) < std::abs(b); }));
    };
    for (int at : {0, CAudioTrack::kSampleRate}) {
        EXPECT_GT(peak(at, at + 80), 10000) << at;  // the 10 ms tick
        // Between the ticks only the engine: well below the tick.
        const int engine = peak(at + 200, at + CAudioTrack::kSampleRate - 10);
        EXPECT_LT(engine, 3000) << at;
        EXPECT_GT(engine, 100) << at;
    }
    // The tick is a 1 kHz tone: at 8 kHz it repeats every 8 samples.
    const size_t at = CAudioTrack::kSampleRate + 30;
    EXPECT_NEAR(samples[at], samples[at + 8], 1500);
    EXPECT_GT(std::abs(samples[at] - samples[at + 4]), 8000);
}
