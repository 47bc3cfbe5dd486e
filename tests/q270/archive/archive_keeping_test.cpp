// What the archive promises beyond storing a run, on SQLite: the Archiver
// writes ahead (a program killed at any point of archiving leaves its run in
// the archive or the spool), sets nothing aside without naming it, never
// overwrites a run (a later decision is an amendment, another run under the
// same ID a conflict), shows rows changed behind its back, leaves one
// self-contained database file, and reads every run it can when one is
// damaged.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>
#include <fstream>

#include "archive_support.h"
#include "archiver.h"
#include "run_digest.h"
#include "spool.h"
#include "sql_archive.h"

namespace {

using namespace q270;
using namespace q270::testing;
namespace fs = std::filesystem;

const PerStep<std::int16_t> kDecision = TrimsAt({{3, 3}, {19, 5}});
const PerStep<std::int16_t> kLaterDecision = TrimsAt({{5, 1}});

class ArchiveKeepingTest : public ::testing::Test {
  protected:
    ArchiveSettings settings() const {
        ArchiveSettings s;
        s.database = dir_.filePath(QStringLiteral("archive.sqlite"));
        return s;
    }
    std::string spoolFolder() const { return dir_.filePath(QStringLiteral("spool")).toStdString(); }
    Archiver archiver() const { return Archiver::At(settings(), spoolFolder()); }

    // Runs one statement on the archive file outside the archive class.
    void raw(const QString& statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
            db.setDatabaseName(settings().database);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase("raw");
    }

