// The uncertainty of the evaluation against a Monte Carlo over the bench's
// meter model: many runs of the same divider, each read twice per step with
// the model's seeded noise and turned into numbers as the run turns the
// meter's replies. The spread of the figures over the runs is what the
// formulas predict from one run's readings.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "divider.h"
#include "meter_model.h"
#include "meter_reading.h"
#include "trim_search.h"
#include "uncertainty.h"

namespace {

using namespace q270;
using zdx::bench::Divider;
using zdx::bench::MeterConfig;
using zdx::bench::MeterModel;

constexpr int kRuns = 3000;
constexpr double kNoiseUv = 5.0;

// R97..R116, ppm.
constexpr std::array<double, 20> kDeviationsPpm = {
    150, -20, 310, 40, 0, 220, -60, 90, 260, 10, -40, 180, 30, 350, -10, 120, 70, 200, -30, 240};

// One run of twenty steps, two readings each, from the meter model.
ResultsData MeasureRun(MeterModel& meter, const Divider& divider, int& step,
                       MeterModel::Clock::time_point& now) {
    meter.setInput([&](MeterModel::Clock::time_point, MeterModel::Clock::duration) {
        return divider.voltsAcross(117 - step);  // step i measures R(117 - i)
    });
    ResultsData data;
    for (step = 1; step <= 20; ++step) {
        for (int k = 0; k < 2; ++k) {
            const auto reply = meter.handleLine("MEAS:VOLT:DC? 1,1E-6", now);
            now += std::chrono::seconds(1);
            const MeterReading reading = ParseMeterReply(reply ? reply->bytes : std::string());
            EXPECT_EQ(reading.fault, ReadingFault::None);
            (k == 0 ? data.Mw1 : data.Mw2)[std::size_t(step)] = float(reading.volts);
        }
        data.MwDiff[std::size_t(step)] = data.Mw1[std::size_t(step)] - data.Mw2[std::size_t(step)];
    }
    return data;
}

struct Spread {
    double mean = 0, m2 = 0;
    int n = 0;
    void add(double v) {
        ++n;
        const double d = v - mean;
        mean += d / n;
        m2 += d * (v - mean);
    }
    double sd() const { return std::sqrt(m2 / (n - 1)); }
};

TEST(UncertaintyTest, FormulasMatchTheSpreadOfManyRunsOfTheBenchsNoisyMeter) {
    zdx::bench::DividerConfig config;
    for (int n = 0; n < 20; ++n)
        config.deviationsPpm[std::size_t(n)] = kDeviationsPpm[std::size_t(n)];
    const Divider divider(config);
    MeterConfig meterConfig;
    meterConfig.noiseUv = kNoiseUv;
    meterConfig.seed = 20261208;
    meterConfig.remote = true;
    const auto start = MeterModel::Clock::time_point{};
    MeterModel meter(meterConfig, start);
    auto now = start;
    int step = 1;

    // A trim choice that helps: the best two trim resistors for the first run.
    TrialVector best{};
    const auto trim = [&best](ResultsData& d) {
        for (int i = 1; i <= 10; ++i) d.ShuntSel[std::size_t(i)] = best[std::size_t(i)];
    };
    {
        auto probe = now;
        MeterConfig quietConfig;
        quietConfig.remote = true;
        MeterModel quiet(quietConfig, start);
        TrimSearch search(MeasureRun(quiet, divider, step, probe), 2);
        search.run();
        best = search.bestSel();
    }
    std::array<Spread, 11> plain{}, trimmed{};
    Spread improvement, noise;
    ResultsData last;
    for (int run = 0; run < kRuns; ++run) {
        ResultsData data = MeasureRun(meter, divider, step, now);
        trim(data);
        noise.add(ReadingNoise(data) * 1e6);
        improvement.add(PredictTrim(data, 0).improvement);
        ResultsData e = data;
        CalcResults(e, false);
        for (int j = 1; j <= 10; ++j) plain[std::size_t(j)].add(e.LinErr[std::size_t(j)]);
        CalcResults(e, true);
        for (int j = 1; j <= 10; ++j) trimmed[std::size_t(j)].add(e.LinErr[std::size_t(j)]);
        last = data;
    }

    // The noise estimate of one run (20 degrees of freedom) is right on average.
    EXPECT_NEAR(noise.mean, kNoiseUv, 0.03 * kNoiseUv);
    // The formulas, with the model's true noise, against the spread over the
    // runs (whose own relative uncertainty is about 1.3 %).
    const auto uPlain = LinErrUncertainty(last, false, kNoiseUv * 1e-6);
    const auto uTrimmed = LinErrUncertainty(last, true, kNoiseUv * 1e-6);
    for (int j = 1; j <= 9; ++j) {
        EXPECT_NEAR(plain[std::size_t(j)].sd(), uPlain[std::size_t(j)],
                    0.05 * uPlain[std::size_t(j)])
            << "10 % point " << j;
        EXPECT_NEAR(trimmed[std::size_t(j)].sd(), uTrimmed[std::size_t(j)],
                    0.05 * uTrimmed[std::size_t(j)])
            << "10 % point " << j;
    }
    EXPECT_LT(plain[10].sd(), 0.1) << "the 100 % point carries no noise";
    EXPECT_EQ(uPlain[10], 0.0);
    const TrimPrediction p = PredictTrim(last, kNoiseUv * 1e-6);
    EXPECT_NEAR(improvement.sd(), p.u, 0.06 * p.u);
}

TEST(UncertaintyTest, AnImprovementSmallerThanTwiceItsUncertaintyIsWithinNoise) {
    // An almost ideal divider: any trim resistor only moves noise around.
    ResultsData data;
    for (int i = 1; i <= 20; ++i) {
        const float noise = (i % 3 - 1) * 2e-6f;
        data.Mw1[std::size_t(i)] = 0.25f + noise;
        data.Mw2[std::size_t(i)] = 0.25f - noise;
        data.MwDiff[std::size_t(i)] = data.Mw1[std::size_t(i)] - data.Mw2[std::size_t(i)];
    }
    data.ShuntSel[3] = 1;
    const TrimPrediction p = PredictTrim(data, ReadingNoise(data));
    EXPECT_GT(p.u, 0);
    EXPECT_LT(std::fabs(p.improvement), kCoverage * p.u);
    EXPECT_TRUE(p.withinNoise);
}

}  // namespace
