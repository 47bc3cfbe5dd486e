// The evaluation of a linearity run against figures computed in double from
// the same readings, and the trim resistors' effect on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

#include "evaluation.h"

namespace q270 {
namespace {

// A few units of single precision's last place at 1 (6E-8 each) for these readings.
constexpr double kPpmTolerance = 0.3;

// Deviations of the twenty resistors in ppm; they add up to 0, so each is
// exactly the resistor's deviation from the mean.
constexpr std::array<double, 21> kDeviation = {0,   12, -30, 45, 7,   -18, 3,  25, -40, 9, -6,
                                               -11, 33, -2,  15, -27, 4,   19, -8, -21, -9};

template <typename T, std::size_t N>
bool sameBits(const std::array<T, N>& a, const std::array<T, N>& b) {
    return std::memcmp(a.data(), b.data(), sizeof(T) * N) == 0;
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

ResultsData withReadings(const std::array<double, 21>& deviationPpm) {
    ResultsData d;
    for (int i = 1; i <= 20; ++i) {
        d.Mw2[i] = static_cast<float>(0.25 * (1.0 + deviationPpm[i] * 1e-6));
        d.Mw1[i] = d.Mw2[i];
    }
    return d;
}

// The evaluation in double from the values it works on.
struct Truth {
    std::array<double, 21> devR{}, devRS{}, linErr{};
    double devDown = 0, devUp = 0;
};

Truth truthFor(const std::array<double, 21>& m) {
    Truth t;
    double down = 0, up = 0;
    for (int i = 1; i <= 10; ++i) down += m[i];
    for (int i = 11; i <= 20; ++i) up += m[i];
    const double total = down + up;
    t.devDown = 1e6 * (down - total / 2) / (total / 2);
    t.devUp = 1e6 * (up - total / 2) / (total / 2);
    for (int i = 1; i <= 20; ++i) t.devR[i] = 1e6 * (m[i] / total * 20 - 1);
    for (int i = 1; i <= 10; ++i) t.devRS[i] = 1e6 * ((m[21 - i] + m[i]) / total * 10 - 1);
    double level = 0;
    for (int j = 1; j <= 10; ++j) {
        level += m[11 - j] + m[10 + j];
        t.linErr[j] = 1e6 * (j / 10.0 - level / total);
    }
    return t;
}

std::array<double, 21> measured(const ResultsData& d) {
    std::array<double, 21> m{};
    for (int i = 1; i <= 20; ++i) m[i] = d.Mw2[i];
    return m;
}

// The readings scaled by each step's trim factor and the geometric mean of all.
std::array<double, 21> trimmedTruth(const ResultsData& d) {
    std::array<double, 21> m{};
    double meanRoot = 1;
    for (int i = 1; i <= 20; ++i) {
        const double r = kTrimResistance[static_cast<std::size_t>(d.ShuntSel[i])];
        meanRoot *= std::pow(r / (r + kDividerResistance), 1.0 / 20);
    }
    for (int i = 1; i <= 20; ++i) {
        const double r = kTrimResistance[static_cast<std::size_t>(d.ShuntSel[i])];
        m[i] = d.Mw2[i] * meanRoot * (r / (r + kDividerResistance));
    }
    return m;
}

void expectNear(const ResultsData& d, const Truth& t) {
    for (int i = 1; i <= 20; ++i) EXPECT_NEAR(d.DevR[i], t.devR[i], kPpmTolerance) << "step " << i;
    for (int i = 1; i <= 10; ++i)
        EXPECT_NEAR(d.DevRS[i], t.devRS[i], kPpmTolerance) << "segment " << i;
    for (int j = 1; j <= 10; ++j)
        EXPECT_NEAR(d.LinErr[j], t.linErr[j], kPpmTolerance) << "point " << j;
    EXPECT_NEAR(d.DevDown, t.devDown, kPpmTolerance);
    EXPECT_NEAR(d.DevUp, t.devUp, kPpmTolerance);
}

TEST(TrimTable, OpenCircuitIsExactlyOneAndFactorsFallWithTheResistance) {
    const ResultsData d;  // filled from the start
    EXPECT_EQ(d.ShuntRatio[0], 1.0f);
    EXPECT_EQ(d.ShuntRoot[0], 1.0f);
    for (int k = 1; k < kTrimChoices; ++k) {
        const double r = kTrimResistance[static_cast<std::size_t>(k)];
        EXPECT_NEAR(d.ShuntRatio[k], r / (r + 120.0), 1e-7) << k;
        EXPECT_LT(d.ShuntRatio[k], d.ShuntRatio[k - 1]) << k;
        EXPECT_NEAR(std::pow(static_cast<double>(d.ShuntRoot[k]), 20), d.ShuntRatio[k], 2e-6) << k;
    }
    EXPECT_NEAR(d.ShuntRatio[5], 0.999601488, 1e-7);
    // Filled from the start: a trimmed evaluation of fresh data is a real one.
    ResultsData fresh;
    for (int i = 1; i <= kStepCount; ++i) fresh.Mw2[i] = 0.25f;
    fresh.ShuntSel[3] = 5;
    CalcResults(fresh, true);
    EXPECT_TRUE(std::isfinite(fresh.ErrSq));
    EXPECT_NEAR(fresh.DevR[3], -379.0, 1.0);  // 398.5 ppm less, the others 1/20 of it more
}

TEST(CalcResults, FiguresCarryTheRoundingOfSinglePrecision) {
    // Readings of a divider 12, -8, 25, ... ppm off; the expected figures are
    // those of the design's single-precision arithmetic, worked out apart from
    // this code. In double the same readings give DevR(19) = 18.978,
    // LinErr(9) = -0.448 and LinErr(8) = 0.0018 instead.
    const std::array<double, 20> ppm = {12, -8, 25, 3,   -15, 30, -4,  7, -22, 10,
                                        0,  18, -6, -30, 14,  5,  -12, 9, 21,  -17};
    ResultsData d;
    for (int i = 1; i <= kStepCount; ++i)
        d.Mw2[i] = static_cast<float>(0.25 * (1 + ppm[std::size_t(i - 1)] * 1e-6));
    CalcResults(d, false);
    EXPECT_EQ(d.DevR[19], 19.073486328125f);
    EXPECT_EQ(d.DevR[1], 10.013580322265625f);
    EXPECT_EQ(d.LinErr[9], -0.5364418029785156f);
    EXPECT_EQ(d.LinErr[8], 0.0f);
    EXPECT_EQ(d.LinErr[4], 2.175569534301758f);
}

TEST(CalcResults, EqualReadingsGiveZeroEverywhere) {
    ResultsData d;
    // 0.3125 = 5/16: every sum and share is an exact float.
    for (int i = 1; i <= 20; ++i) d.Mw2[i] = 0.3125f;
    CalcResults(d, false);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(d.DevR[i], 0.0f) << i;
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(d.DevRS[i], 0.0f) << i;
    for (int j = 0; j <= 10; ++j) EXPECT_EQ(d.LinErr[j], 0.0f) << j;
    EXPECT_EQ(d.DevDown, 0.0);
    EXPECT_EQ(d.DevUp, 0.0);
    EXPECT_EQ(d.ErrSq, 0.0);
    EXPECT_EQ(d.SumDown, 3.125f);
    EXPECT_EQ(d.SumUp, 3.125f);

    // Any other equal value: zero up to single-precision rounding.
    for (int i = 1; i <= 20; ++i) d.Mw2[i] = 0.2345678f;
    CalcResults(d, false);
    for (int i = 1; i <= 20; ++i) EXPECT_NEAR(d.DevR[i], 0.0, 0.2) << i;
    for (int j = 1; j <= 10; ++j) EXPECT_NEAR(d.LinErr[j], 0.0, 0.2) << j;
    EXPECT_NEAR(d.DevDown, 0.0, 0.2);
}

TEST(CalcResults, KnownResistorDeviationsInPpm) {
    ResultsData d = withReadings(kDeviation);
    CalcResults(d, false);
    expectNear(d, truthFor(measured(d)));

    // By hand: each resistor shows its own deviation, a segment the mean of its
    // two, a 10 % point minus the sum below it over 20, a half the mean of its ten.
    double below = 0, downHalf = 0;
    for (int i = 1; i <= 20; ++i) EXPECT_NEAR(d.DevR[i], kDeviation[i], kPpmTolerance) << i;
    for (int i = 1; i <= 10; ++i) {
        EXPECT_NEAR(d.DevRS[i], (kDeviation[i] + kDeviation[21 - i]) / 2, kPpmTolerance) << i;
        downHalf += kDeviation[i];
    }
    for (int j = 1; j <= 10; ++j) {
        below += kDeviation[11 - j] + kDeviation[10 + j];
        EXPECT_NEAR(d.LinErr[j], -below / 20, kPpmTolerance) << j;
    }
    EXPECT_NEAR(d.DevDown, downHalf / 10, kPpmTolerance);
    EXPECT_NEAR(d.DevUp, -downHalf / 10, kPpmTolerance);

    // The figure a search minimises is made of the stored (float) errors.
    double sq = 0;
    for (int j = 1; j <= 10; ++j) sq += static_cast<double>(d.LinErr[j]) * d.LinErr[j];
    EXPECT_EQ(d.ErrSq, sq);
}

TEST(CalcResults, TenPercentPointsAtTheEnds) {
    ResultsData d = withReadings(kDeviation);
    d.LinErr[0] = 7.0f;
    CalcResults(d, false);
    EXPECT_EQ(d.LinErr[0], 0.0f);
    // The sum over all segments is the total, up to the order of the additions.
    EXPECT_NEAR(d.LinErr[10], 0.0, 0.2);
}

TEST(CalcResults, NoTrimResistorsGiveTheUntrimmedFiguresBitForBit) {
    ResultsData plain = withReadings(kDeviation);
    CalcResults(plain, false);
    ResultsData trimmed = withReadings(kDeviation);
    for (int i = 1; i <= 20; ++i) trimmed.Mw1[i] = 0.1f;  // replaced by the trimmed values
    CalcResults(trimmed, true);
    EXPECT_TRUE(sameBits(trimmed.ModMw, plain.ModMw));
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(trimmed.Mw1[i], trimmed.Mw2[i]) << i;
    EXPECT_TRUE(sameBits(trimmed.DevR, plain.DevR));
    EXPECT_TRUE(sameBits(trimmed.DevRS, plain.DevRS));
    EXPECT_TRUE(sameBits(trimmed.LinErr, plain.LinErr));
    EXPECT_TRUE(sameBits(trimmed.DevDown, plain.DevDown));
    EXPECT_TRUE(sameBits(trimmed.DevUp, plain.DevUp));
    EXPECT_TRUE(sameBits(trimmed.ErrSq, plain.ErrSq));
    EXPECT_EQ(trimmed.SumDown, plain.SumDown);
    EXPECT_EQ(trimmed.SumUp, plain.SumUp);
}

TEST(CalcResults, ChoicesOutsideTheTableCountAsNone) {
    ResultsData none = withReadings(kDeviation);
    CalcResults(none, true);
    ResultsData odd = withReadings(kDeviation);
    odd.ShuntSel[2] = 6;
    odd.ShuntSel[9] = -1;
    odd.ShuntSel[17] = 300;
    CalcResults(odd, true);
    EXPECT_TRUE(sameBits(odd.LinErr, none.LinErr));
    EXPECT_TRUE(sameBits(odd.DevR, none.DevR));
    EXPECT_EQ(odd.StepRatio[9], 1.0f);
}

TEST(CalcResults, ATrimResistorLowersItsStepAndRaisesTheOthers) {
    ResultsData before = withReadings(kDeviation);
    CalcResults(before, false);
    ResultsData d = withReadings(kDeviation);
    CalcResults(d, false);
    d.ShuntSel[3] = 2;  // 1.0 MOhm across R114
    CalcResults(d, true);
    expectNear(d, truthFor(trimmedTruth(d)));

    // 1 MOhm across 120 Ohm lowers that resistor by 120 ppm; against the mean
    // of all twenty that is -114 ppm for it and +6 ppm for each other one.
    const double lowered = 1e6 * (120.0 / (1e6 + 120.0));
    for (int i = 1; i <= 20; ++i) {
        const double shift = i == 3 ? -lowered * 19 / 20 : lowered / 20;
        EXPECT_NEAR(d.DevR[i] - before.DevR[i], shift, kPpmTolerance) << i;
    }
    EXPECT_NEAR(d.DevRS[3] - before.DevRS[3], -lowered * 9 / 20, kPpmTolerance);
    EXPECT_NEAR(d.DevRS[4] - before.DevRS[4], lowered / 20, kPpmTolerance);
    // The readings stay as measured; the first ones become the modified values.
    for (int i = 1; i <= 20; ++i) {
        EXPECT_EQ(d.Mw2[i], before.Mw2[i]) << i;
        EXPECT_EQ(d.Mw1[i], d.ModMw[i]) << i;
    }
    EXPECT_EQ(d.StepRatio[3], d.ShuntRatio[2]);
    EXPECT_EQ(d.StepRatio[4], 1.0f);
}

TEST(CalcResults, ANewChoiceStartsAgainFromTheMeasuredReadings) {
    ResultsData d = withReadings(kDeviation);
    d.ShuntSel[3] = 2;
    d.ShuntSel[12] = 4;
    CalcResults(d, true);
    d.ShuntSel[3] = 0;
    d.ShuntSel[12] = 0;
    d.ShuntSel[8] = 5;
    CalcResults(d, true);

    ResultsData fresh = withReadings(kDeviation);
    fresh.ShuntSel[8] = 5;
    CalcResults(fresh, true);
    EXPECT_TRUE(sameBits(d.Mw1, fresh.Mw1));
    EXPECT_TRUE(sameBits(d.LinErr, fresh.LinErr));
    EXPECT_TRUE(sameBits(d.ErrSq, fresh.ErrSq));
    expectNear(d, truthFor(trimmedTruth(d)));
}

TEST(CalcResults, OnlyTheUntrimmedEvaluationSetsTheReference) {
    ResultsData d = withReadings(kDeviation);
    CalcResults(d, false);
    EXPECT_TRUE(sameBits(d.LinErrRef, d.LinErr));
    const auto reference = d.LinErrRef;
    d.ShuntSel[5] = 1;
    d.ShuntSel[16] = 5;
    CalcResults(d, true);
    EXPECT_FALSE(sameBits(d.LinErr, reference));
    EXPECT_TRUE(sameBits(d.LinErrRef, reference));
}

}  // namespace
}  // namespace q270
