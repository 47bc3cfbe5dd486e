// The bench's only source of randomness: a seeded generator whose numbers are
// the same on every platform and standard library, so a scenario with a seed
// gives the same readings everywhere.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace zdx::bench {

class SeededRandom {
  public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}

    // Evenly in [0, 1), from the top 53 bits (the standard distributions are
    // not specified bit for bit, so they are not used).
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

    // Standard normal (Box-Muller; the second value of each pair is dropped,
    // which keeps the sequence a plain function of the draw count).
    double gaussian() {
        const double u1 = 1.0 - uniform();  // (0, 1]: the logarithm stays finite
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

  private:
    std::mt19937_64 engine_;
};

}  // namespace zdx::bench
