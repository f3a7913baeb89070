#include "tools/locket-record/drive_model.h"

#include <algorithm>
#include <cmath>

#include "tools/locket-record/seeded_random.h"

namespace locket {

namespace {

constexpr double kDt = 1.0 / CDriveModel::kSamplesPerSecond;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kTurnSpeedKmh = 18;
constexpr double kTurnRateDegS = 22.5;  // a right-angle turn in four seconds

enum class Phase { kWaitStart, kAccelerate, kCruise, kBrakeToStop, kStopped, kSlowForTurn, kTurn };

int EngineRpm(double speedKmh, double accel) {
    if (speedKmh < 1)
        return 750;
    const int gear = std::min(5, 1 + static_cast<int>(speedKmh / 22));
    const double inGear = speedKmh - 22.0 * (gear - 1);
    const double rpm = 900 + inGear * 70 + (accel > 0.3 ? 400 : 0);
    return static_cast<int>(std::min(rpm, 4500.0));
}

int CoolantAfter(double seconds) {
    return static_cast<int>(std::lround(62 + 26 * (1 - std::exp(-seconds / 150))));
}

}  // namespace

CDriveModel::CDriveModel(uint32_t seed, double seconds) {
    const int samples =
        static_cast<int>(std::max(0.0, seconds) * kSamplesPerSecond) + 30 * kSamplesPerSecond + 1;
    Simulate(seed, samples);
}

void CDriveModel::Simulate(uint32_t seed, int samples) {
    CSeededRandom rng(seed * 2654435761u + 17);
    m_samples.reserve(samples);
    DriveState s;
    s.latitudeDeg = kStartLatitude;
    s.longitudeDeg = kStartLongitude;
    s.headingDeg = 180;  // leaving City Hall towards Namdaemun
    s.gear = kGearD;
    Phase phase = Phase::kWaitStart;
    double phaseLeft = rng.Range(2, 4);
    double target = 0;
    double turned = 0;
    int turnDirection = 1;
    double v = 0;  // m/s
    for (int i = 0; i < samples; ++i) {
        const double t = i * kDt;
        double a = 0;
        double yaw = 0;
        // The signals belong to the phase that moved the car in this step, not the next one.
        const Phase acting = phase;
        switch (phase) {
            case Phase::kWaitStart:
            case Phase::kStopped:
                phaseLeft -= kDt;
                if (phaseLeft <= 0) {
                    phase = Phase::kAccelerate;
                    target = rng.Range(30, 70) / 3.6;
                }
                break;
            case Phase::kAccelerate:
                a = std::min(2.2, (target - v) * 1.5 + 0.6);
                if (v >= target - 0.2) {
                    phase = Phase::kCruise;
                    phaseLeft = rng.Range(6, 16);
                }
                break;
            case Phase::kCruise: {
                const double wobble = target + 0.8 * std::sin(t * 0.7);
                a = std::clamp((wobble - v) * 0.5, -0.5, 0.5);
                phaseLeft -= kDt;
                if (phaseLeft <= 0) {
                    if (rng.Chance(0.5)) {
                        phase = Phase::kSlowForTurn;
                        turnDirection = rng.Chance(0.5) ? 1 : -1;
                    } else {
                        phase = Phase::kBrakeToStop;
                    }
                }
                break;
            }
            case Phase::kBrakeToStop:
                a = -2.5;
                if (v + a * kDt <= 0) {
                    a = -v / kDt;
                    phase = Phase::kStopped;
                    phaseLeft = rng.Range(4, 9);
                }
                break;
            case Phase::kSlowForTurn:
                a = v > kTurnSpeedKmh / 3.6 ? -2.0 : 0;
                if (v <= kTurnSpeedKmh / 3.6 + 0.05) {
                    phase = Phase::kTurn;
                    turned = 0;
                }
                break;
            case Phase::kTurn:
                a = (kTurnSpeedKmh / 3.6 - v) * 0.5;
                yaw = kTurnRateDegS * turnDirection;
                turned += kTurnRateDegS * kDt;
                if (turned >= 90) {
                    phase = Phase::kAccelerate;
                    target = rng.Range(30, 70) / 3.6;
                }
                break;
        }
        v = std::max(0.0, v + a * kDt);
        s.speedKmh = v * 3.6;
        s.accelMs2 = a;
        s.yawRateDegS = yaw;
        s.headingDeg = std::fmod(s.headingDeg + yaw * kDt + 360, 360);
        const double h = s.headingDeg * kPi / 180;
        s.latitudeDeg += v * kDt * std::cos(h) / kMetresPerDegree;
        s.longitudeDeg +=
            v * kDt * std::sin(h) / (kMetresPerDegree * std::cos(s.latitudeDeg * kPi / 180));
        s.distanceM += v * kDt;
        const bool stopped = acting == Phase::kWaitStart || acting == Phase::kStopped;
        s.brake =
            stopped || acting == Phase::kBrakeToStop || (acting == Phase::kSlowForTurn && a < 0);
        s.accelerator = !s.brake && (acting == Phase::kAccelerate || acting == Phase::kCruise ||
                                     acting == Phase::kTurn);
        s.turnSignal = acting == Phase::kSlowForTurn || acting == Phase::kTurn
                           ? (turnDirection > 0 ? kTurnRight : kTurnLeft)
                           : kTurnOff;
        s.rpm = EngineRpm(s.speedKmh, a);
        s.coolantC = CoolantAfter(t);
        m_samples.push_back(s);
    }
}

DriveState CDriveModel::At(double seconds) const {
    const long i = std::lround(std::max(0.0, seconds) * kSamplesPerSecond);
    return m_samples[std::min<size_t>(static_cast<size_t>(i), m_samples.size() - 1)];
}

DriveState CDriveModel::Parked(double seconds) const {
    DriveState s = m_samples.back();
    s.speedKmh = 0;
    s.accelMs2 = 0;
    s.yawRateDegS = 0;
    s.rpm = 0;
    s.accelerator = false;
    s.brake = false;
    s.turnSignal = kTurnOff;
    s.gear = kGearP;
    s.parked = true;
    // The engine is off: the coolant falls back towards the air temperature.
    const double start = s.coolantC;
    s.coolantC = static_cast<int>(std::lround(15 + (start - 15) * std::exp(-seconds / 1200)));
    return s;
}

}  // namespace locket
