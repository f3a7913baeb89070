// A plausible drive through Seoul, sampled ten times a second: speed, heading, position and the
// vehicle signals that go with them (braking when slowing, turn signals at turns, P when parked).
#pragma once

#include <cstdint>
#include <vector>

namespace locket {

// Gear positions as the vehicle-signal record carries them.
enum GearPos : int { kGearP = 1, kGearR = 2, kGearN = 3, kGearD = 4, kGearM = 5 };

// Turn signals as the vehicle-signal record carries them.
enum TurnSignal : int { kTurnOff = 0, kTurnLeft = -1, kTurnRight = 1, kTurnHazard = 2 };

struct DriveState {
    double speedKmh = 0;
    double accelMs2 = 0;     // along the road
    double yawRateDegS = 0;  // positive: turning right
    double headingDeg = 0;   // course over ground, 0 north, clockwise
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double distanceM = 0;  // odometer since the drive began
    int rpm = 0;
    int coolantC = 0;
    bool accelerator = false;
    bool brake = false;
    int turnSignal = kTurnOff;
    int gear = kGearP;
    bool parked = false;
};

class CDriveModel {
public:
    static constexpr double kStartLatitude = 37.5660483;
    static constexpr double kStartLongitude = 126.9779299;
    static constexpr int kSamplesPerSecond = 10;

    // Simulates `seconds` of driving (plus a margin) from Seoul City Hall.
    CDriveModel(uint32_t seed, double seconds);

    // The state `seconds` after the drive began; beyond the simulated span the last one.
    DriveState At(double seconds) const;

    // The car parked where the drive ended, `seconds` after it was parked (engine off,
    // cooling down).
    DriveState Parked(double seconds) const;

    double Seconds() const { return static_cast<double>(m_samples.size() - 1) / kSamplesPerSecond; }

private:
    void Simulate(uint32_t seed, int samples);

    std::vector<DriveState> m_samples;
};

}  // namespace locket
