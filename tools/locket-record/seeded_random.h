// A small random source that gives the same numbers on every platform for the same seed
// (the standard distributions do not promise that).
#pragma once

#include <cstdint>
#include <random>

namespace locket {

class CSeededRandom {
public:
    explicit CSeededRandom(uint32_t seed) : m_engine(seed) {}

    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(m_engine() >> 5) / static_cast<double>(1u << 27); }
    double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    // Uniform integer in [lo, hi].
    int Int(int lo, int hi) { return lo + static_cast<int>(Unit() * (hi - lo + 1)); }
    bool Chance(double p) { return Unit() < p; }

private:
    std::mt19937 m_engine;
};

}  // namespace locket
