// The Q270's output divider: the voltage across each resistor, trims across
// them, which resistor each linearity step line selects, and settling.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "divider.h"
#include "divider_output.h"
#include "linearity_steps.h"
#include "q270_model.h"
#include "scenario.h"

namespace zdx::bench {
namespace {

using std::chrono::milliseconds;

DividerConfig withDeviation(int resistor, double ppm) {
    DividerConfig c;
    c.deviationsPpm[resistor - 97] = ppm;
    return c;
}

TEST(Divider, AKnownDeviationGivesTheVoltageComputedByHand) {
    const Divider d(withDeviation(103, 100));
    // R103 = 120.012 ohms, the other nineteen 120: 2400.012 ohms across 5 V.
    EXPECT_DOUBLE_EQ(d.resistanceOhm(103), 120.012);
    EXPECT_DOUBLE_EQ(d.totalOhm(), 2400.012);
    EXPECT_DOUBLE_EQ(d.voltsAcross(103), 5 * 120.012 / 2400.012);
    EXPECT_DOUBLE_EQ(d.voltsAcross(97), 5 * 120.0 / 2400.012);
    EXPECT_DOUBLE_EQ(d.voltsAcross(116), 5 * 120.0 / 2400.012);
    // The twenty readings of a run add up to the excitation.
    double sum = 0;
    for (int k = 97; k <= 116; ++k) sum += d.voltsAcross(k);
    EXPECT_NEAR(sum, 5.0, 1e-12);
}

TEST(Divider, NoResistorSelectedOrOutsideTheChainIsZeroVolts) {
    const Divider d(withDeviation(97, -30));
    for (int number : {0, 96, 117, -1}) {
        EXPECT_EQ(d.voltsAcross(number), 0.0) << number;
        EXPECT_EQ(d.resistanceOhm(number), 0.0) << number;
        EXPECT_FALSE(d.trimOhm(number)) << number;
    }
}

TEST(Divider, ATrimAcrossAResistorChangesItAsTheParallelFormulaSays) {
    Divider d;
    ASSERT_TRUE(d.setTrim(110, 750000));
    const double trimmed = 120.0 * 750000 / (120.0 + 750000);
    EXPECT_DOUBLE_EQ(d.resistanceOhm(110), trimmed);
    EXPECT_DOUBLE_EQ(d.totalOhm(), 19 * 120.0 + trimmed);
    EXPECT_DOUBLE_EQ(d.voltsAcross(110), 5 * trimmed / (19 * 120.0 + trimmed));
    EXPECT_DOUBLE_EQ(d.voltsAcross(111), 5 * 120.0 / (19 * 120.0 + trimmed));
    // A trim lowers its resistor by about R / T: 160 ppm here.
    EXPECT_NEAR((d.resistanceOhm(110) / 120.0 - 1) * 1e6, -159.97, 0.01);

    // With a deviation the trim parallels the deviated resistor.
    Divider e(withDeviation(110, 25));
    e.setTrim(110, 301000);
    const double r = 120.0 * (1 + 25e-6);
    EXPECT_DOUBLE_EQ(e.resistanceOhm(110), r * 301000 / (r + 301000));

    EXPECT_TRUE(d.setTrim(110, std::nullopt));
    EXPECT_DOUBLE_EQ(d.resistanceOhm(110), 120.0);
    EXPECT_FALSE(d.setTrim(96, 1000));
    EXPECT_FALSE(d.setTrim(110, 0));
    EXPECT_FALSE(d.setTrim(110, -5));
    EXPECT_FALSE(d.trimOhm(110));
    d.setTrim(97, 1e6);
    d.setTrim(116, 2e6);
    d.removeAllTrims();
    EXPECT_DOUBLE_EQ(d.totalOhm(), 2400.0);
}

TEST(Divider, SpreadDeviationsAreSeededAndBounded) {
    const auto a = spreadDeviations(30, 7), b = spreadDeviations(30, 7),
               c = spreadDeviations(30, 8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    double lo = 0, hi = 0;
    for (double d : a) {
        EXPECT_LE(std::abs(d), 30.0);
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    EXPECT_LT(lo, 0.0);  // twenty draws do not all fall on one side
    EXPECT_GT(hi, 0.0);
}

TEST(Divider, ResistorNamesAreR97ToR116) {
    EXPECT_EQ(resistorNumber("R97"), 97);
    EXPECT_EQ(resistorNumber("R116"), 116);
    for (const char* bad : {"R96", "R117", "r100", "R", "R1000", "100", "R10x", "R0097"})
        EXPECT_EQ(resistorNumber(bad), 0) << bad;
}

// Step i of a run, written as the program writes it: each number with the
// leading blank of a non-negative number.
std::string stepLine(int a, int b, int c, int d) {
    char text[40];
    std::snprintf(text, sizeof text, "K1Y  %d, %d, %d, %d", a, b, c, d);
    return text;
}

TEST(LinearitySteps, EachOfTheTwentyStepLinesSelectsItsResistor) {
    // The run's twenty (A, B, C, D): down in tens of per cent, then up again.
    const int steps[20][4] = {
        {1, 10, 9, 0}, {0, 8, 9, 0}, {1, 8, 7, 0}, {0, 6, 7, 0}, {1, 6, 5, 0},
        {0, 4, 5, 0},  {1, 4, 3, 0}, {0, 2, 3, 0}, {1, 2, 1, 0}, {0, 0, 1, 0},
        {0, 0, 1, 1},  {1, 2, 1, 1}, {0, 2, 3, 1}, {1, 4, 3, 1}, {0, 4, 5, 1},
        {1, 6, 5, 1},  {0, 6, 7, 1}, {1, 8, 7, 1}, {0, 8, 9, 1}, {1, 10, 9, 1},
    };
    DividerConfig c;
    for (int k = 0; k < 20; ++k) c.deviationsPpm[k] = 3.0 * (k + 1);  // all different
    Q270Model q({}, c);
    for (int i = 1; i <= 20; ++i) {
        const int* s = steps[i - 1];
        EXPECT_EQ(linearityStep({s[0], s[1], s[2], s[3]}), i);
        EXPECT_EQ(*q.handleLine(stepLine(s[0], s[1], s[2], s[3])), "0\r\n") << i;
        EXPECT_EQ(q.output().selected(), 117 - i) << i;
        const double volts = q.outputVolts(DividerOutput::Clock::now(), milliseconds(0));
        EXPECT_DOUBLE_EQ(volts, q.divider().voltsAcross(117 - i)) << i;
    }
    EXPECT_EQ(q.steps().size(), 20u);
}

TEST(LinearitySteps, BeforeAnyStepAndAfterAnUnknownOneTheOutputIsZero) {
    Q270Model q({}, withDeviation(116, 10));
    const auto now = DividerOutput::Clock::now;
    EXPECT_EQ(q.output().selected(), 0);
    EXPECT_EQ(q.outputVolts(now(), milliseconds(0)), 0.0);
    q.handleLine(stepLine(1, 10, 9, 0));
    EXPECT_GT(q.outputVolts(now(), milliseconds(0)), 0.24);
    // Well-formed, taken, but no step of the run: nothing on the output.
    EXPECT_EQ(*q.handleLine("K1Y 1,10,9,2"), "0\r\n");
    EXPECT_EQ(q.output().selected(), 0);
    EXPECT_EQ(q.outputVolts(now(), milliseconds(0)), 0.0);
    // A refused line and the other lines leave the output as it is.
    q.handleLine(stepLine(0, 8, 9, 0));
    EXPECT_EQ(*q.handleLine("K1Y 1,10"), "?\r\n");
    q.handleLine("K1A0,5,1,0");
    q.handleLine("DCL");
    EXPECT_EQ(q.output().selected(), 115);
}

TEST(DividerOutput, ASelectionShowsOnlyOnceItHasSettled) {
    DividerOutput out;
    const auto t0 = DividerOutput::Clock::now();
    const auto settle = milliseconds(50);
    EXPECT_EQ(out.shownAt(t0, settle), 0);
    out.select(116, t0);
    EXPECT_EQ(out.selected(), 116);
    EXPECT_EQ(out.shownAt(t0 + milliseconds(49), settle), 0);  // still the previous value
    EXPECT_EQ(out.shownAt(t0 + milliseconds(50), settle), 116);
    out.select(115, t0 + milliseconds(100));
    out.select(114, t0 + milliseconds(120));
    EXPECT_EQ(out.shownAt(t0 + milliseconds(140), settle), 116);
    EXPECT_EQ(out.shownAt(t0 + milliseconds(150), settle), 115);
    EXPECT_EQ(out.shownAt(t0 + milliseconds(170), settle), 114);
    EXPECT_EQ(out.shownAt(t0 + milliseconds(120), milliseconds(0)), 114);
    // Many quick changes: the newest settled one still shows.
    for (int i = 0; i < 30; ++i) out.select(97 + (i % 20), t0 + milliseconds(200 + i));
    EXPECT_EQ(out.shownAt(t0 + milliseconds(229), milliseconds(0)), 97 + 29 % 20);
    EXPECT_EQ(out.shownAt(t0 + milliseconds(1000), settle), 97 + 29 % 20);
}

TEST(DividerScenario, DeviationsTrimsAndExcitationFromTheScenario) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(R"({"usb": [{"kind": "Q270", "serial": "A", "divider": {
        "deviations_ppm": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, -20],
        "excitation_v": 2.5, "trims_ohm": {"R103": 750000, "R116": 2000000}}}],
        "serial": [{"com": 2, "kind": "Q270", "divider": {"spread_ppm": 20, "seed": 3}}]})",
                              s, error))
        << error;
    auto* q = dynamic_cast<Q270Model*>(&s.usb[0]->model());
    ASSERT_TRUE(q);
    const Divider& d = q->divider();
    EXPECT_EQ(d.deviationPpm(97), 1);  // the list begins with R97
    EXPECT_EQ(d.deviationPpm(116), -20);
    EXPECT_EQ(d.excitationV(), 2.5);
    EXPECT_EQ(d.trimOhm(103), 750000);
    EXPECT_EQ(d.trimOhm(116), 2000000);
    EXPECT_FALSE(d.trimOhm(104));
    auto* serial = dynamic_cast<Q270Model*>(s.serial[1].model.get());
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->divider().deviationPpm(97), spreadDeviations(20, 3)[0]);
    EXPECT_EQ(serial->divider().deviationPpm(116), spreadDeviations(20, 3)[19]);

    // Without a divider: twenty exact 120-ohm resistors across 5 V.
    ASSERT_TRUE(parseScenario(R"({"usb": [{"kind": "Q270", "serial": "B"}]})", s, error));
    q = dynamic_cast<Q270Model*>(&s.usb[0]->model());
    EXPECT_EQ(q->divider().totalOhm(), 2400.0);
    EXPECT_EQ(q->divider().excitationV(), 5.0);
}

