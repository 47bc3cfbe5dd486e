// The Type A uncertainty of the evaluation, from the readings themselves
// (docs/uncertainty.md has the derivation). The two readings of each step
// estimate the meter's reading noise; the noise is carried through the
// evaluation's formulas to each 10 % point error, to the improvement a trim
// choice predicts, and to the comparison of a prediction with the run that
// measured the trimmed unit.
#pragma once

#include <array>

#include "evaluation.h"

namespace q270 {

// Coverage factor: a difference within twice its standard uncertainty is
// taken as noise.
inline constexpr double kCoverage = 2.0;

// The standard deviation of one reading, volts, estimated from the twenty
// differences MwDiff(1..20) of the two readings of each step:
// sqrt(sum MwDiff^2 / 40).
double ReadingNoise(const ResultsData& data);

// u(LinErr(j)) in ppm per point (0 and 10 are 0), for the readings Mw2 of
// `data` with its trim choices (trimmed) or without (untrimmed), given the
// noise of one reading.
PerPoint<double> LinErrUncertainty(const ResultsData& data, bool trimmed, double noise);

// What a trim choice predicts: the improvement of ErrSq over the untrimmed
// run and its uncertainty, "within noise" when it is smaller than kCoverage
// times that uncertainty.
struct TrimPrediction {
    double improvement = 0;  // ErrSq untrimmed - ErrSq trimmed, ppm^2
    double u = 0;            // its standard uncertainty, ppm^2
    bool withinNoise = false;
};
TrimPrediction PredictTrim(const ResultsData& data, double noise);

}  // namespace q270