    QTemporaryDir dir_;
};

TEST_F(ArchiveKeepingTest, AProgramKilledAtAnyPointOfArchivingLosesNoRun) {
    { SqlArchive archive(settings()); }
    for (const char* point : {"spooled", "opened", "stored"}) {
        const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T02:15:00Z");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("ZDX_TEST_KILL_AT", point, 1);
            archiver().archive(run);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << point;

        const bool inSpool = fs::exists(spoolFolder() + "/" + run.runId + ".json");
        const bool inArchive = SqlArchive(settings()).fetch(run.runId).has_value();
        EXPECT_TRUE(inSpool || inArchive) << point;
        // The next program sends it, once.
        archiver().sendSpool();
        EXPECT_TRUE(SqlArchive(settings()).fetch(run.runId)) << point;
        EXPECT_TRUE(archiver().spool().files().empty()) << point;
    }
    EXPECT_EQ(SqlArchive(settings()).runs({}).size(), 3u);
}

TEST_F(ArchiveKeepingTest, NoSpoolFileIsDroppedOrSetAsideWithoutAWord) {
    const ArchivedRun archived = Archived("Q270S9-00417", "2026-12-01T08:00:00Z", kDecision);
    SqlArchive(settings()).store(archived);
    Spool spool(spoolFolder());
    // The same run ID with other content: the archive keeps what it has.
    ArchivedRun other = Archived("Q270S9-00417", "2026-12-01T08:00:00Z", std::nullopt, 5);
    other.runId = archived.runId;
    const std::string conflicting = spool.keep(other);
    const ArchivedRun waiting = Archived("Q270S9-00417", "2026-12-02T08:00:00Z");
    spool.keep(waiting);
    std::ofstream(spoolFolder() + "/poison.json") << R"({"format": 1, "version": 1})";
    std::ofstream(spoolFolder() + "/future.json")
        << R"({"format": "zdx-q270-spool", "version": 4294967297})";

    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    const ArchiveReport report = archiver().archive(run);
    EXPECT_TRUE(report.archived);
    EXPECT_EQ(report.sent, 1) << "the waiting run; the conflict is not sent";
    EXPECT_TRUE(fs::exists(conflicting + ".conflict"));
    EXPECT_TRUE(fs::exists(spoolFolder() + "/poison.json.refused"));
    EXPECT_TRUE(fs::exists(spoolFolder() + "/future.json")) << "left for the newer program";
    const std::string status = ArchiveStatusText(report);
    EXPECT_NE(status.find("2 spool file(s) set aside"), std::string::npos) << status;
    EXPECT_NE(status.find("poison.json.refused"), std::string::npos) << status;
    std::string notes;
    for (const auto& n : report.notes) notes += n + "\n";
    EXPECT_NE(notes.find("other content"), std::string::npos) << notes;
    EXPECT_NE(notes.find("newer program"), std::string::npos) << notes;

    SqlArchive archive(settings());
    EXPECT_EQ(archive.fetch(archived.runId)->errSq, archived.errSq) << "not overwritten";
    EXPECT_TRUE(archive.fetch(waiting.runId));
    // Named again on the next call, though nothing new happened.
    const ArchiveReport again = archiver().sendSpool();
    EXPECT_EQ(again.setAside.size(), 2u);
    EXPECT_EQ(again.waiting, 1);
}

TEST_F(ArchiveKeepingTest, ARunTheDatabaseRefusesIsSetAsideAndTheQueueGoesOn) {
    { SqlArchive archive(settings()); }
    raw(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON runs WHEN NEW.bench_host = 'bad' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    ArchivedRun bad = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
    bad.origin.benchHost = "bad";
    Spool(spoolFolder()).keep(bad);
    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    const ArchiveReport report = archiver().archive(run);
    EXPECT_TRUE(report.archived);
    EXPECT_EQ(report.waiting, 0);
    ASSERT_EQ(report.setAside.size(), 1u);
    EXPECT_EQ(report.setAside[0], bad.runId + ".json.refused");
}

TEST_F(ArchiveKeepingTest, ALaterDecisionIsAnAmendmentAndTheOriginalIsKept) {
    ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    run.asLeftOf = NewRunId();
    run.acceptance = Acceptance{std::nullopt, DecisionRule::Simple};
    SqlArchive archive(settings());
    ASSERT_EQ(archive.store(run), StoreOutcome::Stored);
    EXPECT_EQ(CurrentDecision(*archive.fetch(run.runId)).amended, false);

    const Amendment first = MakeAmendment(run, kLaterDecision, "anna");
    EXPECT_EQ(archive.amend(run.runId, first), AmendOutcome::Amended);
    EXPECT_EQ(archive.amend(run.runId, MakeAmendment(run, kLaterDecision, "anna")),
              AmendOutcome::Unchanged);
    const Amendment back = MakeAmendment(run, kDecision, "ben");
    EXPECT_EQ(archive.amend(run.runId, back), AmendOutcome::Amended);
    EXPECT_THROW(archive.amend("no-such-run", first), ArchiveError);
    EXPECT_THROW(MakeAmendment(run, kDecision, "eve\x1b[2J"), RunFileError);
    // Storing the run again (from a spool, say) neither conflicts nor resets it.
    EXPECT_EQ(archive.store(run), StoreOutcome::AlreadyStored);

    const ArchivedRun got = *archive.fetch(run.runId);
    EXPECT_EQ(got.asLeftOf, run.asLeftOf);
    ASSERT_TRUE(got.acceptance);
    EXPECT_FALSE(got.acceptance->limitPpm);
    EXPECT_EQ(got.acceptance->rule, DecisionRule::Simple);
    ASSERT_TRUE(got.decision);
    EXPECT_EQ(got.decision->ShuntSel, kDecision) << "the archived decision stays";
    ASSERT_EQ(got.amendments.size(), 2u);
    EXPECT_EQ(got.amendments[0].operatorLogin, "anna");
    EXPECT_EQ(got.amendments[0].decision.ShuntSel, kLaterDecision);
    EXPECT_EQ(got.amendments[0].decision.predictedLinErr, first.decision.predictedLinErr);
    const DecisionInForce inForce = CurrentDecision(got);
    EXPECT_TRUE(inForce.amended);
    EXPECT_EQ(inForce.amendedBy, "ben");
    EXPECT_EQ(inForce.amendedAt, back.time);
    EXPECT_EQ(inForce.decision->ShuntSel, kDecision);
    EXPECT_EQ(inForce.decision->predictedLinErr, run.decision->predictedLinErr);
    EXPECT_TRUE(archive.verify().empty());
}

TEST_F(ArchiveKeepingTest, VerifyNamesEveryRunChangedBehindTheProgramsBack) {
    const ArchivedRun kept = Archived("Q270S9-00417", "2026-12-01T08:00:00Z", kDecision);
    const ArchivedRun reading = Archived("Q270S9-00417", "2026-12-02T08:00:00Z");
    const ArchivedRun decided = Archived("Q270S9-00417", "2026-12-03T08:00:00Z", kDecision);
    const ArchivedRun amended = Archived("Q270S9-00417", "2026-12-04T08:00:00Z");
    {
        SqlArchive archive(settings());
        for (const auto* r : {&kept, &reading, &decided, &amended}) archive.store(*r);
        archive.amend(amended.runId, MakeAmendment(amended, kDecision, "anna"));
        int checked = 0;
        EXPECT_TRUE(archive.verify(&checked).empty());
        EXPECT_EQ(checked, 4);
    }
    raw(QStringLiteral("UPDATE readings SET mw2 = mw2 * 1.000001 WHERE run_id = '%1' AND step = 7")
            .arg(QString::fromStdString(reading.runId)));
    raw(QStringLiteral("UPDATE decisions SET shunt_sel = '0,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,5,0'"
                       " WHERE run_id = '%1'")
            .arg(QString::fromStdString(decided.runId)));
    raw(QStringLiteral("UPDATE amendments SET operator = 'mallory' WHERE run_id = '%1'")
            .arg(QString::fromStdString(amended.runId)));
    const auto changed = SqlArchive(settings()).verify();
    ASSERT_EQ(changed.size(), 3u);
    std::set<std::string> ids;
    for (const auto& c : changed) ids.insert(c.runId);
    EXPECT_EQ(ids, (std::set<std::string>{reading.runId, decided.runId, amended.runId}));
}

TEST_F(ArchiveKeepingTest, RunsOfTheSecondSchemaGetTheirDigestOnMigration) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "v2");
        db.setDatabaseName(settings().database);
        ASSERT_TRUE(db.open());
        MigrateSchema(db, "v2", 2);
        db.close();
    }
    QSqlDatabase::removeDatabase("v2");
    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-01T08:00:00Z", kDecision);
    // A program of the second schema stored it: no digest, no new columns.
    raw(QStringLiteral("INSERT INTO runs VALUES ('%1', 'Q270S9-00417', 'Q270S9 V1.18', "
                       "'2026-12-01T08:00:00Z', 'bench-7', 'tester', 'BENCH,DMM,0,1.0', '1.0', "
                       "'2026-12-01T08:01:00Z', %2, 1.0, '%3')")
            .arg(QString::fromStdString(run.runId))
            .arg(run.errSq, 0, 'g', 17)
            .arg([&] {
                QStringList parts;
                for (int j = 1; j <= 10; ++j) parts << QString::number(run.linErr[j], 'g', 17);
                return parts.join(',');
            }()));
    for (int i = 1; i <= 20; ++i)
        raw(QStringLiteral("INSERT INTO readings VALUES ('%1', %2, %3, '%4', %5, '%6', 0)")
                .arg(QString::fromStdString(run.runId))
                .arg(i)
                .arg(run.record.Mw1[i].volts, 0, 'g', 17)
                .arg(QString::fromStdString(run.record.Mw1[i].text))
                .arg(run.record.Mw2[i].volts, 0, 'g', 17)
                .arg(QString::fromStdString(run.record.Mw2[i].text)));
    SqlArchive archive(settings());
    EXPECT_TRUE(archive.verify().empty());
    EXPECT_EQ(archive.amend(run.runId, MakeAmendment(*archive.fetch(run.runId), kDecision, "anna")),
              AmendOutcome::Amended);
}

