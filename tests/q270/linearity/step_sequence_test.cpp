// The twenty "K1Y" lines of a linearity run.
#include <gtest/gtest.h>

#include "step_sequence.h"

namespace q270 {
namespace {

TEST(StepSequence, TwentyLinesDownThenUp) {
    const std::array<std::string, kStepCount> expected = {
        "K1Y  1, 10, 9, 0", "K1Y  0, 8, 9, 0", "K1Y  1, 8, 7, 0", "K1Y  0, 6, 7, 0",
        "K1Y  1, 6, 5, 0",  "K1Y  0, 4, 5, 0", "K1Y  1, 4, 3, 0", "K1Y  0, 2, 3, 0",
        "K1Y  1, 2, 1, 0",  "K1Y  0, 0, 1, 0", "K1Y  0, 0, 1, 1", "K1Y  1, 2, 1, 1",
        "K1Y  0, 2, 3, 1",  "K1Y  1, 4, 3, 1", "K1Y  0, 4, 5, 1", "K1Y  1, 6, 5, 1",
        "K1Y  0, 6, 7, 1",  "K1Y  1, 8, 7, 1", "K1Y  0, 8, 9, 1", "K1Y  1, 10, 9, 1"};
    EXPECT_EQ(AllStepLines(), expected);
}

TEST(StepSequence, NumbersCarryTheirSignPlace) {
    EXPECT_EQ(StepLine(StepState{}), "K1Y  1, 10, 9, 0");
    EXPECT_EQ(StepLine(StepState{0, -2, 11, 1}), "K1Y  0,-2, 11, 1");
}

}  // namespace
}  // namespace q270
