#include "uncertainty.h"

#include <cmath>

#include "linear_model.h"

namespace q270 {

namespace {

constexpr double kPpm = 1e6;

// The readings Mw2 and, trimmed, each step's trim factor as the evaluation
// uses them.
LinearModel linear(const ResultsData& data, bool trimmed) {
    PerStep<double> x{}, w{};
    for (int i = 1; i <= kStepCount; ++i) {
        x[std::size_t(i)] = data.Mw2[std::size_t(i)];
        const int k = data.ShuntSel[std::size_t(i)];
        w[std::size_t(i)] =
            trimmed && k >= 0 && k < kTrimChoices ? double(data.ShuntRatio[std::size_t(k)]) : 1.0;
    }
    return LinearModel(x, w);
}

}  // namespace

double ReadingNoise(const ResultsData& data) {
    double sum = 0;
    for (int i = 1; i <= kStepCount; ++i) sum += double(data.MwDiff[i]) * double(data.MwDiff[i]);
    return std::sqrt(sum / (2.0 * kStepCount));
}

PerPoint<double> LinErrUncertainty(const ResultsData& data, bool trimmed, double noise) {
    const LinearModel model = linear(data, trimmed);
    PerPoint<double> u{};
    for (int j = 1; j < kPointCount; ++j) u[std::size_t(j)] = noise * model.readingSensitivity(j);
    return u;
}

TrimPrediction PredictTrim(const ResultsData& data, double noise) {
    ResultsData evaluated = data;
    CalcResults(evaluated, false);
    const double before = evaluated.ErrSq;
    CalcResults(evaluated, true);
    TrimPrediction p;
    p.improvement = before - evaluated.ErrSq;

    // ErrSq = sum E(j)^2, so d(improvement)/dx(i) = sum 2 E(j) dE(j)/dx(i)
    // over the untrimmed minus the same over the trimmed errors.
    const LinearModel plain = linear(data, false), trimmed = linear(data, true);
    double sum = 0;
    for (int i = 1; i <= kStepCount; ++i) {
        double g = 0;
        for (int j = 1; j <= kPointCount; ++j)
            g += 2 * plain.linErr(j) * plain.slopeByReading(j, i) -
                 2 * trimmed.linErr(j) * trimmed.slopeByReading(j, i);
        sum += g * g;
    }
    p.u = noise * std::sqrt(sum);
    p.withinNoise = std::fabs(p.improvement) < kCoverage * p.u;
    return p;
}

}  // namespace q270
