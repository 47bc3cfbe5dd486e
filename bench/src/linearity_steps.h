// The twenty linearity step lines "K1Y A,B,C,D": which step a line is, and
// which divider resistor each step puts on the output.
#pragma once

#include <array>

namespace zdx::bench {

inline constexpr int kLinearitySteps = 20;

// The step (1..20) whose line carries these four numbers; 0 when none does.
int linearityStep(const std::array<int, 4>& abcd);

// The four numbers of step 1..20.
std::array<int, 4> linearityStepNumbers(int step);

// Step i puts R(117 - i) on the output: step 1 R116, step 20 R97.
inline int stepResistor(int step) {
    return 117 - step;
}

}  // namespace zdx::bench
