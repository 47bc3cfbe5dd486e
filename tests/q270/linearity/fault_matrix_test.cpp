// Every fault at every step of a linearity run against the bench: the meter
// silent, late, answering garbage or an overload, or its cable pulled; the
// calibrator unplugged or refusing its command pipe; COM1 taken away (its
// adapter pulled mid-run, or missing before the run). Each
// run ends with COM1 closed, the meter back in local (where its cable still
// carries the line), a message that names the fault and no complete run to
// save; the next run on the healed bench is complete. Pauses are skipped, so
// a case takes as long as the instruments take to answer.
#include "bench_run_fixture.h"

namespace q270 {
namespace {

class FaultMatrixTest : public BenchRunTest,
                        public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(FaultMatrixTest, RunEndsCleanlyNamingTheFaultAndTheNextRunSucceeds) {
    const Fault& fault = kFaults[std::get<0>(GetParam())];
    const int step = std::get<1>(GetParam());
    const Outcome faulty = run(&fault, step);
    EXPECT_NE(faulty.result.end, RunEnd::Complete);
    EXPECT_LT(faulty.result.steps, 20);
    EXPECT_NE(faulty.result.message.find(fault.words), std::string::npos) << faulty.result.message;
    EXPECT_THROW(MakeRunRecord(faulty.replies, ResultsData()), RunFileError);
    EXPECT_FALSE(faulty.portLeftOpen);
    const zdx::bench::MeterStatus meter = settledMeter(fault.meterHearsLoc);
    EXPECT_FALSE(meter.portOpen);
    if (fault.meterHearsLoc) {
        EXPECT_FALSE(meter.remote);
    }

    bench_->loadScenario(kScenario);  // healed: every fault cleared, every cable back
    const Outcome healed = run(nullptr, 0);
    EXPECT_EQ(healed.result.end, RunEnd::Complete) << healed.result.message;
    EXPECT_EQ(healed.result.steps, 20);
    EXPECT_NO_THROW(MakeRunRecord(healed.replies, ResultsData()));
    EXPECT_FALSE(settledMeter(true).remote);
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
    return std::string(kFaults[std::get<0>(info.param)].name) + "AtStep" +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(EveryFaultAtEveryStep, FaultMatrixTest,
                         ::testing::Combine(::testing::Range(0, int(std::size(kFaults))),
                                            ::testing::Range(1, 21)),
                         caseName);

// COM1 taken away before a run: nothing is sent to either instrument, the
// message names the port, and the run after it has COM1 back succeeds.
TEST_F(BenchRunTest, Com1TakenAwayEndsTheRunBeforeAnythingIsSent) {
    const QByteArray mapped = qgetenv("ZDX_COM1");
    qputenv("ZDX_COM1", "/nonexistent/ttyCOM1");
    bench_->clearTraffic();
    const Outcome gone = run(nullptr, 0);
    qputenv("ZDX_COM1", mapped);
    EXPECT_EQ(gone.result.end, RunEnd::MeterPortMissing);
    EXPECT_NE(gone.result.message.find("COM1"), std::string::npos);
    EXPECT_TRUE(bench_->linesTo("COM1").empty());
    EXPECT_TRUE(bench_->linesTo(kCalibrator).empty());
    EXPECT_EQ(run(nullptr, 0).result.end, RunEnd::Complete);
}

}  // namespace
}  // namespace q270
