// zdx-q270 history and export on an archive in a folder of the test's own:
// the unit's runs oldest first with the archive's figures, the spool sent
// before anything is listed, and the CSV and JSON exports with their filters.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <filesystem>

#include "archive_support.h"
#include "archiver.h"
#include "tool_support.h"

namespace {

using namespace zdxtool::testing;
using namespace q270::testing;
using nlohmann::json;

// 750 kOhm across R114, 301 kOhm across R98.
const q270::PerStep<std::int16_t> kDecision = TrimsAt({{3, 3}, {19, 5}});

class ToolArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The tool and this test find the same default archive and spool.
        qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toLocal8Bit());
        first_ = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
        second_ = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision, 20);
        other_ = Archived("Q270S9-00999", "2026-12-05T08:00:00Z");
        q270::SqlArchive archive(q270::DefaultArchiveSettings());
        archive.store(second_);
        archive.store(other_);
    }
    QTemporaryDir dir_;
    q270::ArchivedRun first_, second_, other_;
};

TEST_F(ToolArchiveTest, HistorySendsTheSpoolThenListsTheUnitsRunsOldestFirst) {
    // The first run could not be archived when it was measured.
    q270::Spool(q270::DefaultSpoolFolder().toStdString()).keep(first_);

    const ToolRun run = RunTool({"history", "Q270S9-00417", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("1 spooled run(s) sent"), std::string::npos) << run.err;
    const json shown = json::parse(run.out);
    ASSERT_EQ(shown["runs"].size(), 2u);
    EXPECT_EQ(shown["runs"][0]["run_id"], first_.runId);
    EXPECT_EQ(shown["runs"][0]["ErrSq"].get<double>(), first_.errSq);
    EXPECT_TRUE(shown["runs"][0]["decision"].is_null());
    const json& later = shown["runs"][1];
    EXPECT_EQ(later["run_id"], second_.runId);
    EXPECT_EQ(later["bench_host"], "bench-7");
    EXPECT_EQ(later["LinErrMax"].get<double>(), q270::LargestLinErr(second_));
    EXPECT_EQ(later["decision"]["trims"], "R114=750k R98=301k");
    EXPECT_EQ(later["decision"]["ErrSq"].get<double>(), second_.decision->predictedErrSq);
    EXPECT_TRUE(q270::Spool(q270::DefaultSpoolFolder().toStdString()).files().empty());

    const ToolRun text = RunTool({"history", "Q270S9-00417"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.err, "") << "the spool was sent once";
    EXPECT_LT(text.out.find(first_.runId), text.out.find(second_.runId));
    EXPECT_NE(text.out.find("R114=750k R98=301k"), std::string::npos) << text.out;
    EXPECT_EQ(RunTool({"history", "Q270S9-00001"}).out, "no archived run of Q270S9-00001\n");
    EXPECT_EQ(RunTool({"history"}).exitCode, 2);
}

TEST_F(ToolArchiveTest, ExportGivesEveryRunOrTheChosenOnesAsCsvOrJson) {
    const ToolRun csv = RunTool({"export", "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    std::vector<std::string> lines;
    std::istringstream in(csv.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << csv.out;
    EXPECT_EQ(lines[0].rfind("run_id,serial,calibrator_id,time,", 0), 0u);
    EXPECT_NE(lines[1].find(other_.runId + ",Q270S9-00999,"), std::string::npos);
    EXPECT_NE(lines[1].find(",\"BENCH,DMM,0,1.0\","), std::string::npos) << "quoted";
    EXPECT_NE(lines[2].find(second_.runId), std::string::npos);

    const ToolRun chosen =
        RunTool({"export", "--serial", "Q270S9-00417", "--since", "2026-12-02", "--json"});
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
    const json doc = json::parse(chosen.out);
    ASSERT_EQ(doc["runs"].size(), 1u);
    EXPECT_EQ(doc["runs"][0]["run_id"], second_.runId);
    EXPECT_EQ(doc["runs"][0]["steps"][19]["Mw2_text"], second_.record.Mw2[20].text);

    EXPECT_EQ(RunTool({"export"}).exitCode, 2);
    EXPECT_EQ(RunTool({"export", "--csv", "--since", "yesterday"}).exitCode, 2);
}

TEST_F(ToolArchiveTest, AnArchiveTheToolCannotUseIsReportedNotHidden) {
    const std::string file = q270::DefaultArchiveSettings().database.toStdString();
    std::filesystem::remove(file + "-wal");
    std::filesystem::remove(file + "-shm");
    std::ofstream(file, std::ios::trunc) << std::string(4096, 'Z');
    const ToolRun run = RunTool({"history", "Q270S9-00417"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("SQLite archive"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace
