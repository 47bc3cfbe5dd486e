// What a calibration report says: the verdicts in words only with a limit and
// a reference meter in the register and in date, the reason when the
// statement is withheld, and an as-left run checked against its decision's
// prediction.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive_support.h"
#include "calibration.h"
#include "report_content.h"

namespace {

using namespace q270;
using namespace q270::testing;

const PerStep<std::int16_t> kDecision = TrimsAt({{5, 3}, {14, 5}});

// The unit measured again with the decision's trims fitted: the decided run's
// trimmed readings, read twice with a little noise.
RunRecord AsLeftRun(const ArchivedRun& decided) {
    ResultsData data = ReadingsWithTrims(decided.record, kDecision);
    CalcResults(data, true);
    RunRecord record = decided.record;
    for (int step = 1; step <= kStepCount; ++step) {
        for (int k = 0; k < 2; ++k) {
            char text[32];
            std::snprintf(text, sizeof text, "%+.8E\r\n",
                          double(data.ModMw[std::size_t(step)]) + (k ? 0.2e-6 : -0.2e-6));
            (k ? record.Mw2 : record.Mw1)[std::size_t(step)] = {text, std::strtod(text, nullptr)};
        }
        record.ShuntSel[std::size_t(step)] = 0;
    }
    record.time = "2026-12-08T09:00:00Z";
    return record;
}

std::string SummaryValue(const ReportContent& c, const std::string& label) {
    std::string values;
    for (const auto& [l, v] : c.summary)
        if (l == label) values += v + "\n";
    return values;
}

ReportOptions InDateMeter(double limit) {
    ReportOptions o;
    o.acceptance = {limit, DecisionRule::Guarded};
    o.meter = ReferenceMeter{"BENCH,DMM,0,1.0", "DMM 7",      "123",
                             "CAL-2026-0042",   "2026-06-01", "2027-06-01"};
    return o;
}

TEST(ReportContentTest, AWideLimitAndAMeterInDateGiveAPassAsFoundAndAsLeft) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    const ArchivedRun left = MakeArchivedRun(AsLeftRun(found), TestBench(), NewRunId(), {});
    const ReportContent c = MakeReport(found, left, InDateMeter(5000), '.');
    EXPECT_EQ(c.number, found.runId);
    EXPECT_EQ(SummaryValue(c, "Verdict as found").rfind("PASS", 0), 0u)
        << SummaryValue(c, "Verdict as found");
    EXPECT_EQ(SummaryValue(c, "Verdict as left").rfind("PASS", 0), 0u);
    EXPECT_NE(SummaryValue(c, "Reference meter").find("certificate CAL-2026-0042"),
              std::string::npos);
    EXPECT_NE(SummaryValue(c, "As left").find(left.runId), std::string::npos);
    // The fitted trims meet their prediction at every point.
    EXPECT_NE(SummaryValue(c, "Prediction").find("agree with the prediction at every point"),
              std::string::npos)
        << SummaryValue(c, "Prediction");
    const ReportTable& table = *c.sections.front().table;
    ASSERT_EQ(table.rows.size(), 10u);
    for (int j = 1; j <= 9; ++j) {
        EXPECT_EQ(table.rows[std::size_t(j - 1)].back(), "pass") << j;
        EXPECT_EQ(table.rows[std::size_t(j - 1)][5].find('!'), std::string::npos) << j;
    }
    // The plot has as-found, predicted and as-left curves and the limit.
    EXPECT_EQ(c.plot.curves.size(), 3u);
    EXPECT_EQ(c.plot.limitPpm, 5000.0);
}

TEST(ReportContentTest, AnAsLeftRunThatMissesThePredictionIsMarkedAtThatPoint) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    RunRecord wrong = AsLeftRun(found);
    // A trim resistor on the wrong step: step 7 reads 200 ppm high.
    for (auto* reading : {&wrong.Mw1[7], &wrong.Mw2[7]}) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.8E\r\n", reading->volts * 1.0002);
        *reading = {text, std::strtod(text, nullptr)};
    }
    const ArchivedRun left = MakeArchivedRun(wrong, TestBench(), NewRunId(), {});
    const ReportContent c = MakeReport(found, left, InDateMeter(5000), '.');
    EXPECT_NE(SummaryValue(c, "Prediction").find("do NOT agree"), std::string::npos);
    const ReportTable& table = *c.sections.front().table;
    const auto marked = std::count_if(table.rows.begin(), table.rows.end(), [](const auto& row) {
        return row[5].find('!') != std::string::npos;
    });
    EXPECT_GE(marked, 3);
}

TEST(ReportContentTest, AnAmendedDecisionIsShownAsAmended) {
    ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    found.amendments.push_back(MakeAmendment(found, kDecision, "inspector"));
    const ReportContent c =
        MakeReport(WithDecisionInForce(found), std::nullopt, InDateMeter(5000), '.');
    std::string after;
    for (const ReportSection& section : c.sections)
        for (const std::string& text : section.after) after += text + "\n";
    EXPECT_NE(after.find("R112 = 750 kOhm"), std::string::npos) << after;
    EXPECT_NE(after.find("amended " + found.amendments[0].time + " by inspector"),
              std::string::npos)
        << after;
}

