// Evaluation of a linearity run: the deviation of every divider resistor, every
// segment and every 10 % point from the ideal, in ppm, with or without trim
// (shunt) resistors across chosen steps.
//
// Precision: readings, ratios, products, quotients and sums are single-precision
// floats, each operation rounded to float on its own; only the final scaling by
// 1 000 000 (and what follows it in the same expression) is done in double.
// DevR, DevRS and LinErr are stored as float; ErrSq adds LinErr(j)^2 in double.
// evaluation.cpp is compiled without floating-point contraction (no fused
// multiply-add) and never with fast-math, so the figures are bit-identical on
// every compiler and flag set, and a trim search that performs the same float
// operations in the same order reproduces CalcResults(true) bit for bit.
#pragma once

#include <array>
#include <cstdint>

#include "step_sequence.h"

namespace q270 {

// Trim-resistor choices: 0 none ("offen", an open circuit), 1 = 2.0 MOhm,
// 2 = 1.0 MOhm, 3 = 750 kOhm, 4 = 499 kOhm, 5 = 301 kOhm.
inline constexpr int kTrimChoices = 6;
inline constexpr std::array<double, kTrimChoices> kTrimResistance = {1E+38,    2000000.0, 1000000.0,
                                                                     750000.0, 499000.0,  301000.0};
// Every divider resistor is taken as this value.
inline constexpr double kDividerResistance = 120.0;

// The window state of the evaluation. Per-step values are indexed by step
// number (PerStep); the others as the window indexes them.
struct ResultsData {
    PerStep<float> Mw1{};     // first reading per step, V; after a trim, the modified values
    PerStep<float> Mw2{};     // second reading per step, V
    PerStep<float> MwDiff{};  // Mw1 - Mw2 at measurement time
    PerStep<std::int16_t> ShuntSel{};   // trim-resistor choice per step (0..5)
    PerStep<float> StepRatio{};         // factor of the step's chosen trim resistor
    std::array<float, 7> ShuntRatio{};  // (R || 120) / 120 per choice (0..5 used)
    std::array<float, 7> ShuntRoot{};   // ShuntRatio to the power 1/20
    std::array<float, 21> ModMw{};      // the values the evaluation works on (1..20)
    PerStep<float> DevR{};              // per-resistor deviation, ppm (1..20)
    std::array<float, 11> DevRS{};      // per-segment deviation, ppm (1..10)
    PerPoint<float> LinErr{};           // error at the 10 % points, ppm (0 always 0)
    PerPoint<float> LinErrRef{};        // LinErr of the last untrimmed evaluation
    float SumDown = 0;                  // sum of ModMw over steps 1..10
    float SumUp = 0;                    // sum of ModMw over steps 11..20
    double DevDown = 0;                 // deviation of each half from half the total, ppm
    double DevUp = 0;
    double ErrSq = 0;  // sum of LinErr(1..10)^2: the figure a trim search minimises

    // The trim table is filled from the start, so a trimmed evaluation is never
    // made with an empty one.
    ResultsData();
};

// Fills ShuntRatio and ShuntRoot for the six choices.
void MakeTrimTable(ResultsData& data);

// The evaluation: untrimmed (ModMw = Mw2) right after a run, trimmed after a
// trim choice (Mw1 and ModMw become the readings scaled by each step's trim
// factor and by the geometric mean of all twenty). A ShuntSel value outside
// 0..5 counts as no trim resistor.
void CalcResults(ResultsData& data, bool trimmed);

}  // namespace q270
