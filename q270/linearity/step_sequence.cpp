#include "step_sequence.h"

#include "pattern_format.h"

namespace q270 {

std::string StepLine(const StepState& state) {
    return "K1Y " + formatStr(state.A) + "," + formatStr(state.B) + "," + formatStr(state.C) + "," +
           formatStr(state.D);
}

void Advance(StepState& state) {
    state.A = state.A == 0 ? 1 : 0;
    if (state.D == 0) {
        // Downward: the two ends of the segment move down by turns to 0/10 %.
        if (state.B > state.C) {
            state.B -= 2;
        } else if (state.C == 1) {
            // The bottom segment is measured again as the first of the upward sweep.
            state.D = 1;
            state.A = 0;
        } else {
            state.C -= 2;
        }
    } else if (state.B <= state.C) {
        state.B += 2;
    } else {
        state.C += 2;
    }
}

std::array<std::string, kStepCount> AllStepLines() {
    std::array<std::string, kStepCount> lines;
    StepState state;
    for (auto& line : lines) {
        line = StepLine(state);
        Advance(state);
    }
    return lines;
}

}  // namespace q270