TEST(ReportContentTest, TheStatementIsWithheldWithItsReason) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    ReportOptions pastDue = InDateMeter(5000);
    pastDue.meter->due = "2026-12-01";
    ReportOptions unknown = InDateMeter(5000);
    unknown.meter.reset();
    ReportOptions noLimit = InDateMeter(5000);
    noLimit.acceptance.limitPpm.reset();
    for (const auto& [options, reason] :
         {std::pair{pastDue, "past its calibration due date (2026-12-01)"},
          std::pair{unknown, "is not in the meter register"},
          std::pair{noLimit, "no limit is set"}}) {
        const ReportContent c = MakeReport(found, std::nullopt, options, '.');
        const std::string verdict = SummaryValue(c, "Verdict as found");
        EXPECT_EQ(verdict.rfind("no conformity statement: ", 0), 0u) << verdict;
        EXPECT_NE(verdict.find(reason), std::string::npos) << verdict;
        EXPECT_EQ(c.sections.front().table->rows.front().back(), "-");
    }
    // Untrimmed, the run is its own as-left run.
    const ReportContent c = MakeReport(found, std::nullopt, InDateMeter(5000), '.');
    EXPECT_EQ(SummaryValue(c, "As left"), "as found: no trim resistors fitted\n");
    EXPECT_EQ(SummaryValue(c, "Verdict as left").rfind("PASS", 0), 0u);
}

TEST(ReportContentTest, TheStatementLineSaysLimitRuleVerdictAndTheLargestError) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    const Statement passed = MakeStatement(found.record, {5000, DecisionRule::NonBinary});
    const std::string line = StatementLine(passed, "", ',');
    EXPECT_EQ(line.rfind("Limit 5000,00 ppm, non-binary: PASS; largest error ", 0), 0u) << line;
    EXPECT_NE(line.find("U (k = 2,"), std::string::npos) << line;
    EXPECT_EQ(StatementLine(MakeStatement(found.record, {}), "", '.').rfind("No limit set; ", 0),
              0u);
    EXPECT_NE(StatementLine(passed, "the reference meter X is not in the meter register", '.')
                  .find("no verdict (the reference meter X is not in the meter register)"),
              std::string::npos);
}

}  // namespace

namespace {

using namespace q270;
using namespace q270::testing;

ArchivedRun AsLeftOf(const ArchivedRun& found, const std::string& time) {
    RunRecord record = AsLeftRun(found);
    record.time = time;
    ArchivedRun left = MakeArchivedRun(record, TestBench(), NewRunId(), {});
    left.asLeftOf = found.runId;
    return left;
}

TEST(CalibrationTest, RunsArePairedOnlyByTheLinkTheOperatorGave) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    // Measured again before the trims were fitted: later, but no as-left run.
    const ArchivedRun again = Archived("Q270S9-00417", "2026-12-08T08:30:00Z");
    const ArchivedRun first = AsLeftOf(found, "2026-12-08T09:00:00Z");
    const ArchivedRun second = AsLeftOf(found, "2026-12-08T10:00:00Z");
    const std::vector<ArchivedRun> unit{found, again, second, first};

    const Calibration byFound = CalibrationOf(found, unit);
    ASSERT_TRUE(byFound.asLeft);
    EXPECT_EQ(byFound.asLeft->runId, second.runId);  // the latest of its as-left runs
    const Calibration byLeft = CalibrationOf(first, unit);
    EXPECT_EQ(byLeft.asFound.runId, found.runId);
    EXPECT_EQ(byLeft.asLeft->runId, first.runId);

    // Only a decided as-found run can be verified: the newest first.
    const ArchivedRun later = Archived("Q270S9-00417", "2026-12-08T11:00:00Z", kDecision);
    std::vector<std::string> offered;
    for (const ArchivedRun& r : AsLeftCandidates({found, again, first, later}))
        offered.push_back(r.runId);
    EXPECT_EQ(offered, (std::vector<std::string>{later.runId, found.runId}));

    // Without its links the decided run has no as-left run yet.
    EXPECT_FALSE(CalibrationOf(found, {found, again}).asLeft);
    // A run left without trims is both.
    const Calibration untrimmed = CalibrationOf(again, unit);
    EXPECT_EQ(untrimmed.asLeft->runId, again.runId);
    // An as-left run whose as-found run is elsewhere stands alone.
    const Calibration alone = CalibrationOf(first, {first});
    EXPECT_EQ(alone.asFound.runId, first.runId);
    EXPECT_FALSE(alone.asLeft);
}

TEST(CalibrationTest, ARunIsJudgedByTheLimitKeptWithItAndItsPredictionChecked) {
    const ArchivedRun found = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    ArchivedRun left = AsLeftOf(found, "2026-12-08T09:00:00Z");
    // The site's limit today is far too tight; the run kept the wide one.
    ReportOptions site = InDateMeter(0.001);
    left.acceptance = Acceptance{5000, DecisionRule::Simple};
    RunVerdict v = VerdictOfRun(left, found, site);
    EXPECT_EQ(v.verdict, Verdict::Pass);
    EXPECT_EQ(v.predictionAgrees, true);
    // Without a kept limit the site's rules.
    left.acceptance.reset();
    EXPECT_EQ(VerdictOfRun(left, found, site).verdict, Verdict::Fail);
    // A past-due meter withholds the verdict, with the reason.
    ReportOptions pastDue = InDateMeter(5000);
    pastDue.meter->due = "2026-12-01";
    v = VerdictOfRun(left, found, pastDue);
    EXPECT_FALSE(v.verdict);
    EXPECT_NE(v.withheldBecause.find("past its calibration due date"), std::string::npos);
    // A trim resistor fitted on the wrong step misses the prediction.
    RunRecord wrong = left.record;
    for (auto* reading : {&wrong.Mw1[7], &wrong.Mw2[7]}) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.8E\r\n", reading->volts * 1.0002);
        *reading = {text, std::strtod(text, nullptr)};
    }
    const ArchivedRun missed = MakeArchivedRun(wrong, TestBench(), NewRunId(), {});
    EXPECT_EQ(VerdictOfRun(missed, found, site).predictionAgrees, false);
    // A run that is no as-left run has no prediction to meet.
    EXPECT_FALSE(VerdictOfRun(found, std::nullopt, site).predictionAgrees);
}

}  // namespace
