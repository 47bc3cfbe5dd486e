// The calibration statement: the coverage factor against the published
// Student's t values, the decision rules at their boundaries, the resolution
// of the meter's replies, and a Monte Carlo over the bench's divider and its
// seeded meter noise: U covers the true error about 95 % of the time, and a
// unit whose decided trims are fitted agrees with the prediction.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "coverage_factor.h"
#include "divider.h"
#include "linear_model.h"
#include "meter_model.h"
#include "meter_reading.h"
#include "search_decision.h"
#include "statement.h"

namespace {

using namespace q270;
using zdx::bench::Divider;
using zdx::bench::MeterConfig;
using zdx::bench::MeterModel;

TEST(CoverageFactorTest, MatchesStudentsTAt95Point45PerCent) {
    // k for p = 95.45 % as tabulated for the expression of uncertainty.
    EXPECT_NEAR(CoverageFactor(5), 2.65, 0.005);
    EXPECT_NEAR(CoverageFactor(10), 2.28, 0.005);
    EXPECT_NEAR(CoverageFactor(20), 2.13, 0.005);
    EXPECT_NEAR(CoverageFactor(50), 2.05, 0.005);
    EXPECT_NEAR(CoverageFactor(std::numeric_limits<double>::infinity()), 2.00, 0.001);
    EXPECT_NEAR(StudentT(0, 7), 0.5, 1e-12);
    EXPECT_NEAR(StudentT(-2.0, 3) + StudentT(2.0, 3), 1.0, 1e-12);
    // Welch-Satterthwaite with Type A alone keeps its degrees of freedom.
    EXPECT_DOUBLE_EQ(EffectiveDegrees(2.0, 2.0, 20), 20);
    EXPECT_NEAR(EffectiveDegrees(std::hypot(1.0, 1.0), 1.0, 20), 80, 1e-9);
}

TEST(DecisionRuleTest, EachRuleAtItsBoundaries) {
    const double limit = 10, U = 2;
    for (const double sign : {1.0, -1.0}) {
        EXPECT_EQ(Judge(sign * 10.0, U, limit, DecisionRule::Simple), Verdict::Pass);
        EXPECT_EQ(Judge(sign * 10.001, U, limit, DecisionRule::Simple), Verdict::Fail);
        EXPECT_EQ(Judge(sign * 8.0, U, limit, DecisionRule::Guarded), Verdict::Pass);
        EXPECT_EQ(Judge(sign * 8.001, U, limit, DecisionRule::Guarded), Verdict::Fail);
        EXPECT_EQ(Judge(sign * 8.0, U, limit, DecisionRule::NonBinary), Verdict::Pass);
        EXPECT_EQ(Judge(sign * 8.001, U, limit, DecisionRule::NonBinary), Verdict::ConditionalPass);
        EXPECT_EQ(Judge(sign * 10.0, U, limit, DecisionRule::NonBinary), Verdict::ConditionalPass);
        EXPECT_EQ(Judge(sign * 10.001, U, limit, DecisionRule::NonBinary),
                  Verdict::ConditionalFail);
        EXPECT_EQ(Judge(sign * 12.0, U, limit, DecisionRule::NonBinary), Verdict::ConditionalFail);
        EXPECT_EQ(Judge(sign * 12.001, U, limit, DecisionRule::NonBinary), Verdict::Fail);
    }
    // A U larger than the limit: guarded acceptance accepts nothing.
    EXPECT_EQ(Judge(0.0, 11, limit, DecisionRule::Guarded), Verdict::Fail);
    EXPECT_EQ(RuleNamed("non-binary"), DecisionRule::NonBinary);
    EXPECT_FALSE(RuleNamed("lenient"));
}

TEST(ReplyResolutionTest, IsTheLastDigitOfTheReply) {
    EXPECT_DOUBLE_EQ(*ReplyResolution("+2.49993022E-01\r\n"), 1e-9);
    EXPECT_DOUBLE_EQ(*ReplyResolution(" -1.5E+00"), 0.1);
    EXPECT_DOUBLE_EQ(*ReplyResolution("0.25"), 0.01);
    EXPECT_DOUBLE_EQ(*ReplyResolution("3"), 1.0);
    EXPECT_FALSE(ReplyResolution(""));
    EXPECT_FALSE(ReplyResolution("OVLD"));
    EXPECT_FALSE(ReplyResolution("+9.9E+999"));
}

// Twenty steps read twice from the bench's meter model, as the run records them.
RunRecord MeasureRun(MeterModel& meter, const Divider& divider,
                     MeterModel::Clock::time_point& now) {
    int step = 1;
    meter.setInput([&](MeterModel::Clock::time_point, MeterModel::Clock::duration) {
        return divider.voltsAcross(ResistorOfStep(step));
    });
    RunRecord record;
    for (step = 1; step <= kStepCount; ++step) {
        for (int k = 0; k < 2; ++k) {
            const auto reply = meter.handleLine("MEAS:VOLT:DC? 1,1E-6", now);
            now += std::chrono::seconds(1);
            const std::string text = reply ? reply->bytes : std::string();
            (k == 0 ? record.Mw1 : record.Mw2)[std::size_t(step)] = {text,
                                                                     ParseMeterReply(text).volts};
        }
    }
    record.calibratorSerial = "Q270S9-00417";
    record.time = "2026-12-08T08:00:00Z";
    return record;
}

// The divider's true 10 % point errors: the evaluation of noiseless readings.
PerPoint<double> TrueErrors(const Divider& divider) {
    PerStep<double> x{}, w{};
    for (int i = 1; i <= kStepCount; ++i) {
        x[std::size_t(i)] = divider.voltsAcross(ResistorOfStep(i));
        w[std::size_t(i)] = 1.0;
    }
    const LinearModel model(x, w);
    PerPoint<double> truth{};
    for (int j = 1; j < kPointCount; ++j) truth[std::size_t(j)] = model.linErr(j);
    return truth;
}

class BenchDividerTest : public ::testing::Test {
  protected:
    explicit BenchDividerTest(double noiseUv = 5.0)
        : divider_(config()), meter_(meterConfig(noiseUv), start_) {}
    static zdx::bench::DividerConfig config() {
        zdx::bench::DividerConfig c;
        c.deviationsPpm = {150, -20, 310, 40,  0,   220, -60, 90,  260, 10,
                           -40, 180, 30,  350, -10, 120, 70,  200, -30, 240};
        return c;
    }
    static MeterConfig meterConfig(double noiseUv) {
        MeterConfig c;
        c.noiseUv = noiseUv;
        c.seed = 20261208;
        c.remote = true;
        return c;
    }
    RunRecord measure() { return MeasureRun(meter_, divider_, now_); }

