// The seven vehicle signals of a recorder's 'B' text packet ("rpm=900;spd=40;...").
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace locket {

enum VehicleSignal : int {
    kSignalRpm = 0,
    kSignalWat = 1,  // coolant temperature
    kSignalSpd = 2,
    kSignalAccel = 3,
    kSignalBreak = 4,
    kSignalTurnSig = 5,
    kSignalGearPos = 6,
    kSignalCount = 7,
};

// A signal that the last packet did not carry.
inline constexpr int32_t kSignalAbsent = -1000;

// The keys, in VehicleSignal order; matched case-sensitively.
inline constexpr std::array<std::string_view, kSignalCount> kSignalNames = {
    "rpm", "wat", "spd", "Accel", "Break", "TurnSig", "GearPos"};

using SignalValues = std::array<int32_t, kSignalCount>;

// Every value kSignalAbsent.
SignalValues NoSignals();

// Decodes the text after the 'B'. Spaces are ignored; fields are read in order until one lacks
// its '='; unknown keys are skipped; values follow atoi.
SignalValues ParseVehicleSignals(std::string_view text);

}  // namespace locket
