#include "evaluation.h"

#include <cfloat>
#include <cmath>

namespace q270 {

// Every float operation below is written as one assignment to a float, so it
// is rounded to single precision on its own. That holds only where float
// arithmetic has no excess precision (x86-64 SSE, ARM64 and the like; x87
// code would keep intermediates in 80 bits); such a target is refused here
// rather than giving other figures.
#ifdef FLT_EVAL_METHOD
static_assert(FLT_EVAL_METHOD == 0,
              "the evaluation needs float arithmetic without excess precision");
#endif

namespace {

constexpr int kSegments = 10;
constexpr double kPpm = 1000000.0;

int choiceIndex(std::int16_t choice) {
    return choice >= 0 && choice < kTrimChoices ? choice : 0;
}

}  // namespace

ResultsData::ResultsData() {
    MakeTrimTable(*this);
}

void MakeTrimTable(ResultsData& data) {
    for (int k = 0; k < kTrimChoices; ++k) {
        // In double: for the open circuit (1E+38) R x 120 is beyond float's range.
        const double r = kTrimResistance[k];
        const double parallel = r * kDividerResistance / (r + kDividerResistance);
        data.ShuntRatio[k] = static_cast<float>(parallel / kDividerResistance);
        data.ShuntRoot[k] =
            static_cast<float>(std::pow(static_cast<double>(data.ShuntRatio[k]), 1.0 / kStepCount));
    }
}

void CalcResults(ResultsData& data, bool trimmed) {
    auto& mod = data.ModMw;
    if (!trimmed) {
        for (int i = 1; i <= kStepCount; ++i) mod[i] = data.Mw2[i];
    } else {
        // The divider's total stays as measured, so the readings are scaled by
        // each step's factor and back by the geometric mean of all twenty.
        float f = 1.0f;
        for (int i = 1; i <= kStepCount; ++i) {
            const int k = choiceIndex(data.ShuntSel[i]);
            data.StepRatio[i] = data.ShuntRatio[k];
            f = f / data.ShuntRoot[k];
        }
        for (int i = 1; i <= kStepCount; ++i) {
            mod[i] = data.Mw2[i] / f;
            data.Mw1[i] = data.StepRatio[i] * mod[i];
        }
        for (int i = 1; i <= kStepCount; ++i) mod[i] = data.Mw1[i];
    }

    float sumDown = 0.0f;
    for (int i = 1; i <= kSegments; ++i) sumDown = sumDown + mod[i];
    float sumUp = 0.0f;
    for (int i = kSegments + 1; i <= kStepCount; ++i) sumUp = sumUp + mod[i];
    const float total = sumDown + sumUp;
    const float half = total / 2.0f;
    data.SumDown = sumDown;
    data.SumUp = sumUp;

    // Differences and the halves in float; the scaling and what follows it in double.
    const float downOff = sumDown - half;
    const float upOff = sumUp - half;
    data.DevDown = kPpm * downOff / half;
    data.DevUp = kPpm * upOff / half;

    for (int i = 1; i <= kStepCount; ++i) {
        const float share = mod[i] / total;
        const float scaled = share * 20.0f;
        const float dev = scaled - 1.0f;
        data.DevR[i] = static_cast<float>(kPpm * dev);
    }

    for (int i = 1; i <= kSegments; ++i) {
        const float pair = mod[kStepCount + 1 - i] + mod[i];
        const float share = pair / total;
        const float scaled = share * 10.0f;
        const float dev = scaled - 1.0f;
        data.DevRS[i] = static_cast<float>(kPpm * dev);
    }

    // The lowest j segments of both sweeps against the ideal j x 10 %. The
    // 10 % point is j x 0.1 rounded once to float, i.e. the float nearest to
    // j / 10: a ratio like L / T, so that a divider whose shares are exact
    // floats (equal readings) gives exactly 0. (The float product j x 0.1f
    // would be one unit off at j = 9.)
    data.ErrSq = 0.0;
    float level = 0.0f;
    for (int j = 1; j <= kSegments; ++j) {
        const float pair = mod[kSegments + 1 - j] + mod[kSegments + j];
        level = level + pair;
        const float point = static_cast<float>(j * 0.1);
        const float share = level / total;
        const float err = point - share;
        data.LinErr[j] = static_cast<float>(kPpm * err);
        const double stored = data.LinErr[j];
        data.ErrSq = data.ErrSq + stored * stored;
    }
    data.LinErr[0] = 0.0f;

    if (!trimmed) data.LinErrRef = data.LinErr;
}

}  // namespace q270
