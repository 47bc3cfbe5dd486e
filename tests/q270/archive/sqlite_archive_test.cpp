// The archive on SQLite: a run kept whole and once, the unit's history in
// time order, migration from the first schema, a newer schema refused, a
// damaged file, and the spool that keeps what could not be stored.
#include <gtest/gtest.h>

#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "archive_support.h"
#include "archiver.h"
#include "sql_archive.h"

namespace {

using namespace q270;
using namespace q270::testing;

// 750 kOhm across R114, 301 kOhm across R98.
const q270::PerStep<std::int16_t> kDecision = TrimsAt({{3, 3}, {19, 5}});

class SqliteArchiveTest : public ::testing::Test {
  protected:
    ArchiveSettings settings() const {
        ArchiveSettings s;
        s.database = dir_.filePath(QStringLiteral("archive.sqlite"));
        return s;
    }
    std::string spoolFolder() const { return dir_.filePath(QStringLiteral("spool")).toStdString(); }

    // Runs one statement on the archive file outside the archive class.
    void raw(const QString& statement, int migrateTo = -1) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
            db.setDatabaseName(settings().database);
            ASSERT_TRUE(db.open());
            if (migrateTo >= 0) MigrateSchema(db, "raw", migrateTo);
            if (!statement.isEmpty()) {
                QSqlQuery q(db);
                ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase("raw");
    }

    QTemporaryDir dir_;
};

TEST_F(SqliteArchiveTest, KeepsEveryFigureOfARunOnceAndListsAUnitOldestFirst) {
    const ArchivedRun later = Archived("Q270S9-00417", "2026-12-08T10:15:00+01:00", kDecision);
    const ArchivedRun earlier = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
    const ArchivedRun other = Archived("Q270S9-00999", "2026-12-02T08:00:00Z");
    {
        SqlArchive archive(settings());
        EXPECT_EQ(archive.store(later), StoreOutcome::Stored);
        EXPECT_EQ(archive.store(earlier), StoreOutcome::Stored);
        EXPECT_EQ(archive.store(other), StoreOutcome::Stored);
        EXPECT_EQ(archive.store(later), StoreOutcome::AlreadyStored);
    }
    SqlArchive archive(settings());
    const auto history = archive.history("Q270S9-00417");
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].runId, earlier.runId);
    EXPECT_FALSE(history[0].decision);

    const ArchivedRun& got = history[1];
    EXPECT_EQ(got.runId, later.runId);
    EXPECT_EQ(got.record.time, "2026-12-08T09:15:00Z");  // kept in UTC
    EXPECT_EQ(got.record.calibratorId, "Q270S9 V1.18");
    EXPECT_EQ(got.record.meterId, std::optional<std::string>("BENCH,DMM,0,1.0"));
    EXPECT_EQ(got.origin.benchHost, "bench-7");
    EXPECT_EQ(got.origin.operatorLogin, "tester");
    for (std::size_t i = 1; i <= 20; ++i) {
        EXPECT_EQ(got.record.Mw1[i].text, later.record.Mw1[i].text);
        EXPECT_EQ(got.record.Mw2[i].volts, later.record.Mw2[i].volts);
    }
    EXPECT_EQ(got.errSq, later.errSq);
    EXPECT_EQ(got.linErr, later.linErr);
    ASSERT_TRUE(got.decision);
    EXPECT_EQ(got.decision->ShuntSel, kDecision);
    EXPECT_EQ(got.decision->predictedLinErr, later.decision->predictedLinErr);
    EXPECT_NE(got.decision->predictedErrSq, got.errSq);

    RunQuery since;
    since.since = "2026-12-02T08:00:00Z";
    EXPECT_EQ(archive.runs(since).size(), 2u);
    EXPECT_EQ(archive.runs({}).size(), 3u);
    EXPECT_FALSE(archive.fetch("no-such-run"));
}

TEST_F(SqliteArchiveTest, ARunThatFailsHalfwayLeavesNothing) {
    { SqlArchive archive(settings()); }
    // The database refuses the twentieth reading: the nineteen before it and
    // the run's row must go with it.
    raw(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON readings WHEN NEW.step = 20 "
                       "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T02:15:00Z");
    SqlArchive archive(settings());
    EXPECT_THROW(archive.store(run), ArchiveError);
    EXPECT_TRUE(archive.runs({}).empty());
    raw(QStringLiteral("DROP TRIGGER refuse"));
    EXPECT_EQ(archive.store(run), StoreOutcome::Stored);
    EXPECT_EQ(archive.history("Q270S9-00417").size(), 1u);
}

TEST_F(SqliteArchiveTest, MigratesARunOfTheFirstSchema) {
    raw({}, 1);
    const ArchivedRun old = Archived("Q270S9-00417", "2026-11-30T12:00:00Z");
    raw(QStringLiteral("INSERT INTO runs VALUES ('old-run', 'Q270S9-00417', 'Q270S9 V1.18', "
                       "'2026-11-30T12:00:00Z', 'bench-1', 'tester', NULL, '0.9', "
                       "'2026-11-30T12:01:00Z', %1, 1.0, '1,2,3,4,5,6,7,8,9,0')")
            .arg(old.errSq, 0, 'g', 17));
    for (int i = 1; i <= 20; ++i)
        raw(QStringLiteral("INSERT INTO readings VALUES ('old-run', %1, 0.25, '+2.5E-01', 0.25, "
                           "'+2.5E-01', 0)")
                .arg(i));
    SqlArchive archive(settings());
    const auto history = archive.history("Q270S9-00417");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].runId, "old-run");
    EXPECT_EQ(history[0].linErr[9], 9.0);
    EXPECT_FALSE(history[0].decision);
    EXPECT_EQ(archive.store(Archived("Q270S9-00417", "2026-12-08T02:15:00Z", kDecision)),
              StoreOutcome::Stored);
    EXPECT_TRUE(archive.history("Q270S9-00417")[1].decision);
}