    Divider divider_;
    const MeterModel::Clock::time_point start_{};
    MeterModel meter_;
    MeterModel::Clock::time_point now_ = start_;
};

TEST_F(BenchDividerTest, TheExpandedUncertaintyCoversTheTrueErrorAbout95PerCentOfTheTime) {
    const PerPoint<double> truth = TrueErrors(divider_);
    constexpr int kRuns = 2000;
    PerPoint<int> covered{};
    double kSum = 0;
    for (int run = 0; run < kRuns; ++run) {
        const Statement s = MakeStatement(measure(), {});
        kSum += s.k;
        for (int j = 1; j < kPointCount; ++j) {
            const PointStatement& p = s.points[std::size_t(j)];
            covered[std::size_t(j)] += std::fabs(p.linErr - truth[std::size_t(j)]) <= p.U;
        }
        EXPECT_EQ(s.points[std::size_t(kPointCount)].linErr, 0.0);
        EXPECT_FALSE(s.points[std::size_t(kPointCount)].verdict);
    }
    // Type A dominates (20 degrees of freedom): k about 2.13.
    EXPECT_NEAR(kSum / kRuns, 2.13, 0.02);
    // 95.45 % of 2000 runs, with a binomial spread of about 0.5 %.
    for (int j = 1; j < kPointCount; ++j) {
        const double share = double(covered[std::size_t(j)]) / kRuns;
        EXPECT_GT(share, 0.935) << "10 % point " << j;
        EXPECT_LT(share, 0.975) << "10 % point " << j;
    }
}

// The bench's own meter noise (0.5 uV): the trim resistors' tolerance is as
// large as the noise.
class QuietBenchDividerTest : public BenchDividerTest {
  protected:
    QuietBenchDividerTest() : BenchDividerTest(0.5) {}
};

TEST_F(QuietBenchDividerTest, FittedTrimsAgreeWithTheirPredictionAndUnfittedOnesDoNot) {
    // The search's line for two trim resistors, as a click on it decides.
    const auto decided = SearchDecision(measure(), 2);
    ASSERT_TRUE(decided);
    const PerStep<std::int16_t> trims = *decided;
    int count = 0;
    for (int i = 1; i <= kStepCount; ++i) count += trims[std::size_t(i)] != 0;
    EXPECT_EQ(count, 2);

    // Many cycles: measure as found, decide, measure again before fitting, fit
    // the trims (each 1 % above its nominal value), measure as left.
    constexpr int kCycles = 300;
    PerPoint<int> agreedFitted{}, agreedUnfitted{};
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const Statement predicted = MakeStatement(measure(), {}, trims);
        EXPECT_GT(predicted.points[std::size_t(predicted.largestPoint)].budget.trims, 0.0);
        const PredictionCheck unfitted = CheckPrediction(MakeStatement(measure(), {}), predicted);
        for (int i = 1; i <= kStepCount; ++i)
            if (const int choice = trims[std::size_t(i)]; choice > 0)
                divider_.setTrim(ResistorOfStep(i), kTrimResistance[std::size_t(choice)] * 1.01);
        const PredictionCheck fitted = CheckPrediction(MakeStatement(measure(), {}), predicted);
        for (int i = 1; i <= kStepCount; ++i) divider_.setTrim(ResistorOfStep(i), std::nullopt);
        for (int j = 1; j < kPointCount; ++j) {
            agreedFitted[std::size_t(j)] += fitted.agrees[std::size_t(j)];
            agreedUnfitted[std::size_t(j)] += unfitted.agrees[std::size_t(j)];
        }
    }
    // Fitted: the difference is noise of two runs and the trims' tolerance,
    // inside k times its uncertainty about 95 % of the time. Unfitted: the
    // points the trims move are missed far beyond it.
    int missedUnfitted = 0;
    for (int j = 1; j < kPointCount; ++j) {
        EXPECT_GT(agreedFitted[std::size_t(j)], 0.92 * kCycles) << "10 % point " << j;
        missedUnfitted += agreedUnfitted[std::size_t(j)] < 0.05 * kCycles;
    }
    EXPECT_GE(missedUnfitted, 3);
}

TEST_F(BenchDividerTest, TheUnitsVerdictIsItsWorstPoint) {
    const RunRecord run = measure();
    const Statement found = MakeStatement(run, {});
    const double largest = std::fabs(found.points[std::size_t(found.largestPoint)].linErr);
    const double U = found.points[std::size_t(found.largestPoint)].U;
    EXPECT_EQ(MakeStatement(run, {largest * 3, DecisionRule::Guarded}).verdict, Verdict::Pass);
    // A limit between the largest |x| and |x| + U: simple acceptance passes
    // the unit, guarded acceptance fails it.
    EXPECT_EQ(MakeStatement(run, {largest + U / 2, DecisionRule::Simple}).verdict, Verdict::Pass);
    EXPECT_EQ(MakeStatement(run, {largest + U / 2, DecisionRule::Guarded}).verdict, Verdict::Fail);
    EXPECT_EQ(MakeStatement(run, {largest - 3 * U, DecisionRule::NonBinary}).verdict,
              Verdict::Fail);
    EXPECT_FALSE(MakeStatement(run, {}).verdict) << "no limit, no verdict";
}

}  // namespace
