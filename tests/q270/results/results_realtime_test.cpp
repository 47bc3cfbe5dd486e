// One linearity measurement in real time: the design's pauses on the steady
// clock, the meter taking its 300 ms a reading and the bench's output settling
// after each step line.
#include <chrono>

#include "results_fixture.h"

namespace q270::testing {
namespace {

using RealTime = ResultsTest;

TEST_F(RealTime, CompleteRunKeepsEveryPauseAndMatchesTheDivider) {
    load(measurementScenario("", "", R"("reading_ms": 300, "settle_ms": 50)"));
    openOnline(&SteadyClock::instance());
    const auto start = std::chrono::steady_clock::now();
    measure();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    // Pauses 0.5 + 20 x 1.3 + 0.2 s, readings 40 x 0.3 s.
    EXPECT_GE(seconds, 38.7);
    const DividerTruth truth;
    for (int j = 1; j <= 10; ++j)
        EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 0.2) << j;
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
}

}  // namespace
}  // namespace q270::testing