TEST_F(SqliteArchiveTest, ANewerSchemaIsRefusedAndTheRunWaitsInTheSpool) {
    { SqlArchive archive(settings()); }
    raw(QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(kSchemaVersion + 1));
    try {
        SqlArchive archive(settings());
        FAIL() << "a newer schema was opened";
    } catch (const ArchiveError& error) {
        EXPECT_NE(std::string(error.what()).find("newer than this program"), std::string::npos)
            << error.what();
    }
    Archiver archiver = Archiver::At(settings(), spoolFolder());
    const ArchiveReport report = archiver.archive(Archived("Q270S9-00417", "2026-12-08T02:15:00Z"));
    EXPECT_FALSE(report.archived);
    EXPECT_TRUE(report.spooled);
    EXPECT_EQ(report.waiting, 1);
    EXPECT_NE(ArchiveStatusText(report).find("kept in the spool"), std::string::npos);
}

TEST_F(SqliteArchiveTest, ADamagedFileSpoolsUntilTheArchiveIsBackThenSendsEachRunOnce) {
    {
        std::ofstream garbage(settings().database.toStdString(), std::ios::binary);
        garbage << std::string(4096, '\x5a');
    }
    Archiver archiver = Archiver::At(settings(), spoolFolder());
    const ArchivedRun first = Archived("Q270S9-00417", "2026-12-08T02:15:00Z", kDecision);
    const ArchivedRun second = Archived("Q270S9-00417", "2026-12-08T03:15:00Z");
    EXPECT_TRUE(archiver.archive(first).spooled);
    EXPECT_TRUE(archiver.archive(second).spooled);
    ASSERT_EQ(archiver.spool().files().size(), 2u);

    // A spooled run reads back as it was archived, trim decision and all.
    const ArchivedRun kept = archiver.spool().read(archiver.spool().files()[0]);
    EXPECT_EQ(kept.runId, first.runId);
    EXPECT_EQ(kept.errSq, first.errSq);
    ASSERT_TRUE(kept.decision);
    EXPECT_EQ(kept.decision->predictedLinErr, first.decision->predictedLinErr);

    std::filesystem::rename(settings().database.toStdString(),
                            settings().database.toStdString() + ".damaged");
    // The program died after the upload of the first run but before its spool
    // file was removed: that file comes back.
    {
        SqlArchive archive(settings());
        archive.store(kept);
    }
    const ArchivedRun third = Archived("Q270S9-00417", "2026-12-08T04:15:00Z");
    const ArchiveReport report = archiver.archive(third);
    EXPECT_TRUE(report.archived);
    EXPECT_EQ(report.sent, 2);
    EXPECT_EQ(report.waiting, 0);
    EXPECT_EQ(archiver.sendSpool().sent, 0);

    SqlArchive archive(settings());
    const auto history = archive.history("Q270S9-00417");
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].runId, first.runId);
    EXPECT_EQ(history[1].runId, second.runId);
    EXPECT_EQ(history[2].runId, third.runId);
}

TEST_F(SqliteArchiveTest, ARefusedSpoolFileIsSetAsideAndHoldsUpNoOther) {
    Archiver archiver = Archiver::At(settings(), spoolFolder());
    std::filesystem::create_directories(spoolFolder());
    std::ofstream(spoolFolder() + "/broken.json") << "{\"format\": \"zdx-q270-spool\"";
    const ArchiveReport report = archiver.archive(Archived("Q270S9-00417", "2026-12-08T02:15:00Z"));
    EXPECT_TRUE(report.archived);
    EXPECT_EQ(report.waiting, 0);
    EXPECT_TRUE(std::filesystem::exists(spoolFolder() + "/broken.json.refused"));
}

TEST(ArchiveSettingsTest, SectionArchiveNamesTheServerAndNothingMeansTheLocalFile) {
    const ArchiveSettings plain = ReadArchiveSettings(QStringLiteral("ZDXArchiveTest"));
    EXPECT_EQ(plain.driver, ArchiveDriver::Sqlite);
    EXPECT_TRUE(plain.database.endsWith(QStringLiteral("/ZDX/ZDXKalQ270/archive.sqlite")));
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                        QStringLiteral("ZDXArchiveTest"));
        store.setValue(QStringLiteral("Archive/Driver"), QStringLiteral("PostgreSQL"));
        store.setValue(QStringLiteral("Archive/Host"), QStringLiteral("lab-db"));
        store.setValue(QStringLiteral("Archive/Port"), QStringLiteral("5433"));
        store.setValue(QStringLiteral("Archive/User"), QStringLiteral("bench"));
    }
    const ArchiveSettings lab = ReadArchiveSettings(QStringLiteral("ZDXArchiveTest"));
    EXPECT_EQ(lab.driver, ArchiveDriver::PostgreSql);
    EXPECT_EQ(lab.host, QStringLiteral("lab-db"));
    EXPECT_EQ(lab.port, 5433);
    EXPECT_EQ(lab.database, QStringLiteral("zdx_archive"));
    EXPECT_EQ(lab.user, QStringLiteral("bench"));
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                        QStringLiteral("ZDXArchiveTest"));
        store.setValue(QStringLiteral("Archive/Driver"), QStringLiteral("oracle"));
    }
    EXPECT_THROW(ReadArchiveSettings(QStringLiteral("ZDXArchiveTest")), std::invalid_argument);
}

}  // namespace
