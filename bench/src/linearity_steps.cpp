#include "linearity_steps.h"

namespace zdx::bench {

namespace {

// The run's step state: A alternates, (B, C) walk down in tens of per cent to
// (0, 1), D turns to 1 there, and they walk back up.
std::array<std::array<int, 4>, kLinearitySteps> makeSteps() {
    std::array<std::array<int, 4>, kLinearitySteps> steps{};
    int a = 1, b = 10, c = 9, d = 0;
    for (auto& s : steps) {
        s = {a, b, c, d};
        a = a == 0 ? 1 : 0;
        if (d == 0) {
            if (b > c) {
                b -= 2;
            } else if (c == 1) {
                d = 1;
                a = 0;
            } else {
                c -= 2;
            }
        } else if (b <= c) {
            b += 2;
        } else {
            c += 2;
        }
    }
    return steps;
}

const std::array<std::array<int, 4>, kLinearitySteps> kSteps = makeSteps();

}  // namespace

int linearityStep(const std::array<int, 4>& abcd) {
    for (int i = 0; i < kLinearitySteps; ++i)
        if (kSteps[i] == abcd) return i + 1;
    return 0;
}

std::array<int, 4> linearityStepNumbers(int step) {
    return (step >= 1 && step <= kLinearitySteps) ? kSteps[step - 1] : std::array<int, 4>{};
}

}  // namespace zdx::bench
