#include <gtest/gtest.h>

#include <string>

#include "files/gsensor_data.h"
#include "files/vehicle_signals.h"

using namespace locket;

TEST(VehicleSignals, KnownKeysAreReadUntilAFieldLacksItsEqualsAndValuesFollowAtoi) {
    constexpr int32_t A = kSignalAbsent;
    const struct {
        const char* text;
        SignalValues expected;  // rpm, wat, spd, Accel, Break, TurnSig, GearPos
    } cases[] = {
        {" rpm = 900 ; GearPos=3;Foo=1", {900, A, A, A, A, A, 3}},
        {"rpm=1;wat=2;spd=3;Accel=4;Break=5;TurnSig=-1;GearPos=7", {1, 2, 3, 4, 5, -1, 7}},
        // A field without '=', or an empty one, ends the decoding.
        {"rpm=900;Accel;spd=40", {900, A, A, A, A, A, A}},
        {"rpm=1;;wat=2", {1, A, A, A, A, A, A}},
        {";rpm=1", {A, A, A, A, A, A, A}},
        {"", {A, A, A, A, A, A, A}},
        // Keys are case-sensitive; values follow atoi and saturate.
        {"RPM=900;break=1;wat=-12.7;spd=abc;Accel=;TurnSig=1=2;=5", {A, -12, 0, 0, A, 1, A}},
        {"rpm=123456789012", {2147483647, A, A, A, A, A, A}},
        {"spd=1;spd=2", {A, A, 2, A, A, A, A}},  // a later field of the same key wins
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseVehicleSignals(c.text), c.expected) << '"' << c.text << '"';
}

TEST(GSensorData, RawBytesAreStoredAs128Minus) {
    const CGSensorData s(0x80, 0x00, 0xFF);
    EXPECT_EQ(0, s.x);
    EXPECT_EQ(128, s.y);
    EXPECT_EQ(-127, s.z);
    EXPECT_EQ(125, CGSensorData(1, 2, 3).z);
}
