// The twenty divider settings of a linearity run: the step state (A, B, C, D)
// and the "K1Y" line that sets it on the calibrator.
#pragma once

#include <array>
#include <string>

namespace q270 {

// A: which resistor of the segment (alternates 1, 0, ...); B, C: the segment's
// ends in tens of per cent; D: 0 on the downward sweep, 1 on the upward one.
struct StepState {
    int A = 1, B = 10, C = 9, D = 0;
};

inline constexpr int kStepCount = 20;

// Per-step values indexed by step number 1..kStepCount (row i of the table is
// step i); index 0 and kStepCount + 1 are unused.
template <typename T>
using PerStep = std::array<T, kStepCount + 2>;

inline constexpr int kPointCount = 10;

// Per-point values indexed by point number 1..kPointCount (point j is the
// j * 10 % point); index 0, the 0 % point, is always 0.
template <typename T>
using PerPoint = std::array<T, kPointCount + 1>;

// Step 1 sets the divider across R116, step 20 across R97.
constexpr int ResistorOfStep(int step) {
    return 117 - step;
}

// "K1Y " followed by A, B, C, D separated by ",", each with the blank a
// non-negative number leads with: the first step reads "K1Y  1, 10, 9, 0".
std::string StepLine(const StepState& state);

// Moves the state on to the next step of the run.
void Advance(StepState& state);

// The lines of steps 1..20 (index 0 is step 1).
std::array<std::string, kStepCount> AllStepLines();

}  // namespace q270
