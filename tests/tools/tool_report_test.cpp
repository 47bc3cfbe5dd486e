// zdx-q270 report: the PDF's text (pdftotext) holds the unit, the twenty
// readings as the meter sent them and the figures of the window's table, the
// trim decision and, for a run after a trim decision, the prediction against
// what was measured.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>

#include "archive_support.h"
#include "archiver.h"
#include "pattern_format.h"
#include "report_content.h"
#include "statement.h"
#include "tool_support.h"

namespace {

using namespace zdxtool::testing;
using namespace q270::testing;

// 750 kOhm across R112, 301 kOhm across R103.
const q270::PerStep<std::int16_t> kDecision = TrimsAt({{5, 3}, {14, 5}});

// The run a unit gives once the decision's trim resistors are soldered in:
// the trimmed values of the decided run, read twice with a little noise.
q270::RunRecord FollowUpRun(const q270::ArchivedRun& decided, const std::string& time) {
    q270::ResultsData data = q270::ToResultsData(decided.record);
    data.ShuntSel = kDecision;
    q270::CalcResults(data, true);
    q270::RunRecord record = decided.record;
    for (std::size_t i = 0; i < 20; ++i) {
        for (int k = 0; k < 2; ++k) {
            char text[32];
            std::snprintf(text, sizeof text, "%+.8E\r\n",
                          double(data.ModMw[i + 1]) + (k ? 0.2e-6 : -0.2e-6));
            (k ? record.Mw2 : record.Mw1)[i + 1] = {text, std::strtod(text, nullptr)};
        }
        record.ShuntSel[i] = 0;
    }
    record.time = time;
    return record;
}

class ToolReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toLocal8Bit());
    }
    std::string pdfText(const std::string& pdf) {
        const std::string text = dir_.filePath(QStringLiteral("out.txt")).toStdString();
        QProcess p;
        p.start(
            QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QString::fromStdString(pdf), QString::fromStdString(text)});
        EXPECT_TRUE(p.waitForFinished(30000));
        // The layout pads words with blanks as it likes: one blank stands for any run.
        std::string plain;
        for (const char c : ReadText(text))
            if (c != ' ' || plain.empty() || plain.back() != ' ') plain += c;
        return plain;
    }
    std::string path(const char* name) { return dir_.filePath(name).toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(ToolReportTest, AReportHoldsTheUnitItsStatementTheDecisionAndTheReadings) {
    const q270::ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    q270::SqlArchive(q270::DefaultArchiveSettings()).store(run);

    const ToolRun made = RunTool({"report", run.runId, "-o", path("unit.pdf")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string text = pdfText(path("unit.pdf"));
    for (const std::string& expected :
         {std::string("Q270S9-00417"), std::string("bench-7"), std::string("tester"),
          std::string("BENCH,DMM,0,1.0"), "Report " + run.runId, std::string("page 1 of "),
          std::string("Results at the 10 % points"), std::string("Uncertainty budget"),
          std::string("Measured by"), std::string("Approved by"),
          std::string("trims decided: R112 = 750 kOhm, R103 = 301 kOhm")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    for (int step = 1; step <= 20; ++step) {
        const std::string reply = run.record.Mw1[std::size_t(step)].text.substr(0, 15);
        EXPECT_NE(text.find(reply), std::string::npos) << "step " << step << " " << reply;
    }
    // The statement's double-precision errors with their U, 10 % first.
    const q270::Statement s = q270::MakeStatement(run.record, {});
    std::size_t at = text.find("Results at the 10 % points");
    for (int j = 1; j <= 9; ++j) {
        const auto& p = s.points[std::size_t(j)];
        at = text.find(std::to_string(j * 10) + " % " + q270::Fixed(p.linErr, 2, '.') + " " +
                           q270::Fixed(p.U, 2, '.'),
                       at);
        ASSERT_NE(at, std::string::npos) << "10 % point " << j << "\n" << text;
    }
    // The meter is in no register: no conformity statement, and the reason.
    EXPECT_NE(text.find("not in the meter register"), std::string::npos);
    EXPECT_EQ(text.find("PASS"), std::string::npos);
}

TEST_F(ToolReportTest, AReportOfAnAmendedRunShowsTheDecisionTheArchiveHoldsNow) {
    const q270::ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    {
        q270::SqlArchive archive(q270::DefaultArchiveSettings());
        archive.store(run);
        archive.amend(run.runId, q270::MakeAmendment(run, TrimsAt({{3, 4}}), "anna"));
    }
    const ToolRun made = RunTool({"report", run.runId, "-o", path("unit.pdf")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string text = pdfText(path("unit.pdf"));
    EXPECT_NE(text.find("trims decided: R114 = 499 kOhm"), std::string::npos) << text;
    EXPECT_EQ(text.find("R112 = 750 kOhm"), std::string::npos) << text;
}

TEST_F(ToolReportTest, ALaterRunIsNeverTakenForTheAsLeftRunOfAnEarlierDecision) {
    const q270::ArchivedRun decided = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    const q270::ArchivedRun after = q270::MakeArchivedRun(
        FollowUpRun(decided, "2026-12-08T09:00:00Z"), TestBench(), q270::NewRunId(), std::nullopt);
    {
        q270::SqlArchive archive(q270::DefaultArchiveSettings());
        archive.store(decided);
        archive.store(after);
    }
    ASSERT_EQ(RunTool({"report", after.runId, "-o", path("after.pdf")}).exitCode, 0);
    const std::string text = pdfText(path("after.pdf"));
    EXPECT_EQ(text.find(decided.runId), std::string::npos) << text;
    EXPECT_EQ(text.find("agree with the prediction"), std::string::npos);
    // Left untrimmed, the run is its own as-left run.
    EXPECT_NE(text.find("as found: no trim resistors fitted"), std::string::npos) << text;
}

TEST_F(ToolReportTest, AMeterInTheRegisterAndALimitGiveTheVerdictAPastDueMeterNone) {
    QDir().mkpath(dir_.filePath(QStringLiteral("config/ZDX")));
    WriteText(dir_.filePath(QStringLiteral("config/ZDX/ZDXKalQ270.conf")).toStdString(),
              "[Acceptance]\nLinErrLimit=5000\nRule=non-binary\n");
    const q270::ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    q270::SqlArchive(q270::DefaultArchiveSettings()).store(run);
    const auto add = [](const char* certificate, const char* calibrated, const char* due) {
        return RunTool({"meter", "add", "BENCH,DMM,0,1.0", "--model", "DMM 7", "--serial", "123",
                        "--certificate", certificate, "--calibrated", calibrated, "--due", due});
    };
    // The certificate in force on the run's day was past due; a later one
    // does not make it good again.
    ASSERT_EQ(add("CAL-1", "2025-06-01", "2026-06-01").exitCode, 0);
    ASSERT_EQ(add("CAL-2", "2026-12-09", "2027-12-09").exitCode, 0);
    EXPECT_EQ(add("CAL-2", "2026-12-09", "2027-12-09").exitCode, 1) << "registered once";
    EXPECT_EQ(add("CAL-3", "2026-12-31", "2026-02-30").exitCode, 2) << "no such date";
    const ToolRun list = RunTool({"meter", "show", "BENCH,DMM,0,1.0"});
    EXPECT_NE(list.out.find("CAL-1"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("CAL-2"), std::string::npos);
    ASSERT_EQ(RunTool({"report", run.runId, "-o", path("due.pdf")}).exitCode, 0);
    std::string text = pdfText(path("due.pdf"));
    EXPECT_NE(text.find("calibration due date (2026-06-01)"), std::string::npos) << text;
    EXPECT_EQ(text.find("PASS"), std::string::npos);

    // With a certificate in force: the verdicts in words, and the certificate.
    ASSERT_EQ(add("CAL-0", "2026-12-01", "2027-12-01").exitCode, 0);
    ASSERT_EQ(RunTool({"report", run.runId, "-o", path("good.pdf")}).exitCode, 0);
    text = pdfText(path("good.pdf"));
    EXPECT_NE(text.find("Verdict as found: PASS"), std::string::npos) << text;
    EXPECT_NE(text.find("certificate CAL-0"), std::string::npos);
}

TEST_F(ToolReportTest, AnUnknownRunGivesNoFile) {
    const ToolRun run = RunTool({"report", "no-such-run", "-o", path("x.pdf")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no run \"no-such-run\""), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(path("x.pdf")));
    EXPECT_EQ(RunTool({"report", "x"}).exitCode, 2);
}

}  // namespace
