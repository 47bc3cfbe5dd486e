// The multimeter on its own: what it answers to each line, when, and how its
// readings, noise and faults behave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "meter_model.h"
#include "scenario.h"

namespace zdx::bench {
namespace {

using Clock = MeterModel::Clock;
using std::chrono::milliseconds;

constexpr const char* kMeasure = "MEAS:VOLT:DC? 1,1E-6";

class Meter {
  public:
    explicit Meter(MeterConfig c = {}, double volts = 0.249912345)
        : t0(Clock::now()), model(std::move(c), t0), now(t0) {
        model.setInput([this, volts](Clock::time_point, Clock::duration) { return volts; });
    }

    // The reply text (CR LF included), "<none>" for no reply; moves the
    // clock on to the reply's time.
    std::string send(const std::string& line) {
        auto r = model.handleLine(line, now);
        if (!r) return "<none>";
        lastDelay = r->due - now;
        now = r->due;
        return r->bytes;
    }

    double reading() {
        std::string r = send(kMeasure);
        return std::strtod(r.c_str(), nullptr);
    }

    Clock::time_point t0;
    MeterModel model;
    Clock::time_point now;
    Clock::duration lastDelay{};
};

TEST(MeterModel, MeasuresOnlyInRemoteAndQueuesAnErrorOtherwise) {
    Meter m;
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");
    EXPECT_EQ(m.send(kMeasure), "<none>");
    EXPECT_EQ(m.model.readings(), 0);
    EXPECT_EQ(m.send("SYST:REM"), "<none>");
    EXPECT_TRUE(m.model.remote());
    EXPECT_EQ(m.send(kMeasure), "+2.49912345E-01\r\n");
    EXPECT_EQ(m.send("SYST:LOC"), "<none>");
    EXPECT_FALSE(m.model.remote());
    EXPECT_EQ(m.send(kMeasure), "<none>");
    // The errors come back oldest first, then the queue is empty again.
    EXPECT_EQ(m.send("SYST:ERR?"), "-221,\"Settings conflict\"\r\n");
    EXPECT_EQ(m.send("SYST:ERR?"), "-221,\"Settings conflict\"\r\n");
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");
}

TEST(MeterModel, UnknownLinesQueueAnUndefinedHeaderAndGetNoReply) {
    Meter m;
    m.send("SYST:REM");
    for (const char* line : {"SNR?0", "K1A0,0,1,0", "MEAS:CURR:DC?", "SYST:REMX", "SYST", "?",
                             "MEAS:VOLT:DC", "SYST:ERR"})
        EXPECT_EQ(m.send(line), "<none>") << line;
    EXPECT_EQ(m.model.queuedErrors(), 8u);
    EXPECT_EQ(m.send("SYST:ERR?"), "-113,\"Undefined header\"\r\n");
    EXPECT_EQ(m.send("*CLS"), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");
    // An empty line is no command at all.
    EXPECT_EQ(m.send(""), "<none>");
    EXPECT_EQ(m.model.queuedErrors(), 0u);
}

TEST(MeterModel, TheErrorQueueHoldsTwentyAndMarksAnOverflow) {
    Meter m;
    for (int i = 0; i < 25; ++i) m.send("BOGUS");
    EXPECT_EQ(m.model.queuedErrors(), 20u);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(m.send("SYST:ERR?"), "-113,\"Undefined header\"\r\n");
    EXPECT_EQ(m.send("SYST:ERR?"), "-350,\"Queue overflow\"\r\n");
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");
}

TEST(MeterModel, HeadersInLongOrShortFormAndAnyCase) {
    Meter m;
    EXPECT_EQ(m.send("system:remote"), "<none>");
    EXPECT_TRUE(m.model.remote());
    EXPECT_EQ(m.send(":MEASure:VOLTage:DC? 1,1E-6"), "+2.49912345E-01\r\n");
    EXPECT_EQ(m.send("meas:volt:dc?"), "+2.49912345E-01\r\n");
    EXPECT_EQ(m.send("Syst:Err?"), "+0,\"No error\"\r\n");
    EXPECT_EQ(m.send("SYSTe:REM"), "<none>");  // neither short nor long form
    EXPECT_EQ(m.send("SYST:ERR?"), "-113,\"Undefined header\"\r\n");
    EXPECT_EQ(m.send("*IDN?").substr(0, 6), "BENCH,");
}

TEST(MeterModel, ReadingFormatSignAndOverload) {
    Meter negative({}, -0.00123456789);
    negative.send("SYST:REM");
    EXPECT_EQ(negative.send(kMeasure), "-1.23456789E-03\r\n");

    // 1.2 V is the end of the 1 V range; beyond it the meter shows overload.
    Meter edge({}, 1.2);
    edge.send("SYST:REM");
    EXPECT_EQ(edge.send(kMeasure), "+1.20000000E+00\r\n");
    Meter over({}, 1.2001);
    over.send("SYST:REM");
    EXPECT_EQ(over.send(kMeasure), "+9.90000000E+37\r\n");
    EXPECT_EQ(over.send("MEAS:VOLT:DC? 10,1E-5"), "+1.20010000E+00\r\n");
    EXPECT_EQ(over.send("MEAS:VOLT:DC?"), "+1.20010000E+00\r\n");  // autorange
    EXPECT_EQ(over.send("MEAS:VOLT:DC? MIN"), "+9.90000000E+37\r\n");

    MeterConfig overload;
    overload.faults = {MeterFault::Overload};
    overload.remote = true;
    Meter faulty(overload);
    EXPECT_EQ(faulty.send(kMeasure), "+9.90000000E+37\r\n");
    EXPECT_EQ(faulty.send("SYST:ERR?"), "+0,\"No error\"\r\n");
}

TEST(MeterModel, BadMeasurementParametersQueueErrors) {
    MeterConfig c;
    c.remote = true;
    Meter m(c);
    EXPECT_EQ(m.send("MEAS:VOLT:DC? one,1E-6"), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "-224,\"Illegal parameter value\"\r\n");
    EXPECT_EQ(m.send("MEAS:VOLT:DC? 1,0"), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "-224,\"Illegal parameter value\"\r\n");
    EXPECT_EQ(m.send("MEAS:VOLT:DC? 2000,1"), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "-222,\"Data out of range\"\r\n");
    EXPECT_EQ(m.send("MEAS:VOLT:DC? 1,1E-6,3"), "<none>");
    EXPECT_EQ(m.send("SYST:REM 1"), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "-108,\"Parameter not allowed\"\r\n");
    EXPECT_EQ(m.send("SYST:ERR?"), "-108,\"Parameter not allowed\"\r\n");
    EXPECT_EQ(m.model.readings(), 0);
    EXPECT_EQ(m.send("MEAS:VOLT:DC? DEF,MAX"), "+2.49912345E-01\r\n");
}

TEST(MeterModel, AReadingTakesItsTimeAndLinesWaitForIt) {
    MeterConfig c;
    c.readingTime = milliseconds(300);
    Meter m(c);
    m.send("SYST:REM");
    const auto start = m.now;
    auto first = m.model.handleLine(kMeasure, start);
    auto second = m.model.handleLine(kMeasure, start + milliseconds(10));
    auto error = m.model.handleLine("SYST:ERR?", start + milliseconds(20));
    ASSERT_TRUE(first && second && error);
    EXPECT_EQ(first->due, start + milliseconds(300));
    EXPECT_EQ(second->due, start + milliseconds(600));  // after the first
    EXPECT_EQ(error->due, start + milliseconds(600));
    EXPECT_EQ(m.model.readings(), 2);
    // The error query itself takes no reading time.
    auto later = m.model.handleLine("SYST:ERR?", start + milliseconds(1000));
    EXPECT_EQ(later->due, start + milliseconds(1000));
}

TEST(MeterModel, NoiseIsSeededAndDriftGrowsWithTime) {
    auto run = [](std::uint64_t seed) {
        MeterConfig c;
        c.noiseUv = 2;
        c.seed = seed;
        c.remote = true;
        Meter m(c, 0.25);
        std::vector<double> r;
        for (int i = 0; i < 200; ++i) r.push_back(m.reading());
        return r;
    };
    const auto a = run(5), b = run(5), c = run(6);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    double mean = 0, square = 0;
    for (double v : a) mean += v / a.size();
    for (double v : a) square += (v - mean) * (v - mean) / (a.size() - 1);
    EXPECT_NEAR(mean, 0.25, 1e-6);                 // 2 uV / sqrt(200) * 7
    EXPECT_NEAR(std::sqrt(square) * 1e6, 2, 0.5);  // the standard deviation, in uV

    MeterConfig d;
    d.driftUvPerS = 10;
    d.remote = true;
    Meter drift(d, 0.25);
    drift.now += std::chrono::seconds(100);
    EXPECT_EQ(drift.send(kMeasure), "+2.51000000E-01\r\n");  // 100 s x 10 uV/s = 1 mV
}

TEST(MeterModel, TheInputIsSampledWhenTheReadingStartsWithTheSettleTime) {
    MeterConfig c;
    c.settleTime = milliseconds(75);
    c.remote = true;
    MeterModel m(c, Clock::now());
    std::vector<std::pair<Clock::time_point, Clock::duration>> asked;
    m.setInput([&](Clock::time_point t, Clock::duration settle) {
        asked.emplace_back(t, settle);
        return 0.1;
    });
    const auto t = Clock::now();
    m.handleLine(kMeasure, t);
    m.handleLine(kMeasure, t);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].first, t);
    EXPECT_EQ(asked[1].first, t + c.readingTime);  // the second starts when the first ends
    EXPECT_EQ(asked[0].second, milliseconds(75));
}

TEST(MeterModel, SilentLateAndGarbageFaults) {
    MeterConfig c;
    c.remote = true;
    Meter m(c);
    m.model.setFault(MeterFault::Silent);
    EXPECT_EQ(m.send(kMeasure), "<none>");
    EXPECT_EQ(m.model.readings(), 1);  // it measures, it just does not answer
    EXPECT_EQ(m.send("SYST:ERR?"), "<none>");
    m.model.clearFaults();

    m.model.setFault(MeterFault::Late);
    EXPECT_EQ(m.send(kMeasure), "+2.49912345E-01\r\n");
    EXPECT_EQ(m.lastDelay, kMeterLateDelay);  // past the program's 1.5 s
    EXPECT_GT(kMeterLateDelay, milliseconds(1500));
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");
    EXPECT_EQ(m.lastDelay, kMeterLateDelay);
    m.model.clearFaults();

    m.model.setFault(MeterFault::Garbage);
    for (const char* line : {kMeasure, "SYST:ERR?"}) {
        const std::string r = m.send(line);
        ASSERT_GE(r.size(), 2u);
        EXPECT_EQ(r.substr(r.size() - 2), "\r\n");
        char* end = nullptr;
        std::strtod(r.c_str(), &end);
        EXPECT_NE(end, r.c_str() + r.size() - 2) << "a number: " << r;
    }
    EXPECT_EQ(meterFaultFromName("overload"), MeterFault::Overload);
    EXPECT_EQ(meterFaultName(MeterFault::Late), "late");
    EXPECT_FALSE(meterFaultFromName("no_lf"));
}

TEST(MeterModel, UnpluggedAfterReadingsAtATimeOrOnCommand) {
    MeterConfig c;
    c.remote = true;
    c.unplugAfterReadings = 2;
    Meter m(c);
    EXPECT_NE(m.send(kMeasure), "<none>");
    EXPECT_NE(m.send(kMeasure), "<none>");  // the second reply still goes out
    EXPECT_TRUE(m.model.pluggedAt(m.now));
    m.now += milliseconds(1);
    EXPECT_FALSE(m.model.pluggedAt(m.now));
    EXPECT_EQ(m.send(kMeasure), "<none>");
    EXPECT_EQ(m.send("SYST:ERR?"), "<none>");
    m.model.setPlugged(true, m.now);
    m.now += milliseconds(1);
    EXPECT_EQ(m.send("SYST:ERR?"), "+0,\"No error\"\r\n");  // nothing reached it meanwhile
    EXPECT_EQ(m.model.readings(), 2);

    MeterConfig timed;
    timed.unplugAt = milliseconds(1000);
    timed.replugAt = milliseconds(3000);
    Meter t(timed);
    EXPECT_TRUE(t.model.pluggedAt(t.t0 + milliseconds(1000)));
    EXPECT_FALSE(t.model.pluggedAt(t.t0 + milliseconds(1001)));
    EXPECT_FALSE(t.model.pluggedAt(t.t0 + milliseconds(3000)));
    EXPECT_TRUE(t.model.pluggedAt(t.t0 + milliseconds(3001)));
    // A reading in progress when the cable comes off: its reply is due after
    // the unplug, so it never arrives (the serial port checks pluggedAt(due)).
    t.model.setRemote(true);
    auto r = t.model.handleLine(kMeasure, t.t0 + milliseconds(900));
    ASSERT_TRUE(r);
    EXPECT_FALSE(t.model.pluggedAt(r->due));
}

TEST(MeterScenario, MeterKeysAndTheirChecks) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(R"({"usb": [{"kind": "Q270", "serial": "Q1"}],
        "serial": [{"com": 1, "kind": "meter", "calibrator": "Q1", "reading_ms": 400,
                    "settle_ms": 20, "noise_uv": 0.5, "drift_uv_per_s": -0.1, "seed": 9,
                    "faults": ["late", "overload"], "remote": true, "baud": 9600,
                    "unplug_after_readings": 10, "unplug_at_ms": 5000, "replug_at_ms": 6000}]})",
                              s, error))
        << error;
    ASSERT_TRUE(s.serial[0].meter);
    EXPECT_FALSE(s.serial[0].model);
    const MeterConfig& c = s.serial[0].meter->config();
    EXPECT_EQ(c.calibrator, "Q1");
    EXPECT_EQ(c.readingTime, milliseconds(400));
    EXPECT_EQ(c.settleTime, milliseconds(20));
    EXPECT_EQ(c.noiseUv, 0.5);
    EXPECT_EQ(c.driftUvPerS, -0.1);
    EXPECT_EQ(c.seed, 9u);
    EXPECT_EQ(c.faults, (std::set<MeterFault>{MeterFault::Late, MeterFault::Overload}));
    EXPECT_TRUE(c.remote);
    EXPECT_EQ(c.unplugAfterReadings, 10);
    EXPECT_EQ(c.unplugAt, milliseconds(5000));
    EXPECT_EQ(c.replugAt, milliseconds(6000));

    // The defaults: a few hundred ms per reading, no noise, no faults.
    ASSERT_TRUE(parseScenario(R"({"serial": [{"com": 3, "kind": "meter"}]})", s, error)) << error;
    EXPECT_EQ(s.serial[2].meter->config().readingTime, milliseconds(300));
    EXPECT_EQ(s.serial[2].meter->config().settleTime, milliseconds(50));
    EXPECT_EQ(s.serial[2].meter->config().noiseUv, 0);
    EXPECT_TRUE(s.serial[2].meter->config().calibrator.empty());

    for (const char* bad : {
             R"({"serial": [{"com": 1, "kind": "meter", "calibrator": "NOSUCH"}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "faults": ["no_lf"]}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "id": "HP"}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "reading_ms": -1}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "noise_uv": -1}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "unplug_after_readings": 0}]})",
             R"({"serial": [{"com": 1, "kind": "meter"}, {"com": 1, "kind": "Q270"}]})",
             R"({"serial": [{"com": 1, "kind": "meter", "reading_ms": "slow"}]})",
         }) {
        EXPECT_FALSE(parseScenario(bad, s, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(MeterScenario, DefaultScenarioHasAMeterOnCom1WiredToTheUsbQ270) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(defaultScenarioJson(), s, error)) << error;
    ASSERT_TRUE(s.serial[0].meter);
    EXPECT_EQ(s.serial[0].meter->config().calibrator, s.usb[0]->serial());
    EXPECT_GT(s.serial[0].meter->config().noiseUv, 0);
}

}  // namespace
}  // namespace zdx::bench
