#include "uncertainty.h"

#include <cmath>

namespace q270 {

namespace {

constexpr int kSteps = 20;
constexpr int kPoints = 10;
constexpr double kPpm = 1e6;

// Step i (1..20) belongs to the lowest j segments (10 % point j).
bool inPoint(int i, int j) {
    return i >= 11 - j && i <= 10 + j;
}

// The readings and weights of an evaluation in double precision: LinErr(j) =
// 1E6 (j/10 - sum over the point's steps of w x / sum of all w x).
struct Linear {
    std::array<double, 21> x{};  // Mw2, steps 1..20
    std::array<double, 21> w{};  // trim factor of each step (1 untrimmed)
    double total = 0;
    std::array<double, 11> share{};  // L(j) / T
    std::array<double, 11> err{};

    Linear(const ResultsData& data, bool trimmed) {
        for (int i = 1; i <= kSteps; ++i) {
            x[i] = data.Mw2[i];
            const int k = data.ShuntSel[i];
            w[i] = trimmed && k >= 0 && k < kTrimChoices ? double(data.ShuntRatio[k]) : 1.0;
            total += w[i] * x[i];
        }
        for (int j = 1; j <= kPoints; ++j) {
            double level = 0;
            for (int i = 1; i <= kSteps; ++i)
                if (inPoint(i, j)) level += w[i] * x[i];
            share[j] = level / total;
            err[j] = kPpm * (j * 0.1 - share[j]);
        }
    }

    // dLinErr(j) / dx(i), ppm per volt.
    double slope(int j, int i) const {
        return -kPpm * w[i] * ((inPoint(i, j) ? 1.0 : 0.0) - share[j]) / total;
    }

    double u(int j, double noise) const {
        double sum = 0;
        for (int i = 1; i <= kSteps; ++i) sum += slope(j, i) * slope(j, i);
        return noise * std::sqrt(sum);
    }
};

}  // namespace

double ReadingNoise(const ResultsData& data) {
    double sum = 0;
    for (int i = 1; i <= kSteps; ++i) sum += double(data.MwDiff[i]) * double(data.MwDiff[i]);
    return std::sqrt(sum / (2.0 * kSteps));
}

std::array<double, 11> LinErrUncertainty(const ResultsData& data, bool trimmed, double noise) {
    const Linear linear(data, trimmed);
    std::array<double, 11> u{};
    for (int j = 1; j < kPoints; ++j) u[std::size_t(j)] = linear.u(j, noise);
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
    const Linear plain(data, false), trimmed(data, true);
    double sum = 0;
    for (int i = 1; i <= kSteps; ++i) {
        double g = 0;
        for (int j = 1; j <= kPoints; ++j)
            g += 2 * plain.err[j] * plain.slope(j, i) - 2 * trimmed.err[j] * trimmed.slope(j, i);
        sum += g * g;
    }
    p.u = noise * std::sqrt(sum);
    p.withinNoise = std::fabs(p.improvement) < kCoverage * p.u;
    return p;
}

FollowUp CompareFollowUp(const ResultsData& decided, const ResultsData& measured) {
    ResultsData before = decided, after = measured;
    CalcResults(before, false);
    CalcResults(before, true);
    CalcResults(after, false);
    const auto uBefore = LinErrUncertainty(decided, true, ReadingNoise(decided));
    const auto uAfter = LinErrUncertainty(measured, false, ReadingNoise(measured));
    FollowUp f;
    f.agrees = true;
    for (int j = 1; j <= kPoints; ++j) {
        FollowUpPoint& p = f.points[std::size_t(j)];
        p.predicted = before.LinErr[j];
        p.measured = after.LinErr[j];
        p.u = std::hypot(uBefore[std::size_t(j)], uAfter[std::size_t(j)]);
        // Float rounding of the two evaluations (about 0.1 ppm) is no disagreement.
        p.agrees = std::fabs(p.measured - p.predicted) <= kCoverage * p.u + 0.1;
        f.agrees = f.agrees && p.agrees;
    }
    return f;
}

}  // namespace q270