TEST_F(ArchiveKeepingTest, OneDamagedRunIsNamedAndTheOthersStillRead) {
    const ArchivedRun first = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
    const ArchivedRun damaged = Archived("Q270S9-00417", "2026-12-02T08:00:00Z");
    const ArchivedRun last = Archived("Q270S9-00417", "2026-12-03T08:00:00Z");
    {
        SqlArchive archive(settings());
        for (const auto* r : {&first, &damaged, &last}) archive.store(*r);
    }
    raw(QStringLiteral("DELETE FROM readings WHERE run_id = '%1' AND step = 12")
            .arg(QString::fromStdString(damaged.runId)));
    raw(QStringLiteral("UPDATE readings SET shunt_sel = 65539 WHERE run_id = '%1' AND step = 3")
            .arg(QString::fromStdString(last.runId)));
    SqlArchive archive(settings());
    std::vector<RunProblem> problems;
    const auto runs = archive.history("Q270S9-00417", problems);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].runId, first.runId);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].runId, damaged.runId);
    EXPECT_NE(problems[0].problem.find("step 12"), std::string::npos) << problems[0].problem;
    EXPECT_EQ(problems[1].runId, last.runId);
    EXPECT_THROW(archive.fetch(damaged.runId), ArchiveError);
}

TEST_F(ArchiveKeepingTest, TheDatabaseFileAloneHoldsEveryRunOnceTheProgramEnds) {
    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
    Archiver(archiver()).archive(run);
    const std::string file = settings().database.toStdString();
    EXPECT_TRUE(!fs::exists(file + "-wal") || fs::file_size(file + "-wal") == 0);
    const std::string copy = dir_.filePath(QStringLiteral("copy.sqlite")).toStdString();
    fs::copy_file(file, copy);
    ArchiveSettings copied;
    copied.database = QString::fromStdString(copy);
    EXPECT_TRUE(SqlArchive(copied).fetch(run.runId));
}

}  // namespace
