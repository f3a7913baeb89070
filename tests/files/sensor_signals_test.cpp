#include <gtest/gtest.h>

#include <string>

#include "files/gsensor_data.h"
#include "files/vehicle_signals.h"

using namespace locket;

TEST(VehicleSignals, SpacesIgnoredKnownKeysSetOthersAbsent) {
    SignalValues v = ParseVehicleSignals(" rpm = 900 ; GearPos=3;Foo=1");
    EXPECT_EQ(900, v[kSignalRpm]);
    EXPECT_EQ(3, v[kSignalGearPos]);
    for (int i : {kSignalWat, kSignalSpd, kSignalAccel, kSignalBreak, kSignalTurnSig})
        EXPECT_EQ(kSignalAbsent, v[i]) << kSignalNames[i];

    SignalValues all =
        ParseVehicleSignals("rpm=1;wat=2;spd=3;Accel=4;Break=5;TurnSig=-1;GearPos=7");
    EXPECT_EQ((SignalValues{1, 2, 3, 4, 5, -1, 7}), all);
}

TEST(VehicleSignals, FieldWithoutEqualsEndsDecoding) {
    SignalValues v = ParseVehicleSignals("rpm=900;Accel;spd=40");
    EXPECT_EQ(900, v[kSignalRpm]);
    EXPECT_EQ(kSignalAbsent, v[kSignalAccel]);
    EXPECT_EQ(kSignalAbsent, v[kSignalSpd]) << "fields after the stop are not read";

    // An empty field between semicolons stops too.
    EXPECT_EQ(kSignalAbsent, ParseVehicleSignals("rpm=1;;wat=2")[kSignalWat]);
    EXPECT_EQ(NoSignals(), ParseVehicleSignals(""));
    EXPECT_EQ(NoSignals(), ParseVehicleSignals(";rpm=1"));
}

TEST(VehicleSignals, KeysAreCaseSensitiveAndValuesFollowAtoi) {
    SignalValues v = ParseVehicleSignals("RPM=900;break=1;wat=-12.7;spd=abc;Accel=;TurnSig=1=2;=5");
    EXPECT_EQ(kSignalAbsent, v[kSignalRpm]);
    EXPECT_EQ(kSignalAbsent, v[kSignalBreak]);
    EXPECT_EQ(-12, v[kSignalWat]);
    EXPECT_EQ(0, v[kSignalSpd]);
    EXPECT_EQ(0, v[kSignalAccel]);
    EXPECT_EQ(1, v[kSignalTurnSig]);
    EXPECT_EQ(2147483647, ParseVehicleSignals("rpm=123456789012")[kSignalRpm]);
    // A later field of the same key wins.
    EXPECT_EQ(2, ParseVehicleSignals("spd=1;spd=2")[kSignalSpd]);
}

TEST(GSensorData, RawBytesAreStoredAs128Minus) {
    CGSensorData s(0x80, 0x00, 0xFF);
    EXPECT_EQ(0, s.x);
    EXPECT_EQ(128, s.y);
    EXPECT_EQ(-127, s.z);
    EXPECT_EQ(CGSensorData(1, 2, 3), CGSensorData(1, 2, 3));
    EXPECT_EQ(125, CGSensorData(1, 2, 3).z);
}
