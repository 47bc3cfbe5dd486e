// zdx-q270 report: the PDF's text (pdftotext) holds the unit, the twenty
// readings as the meter sent them and the figures of the window's table, the
// trim decision and, for a run after a trim decision, the prediction against
// what was measured.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <filesystem>

#include "archive_support.h"
#include "archiver.h"
#include "pattern_format.h"
#include "report_content.h"
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

TEST_F(ToolReportTest, AReportHoldsTheUnitTheReadingsTheTableAndTheDecision) {
    const q270::ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    q270::SqlArchive(q270::DefaultArchiveSettings()).store(run);

    const ToolRun made = RunTool({"report", run.runId, "-o", path("unit.pdf")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string text = pdfText(path("unit.pdf"));
    EXPECT_NE(text.find("Q270S9-00417"), std::string::npos);
    EXPECT_NE(text.find("bench-7"), std::string::npos);
    EXPECT_NE(text.find("tester"), std::string::npos);
    EXPECT_NE(text.find("BENCH,DMM,0,1.0"), std::string::npos);
    EXPECT_NE(text.find(run.runId), std::string::npos);
    for (std::size_t i = 0; i < 20; ++i) {
        std::string reply = run.record.Mw1[i + 1].text.substr(0, 15);
        EXPECT_NE(text.find(reply), std::string::npos) << "step " << i + 1 << " " << reply;
        reply = run.record.Mw2[i + 1].text.substr(0, 15);
        EXPECT_NE(text.find(reply), std::string::npos) << "step " << i + 1 << " " << reply;
    }
    // The 10 % point errors as the table's column "d% ppm" shows them, row 1
    // (100 %) first, and the trimmed ones of "d% tst".
    q270::ResultsData data = q270::ToResultsData(run.record);
    q270::CalcResults(data, false);
    const std::size_t table = text.find("d% tst");
    ASSERT_NE(table, std::string::npos);
    std::size_t at = table;
    for (int j = 10; j >= 1; --j) {
        const std::string shown =
            q270::formatPattern(data.LinErr[std::size_t(j)], "#######0.0", '.');
        at = text.find(" " + shown.substr(shown.find_first_not_of(' ')), at);
        ASSERT_NE(at, std::string::npos) << "10 % point " << j;
    }
    EXPECT_NE(text.find("Trim resistors: R112=750k R103=301k"), std::string::npos);
    EXPECT_NE(text.find("predicted " + q270::Fixed(run.decision->predictedErrSq, 1, '.')),
              std::string::npos);
    EXPECT_EQ(text.find("Prediction against this run"), std::string::npos);
}

TEST_F(ToolReportTest, ARunAfterATrimDecisionIsComparedWithItsPrediction) {
    const q270::ArchivedRun decided = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    const q270::ArchivedRun after = q270::MakeArchivedRun(
        FollowUpRun(decided, "2026-12-08T09:00:00Z"), TestBench(), q270::NewRunId(), std::nullopt);
    {
        q270::SqlArchive archive(q270::DefaultArchiveSettings());
        archive.store(decided);
        archive.store(after);
    }
    ASSERT_EQ(RunTool({"report", after.runId, "-o", path("after.pdf")}).exitCode, 0);
    std::string text = pdfText(path("after.pdf"));
    EXPECT_NE(text.find("Follows the trim decision of run " + decided.runId), std::string::npos);
    EXPECT_NE(text.find("agree with the prediction within their uncertainty"), std::string::npos)
        << text;
    EXPECT_NE(
        text.find("50 %: predicted " + q270::Fixed(decided.decision->predictedLinErr[5], 1, '.')),
        std::string::npos);

    // The same run from a run file, without its decision changed: now with a
    // trim resistor the decision did not have, it disagrees.
    q270::RunRecord wrong = FollowUpRun(decided, "2026-12-08T10:00:00Z");
    for (std::size_t i = 0; i < 20; ++i) {
        wrong.Mw1[i].volts *= i == 3 ? 1.0002 : 1.0;
        char t[32];
        std::snprintf(t, sizeof t, "%+.8E\r\n", wrong.Mw1[i].volts);
        wrong.Mw1[i] = {t, std::strtod(t, nullptr)};
        wrong.Mw2[i] = wrong.Mw1[i];
    }
    q270::WriteRunFile(path("wrong.json"), wrong);
    ASSERT_EQ(RunTool({"report", path("wrong.json"), "-o", path("wrong.pdf")}).exitCode, 0);
    text = pdfText(path("wrong.pdf"));
    EXPECT_NE(text.find("DISAGREES"), std::string::npos) << text;
    EXPECT_NE(text.find("do not agree with the prediction"), std::string::npos);
}

TEST_F(ToolReportTest, AnUnknownRunGivesNoFile) {
    const ToolRun run = RunTool({"report", "no-such-run", "-o", path("x.pdf")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no run \"no-such-run\""), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(path("x.pdf")));
    EXPECT_EQ(RunTool({"report", "x"}).exitCode, 2);
}

}  // namespace
