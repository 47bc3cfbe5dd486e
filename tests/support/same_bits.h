// Bit-for-bit equality, the promise the trim search makes against the plain
// evaluation: 0.0 and -0.0 differ, a NaN equals the very same NaN.
#pragma once

#include <array>
#include <cstring>

namespace zdx::testing {

inline bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool sameBits(const std::array<float, 11>& a, const std::array<float, 11>& b) {
    return std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

}  // namespace zdx::testing