TEST(DividerScenario, RefusesDividersThatAreNoDivider) {
    for (const char* divider : {
             R"({"deviations_ppm": [1, 2, 3]})",
             R"({"deviations_ppm": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17,
                                    18, 19, "x"]})",
             R"({"deviations_ppm": [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    -2000000]})",
             R"({"spread_ppm": 5, "deviations_ppm": []})",
             R"({"spread_ppm": -1})",
             R"({"excitation_v": 0})",
             R"({"trims_ohm": {"R96": 1000}})",
             R"({"trims_ohm": {"R100": 0}})",
             R"({"trims_ohm": {"R100": "big"}})",
             R"({"trims_ohm": [750000]})",
             R"({"tolerance": 5})",
             R"(5)",
         }) {
        Scenario s;
        std::string error;
        const std::string json =
            std::string(R"({"usb": [{"kind": "Q270", "serial": "A", "divider": )") + divider +
            "}]}";
        EXPECT_FALSE(parseScenario(json, s, error)) << divider;
        EXPECT_FALSE(error.empty()) << divider;
    }
    Scenario s;
    std::string error;
    EXPECT_FALSE(parseScenario(
        R"({"usb": [{"kind": "Q610", "serial": "A", "divider": {"excitation_v": 5}}]})", s, error));
}

}  // namespace
}  // namespace zdx::bench
