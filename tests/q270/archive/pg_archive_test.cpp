// The archive on a real PostgreSQL server (scripts/pg-cluster.sh starts one
// for the test run and names it in ZDX_TEST_PG_HOST, _PORT, _USER and _CTL):
// two writers at once, the server stopped in the middle of a write, a
// migration from the first schema and a newer schema refused. Each test has
// a database of its own; without a server every test is skipped.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "archive_support.h"
#include "archiver.h"
#include "sql_archive.h"

namespace {

using namespace q270;
using namespace q270::testing;

// 750 kOhm across R114, 301 kOhm across R98.
const q270::PerStep<std::int16_t> kDecision = TrimsAt({{3, 3}, {19, 5}});

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A connection outside the archive class, for what a test does behind its back.
class RawConnection {
  public:
    RawConnection(const ArchiveSettings& s, const QString& database)
        : name_(QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        db.setHostName(s.host);
        db.setPort(s.port);
        db.setUserName(s.user);
        db.setDatabaseName(database);
        ok_ = db.open();
    }
    ~RawConnection() {
        { QSqlDatabase::database(name_, false).close(); }
        QSqlDatabase::removeDatabase(name_);
    }
    bool ok() const { return ok_; }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }
    bool exec(const QString& statement) {
        QSqlQuery q(db());
        return q.exec(statement);
    }
    int count(const QString& statement) {
        QSqlQuery q(db());
        return q.exec(statement) && q.next() ? q.value(0).toInt() : -1;
    }

  private:
    QString name_;
    bool ok_ = false;
};

class PgArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("ZDX_TEST_PG_HOST"))
            GTEST_SKIP()
                << "no PostgreSQL server named (ZDX_TEST_PG_HOST; scripts/test.sh starts one)";
        settings_.driver = ArchiveDriver::PostgreSql;
        settings_.host = qEnvironmentVariable("ZDX_TEST_PG_HOST");
        settings_.port = qEnvironmentVariable("ZDX_TEST_PG_PORT").toInt();
        settings_.user = qEnvironmentVariable("ZDX_TEST_PG_USER");
        settings_.database =
            QStringLiteral("zdx_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
        RawConnection admin(settings_, QStringLiteral("postgres"));
        ASSERT_TRUE(admin.ok()) << "the server named in ZDX_TEST_PG_HOST cannot be reached";
        ASSERT_TRUE(admin.exec(QStringLiteral("CREATE DATABASE ") + settings_.database));
    }
    void TearDown() override {
        if (settings_.database.isEmpty()) return;
        RawConnection admin(settings_, QStringLiteral("postgres"));
        admin.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + settings_.database +
                   QStringLiteral(" WITH (FORCE)"));
    }
    static void serverCtl(const char* action) {
        ASSERT_EQ(QProcess::execute(qEnvironmentVariable("ZDX_TEST_PG_CTL"), {action}), 0)
            << action;
    }

    ArchiveSettings settings_;
    QTemporaryDir dir_;
};

TEST_F(PgArchiveTest, TwoBenchesWritingAtOnceLoseAndDuplicateNothing) {
    // Both open the new database at once: one migrates, the other waits.
    const ArchivedRun shared = Archived("Q270S9-00417", "2026-12-08T07:00:00Z", kDecision);
    constexpr int kEach = 15;
    std::atomic<int> stored{0}, again{0}, failed{0};
    auto bench = [&](int which) {
        try {
            SqlArchive archive(settings_);
            for (int n = 0; n < kEach; ++n) {
                char time[32];
                std::snprintf(time, sizeof time, "2026-12-08T%02d:%02d:00Z", 8 + which, n);
                archive.store(Archived("Q270S9-00417", time, std::nullopt, n));
                if (n == kEach / 2)
                    (archive.store(shared) == StoreOutcome::Stored ? stored : again)++;
            }
        } catch (const ArchiveError& error) {
            ADD_FAILURE() << error.what();
            ++failed;
        }
    };
    std::thread first(bench, 0), second(bench, 1);
    first.join();
    second.join();
    ASSERT_EQ(failed, 0);
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(again, 1);

    SqlArchive archive(settings_);
    const auto history = archive.history("Q270S9-00417");
    EXPECT_EQ(history.size(), std::size_t(2 * kEach + 1));
    RawConnection raw(settings_, settings_.database);
    EXPECT_EQ(raw.count(QStringLiteral("SELECT COUNT(*) FROM readings")), 20 * (2 * kEach + 1));
    EXPECT_EQ(raw.count(QStringLiteral("SELECT COUNT(*) FROM schema_version")), kSchemaVersion);
}

TEST_F(PgArchiveTest, AServerStoppedMidWriteKeepsTheRunInTheSpoolThenTakesItOnce) {
    { SqlArchive archive(settings_); }
    // Another session holds the readings: the write stops there, its run
    // row already inserted in its transaction.
    RawConnection blocker(settings_, settings_.database);
    ASSERT_TRUE(blocker.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(blocker.exec(QStringLiteral("LOCK TABLE readings IN ACCESS EXCLUSIVE MODE")));

    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    const std::string spool = dir_.filePath(QStringLiteral("spool")).toStdString();
    ArchiveReport report;
    std::thread writer([&] { report = Archiver::At(settings_, spool).archive(run); });
    RawConnection watcher(settings_, settings_.database);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (watcher.count(QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE NOT granted")) < 1 &&
           std::chrono::steady_clock::now() < deadline)
        QThread::msleep(20);
    serverCtl("stop");
    writer.join();
    serverCtl("start");

    EXPECT_FALSE(report.archived);
    EXPECT_TRUE(report.spooled);
    EXPECT_EQ(report.waiting, 1);

    Archiver archiver = Archiver::At(settings_, spool);
    EXPECT_EQ(archiver.sendSpool().sent, 1);
    EXPECT_EQ(archiver.sendSpool().sent, 0);
    SqlArchive archive(settings_);
    const auto history = archive.history("Q270S9-00417");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].runId, run.runId);
    ASSERT_TRUE(history[0].decision);
    EXPECT_EQ(history[0].decision->predictedLinErr, run.decision->predictedLinErr);
    RawConnection raw(settings_, settings_.database);
    EXPECT_EQ(raw.count(QStringLiteral("SELECT COUNT(*) FROM readings")), 20);
}

TEST_F(PgArchiveTest, ARunOfTheFirstSchemaIsKeptThroughTheMigration) {
    {
        RawConnection raw(settings_, settings_.database);
        QSqlDatabase db = raw.db();
        MigrateSchema(db, "first schema", 1);
        ASSERT_TRUE(raw.exec(
            QStringLiteral("INSERT INTO runs VALUES ('old-run', 'Q270S9-00417', 'Q270S9 V1.18', "
                           "'2026-11-30T12:00:00Z', 'bench-1', 'tester', NULL, '0.9', "
                           "'2026-11-30T12:01:00Z', 12.5, 1.0, '1,2,3,4,5,6,7,8,9,0')")));
        for (int i = 1; i <= 20; ++i)
            ASSERT_TRUE(raw.exec(QStringLiteral("INSERT INTO readings VALUES ('old-run', %1, 0.25, "
                                                "'+2.5E-01', 0.25, '+2.5E-01', 0)")
                                     .arg(i)));
    }
    SqlArchive archive(settings_);
    EXPECT_EQ(archive.store(Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision)),
              StoreOutcome::Stored);
    const auto history = archive.history("Q270S9-00417");
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].runId, "old-run");
    EXPECT_EQ(history[0].errSq, 12.5);
    EXPECT_FALSE(history[0].decision);
    EXPECT_TRUE(history[1].decision);
}

TEST_F(PgArchiveTest, ANewerSchemaIsRefusedAndNothingIsWrittenToIt) {
    { SqlArchive archive(settings_); }
    RawConnection raw(settings_, settings_.database);
    ASSERT_TRUE(
        raw.exec(QStringLiteral("INSERT INTO schema_version VALUES (%1)").arg(kSchemaVersion + 1)));
    EXPECT_THROW(SqlArchive archive(settings_), ArchiveError);
    const ArchiveReport report =
        Archiver::At(settings_, dir_.filePath(QStringLiteral("spool")).toStdString())
            .archive(Archived("Q270S9-00417", "2026-12-08T08:00:00Z"));
    EXPECT_TRUE(report.spooled);
    EXPECT_NE(report.problem.find("newer than this program"), std::string::npos) << report.problem;
    EXPECT_EQ(raw.count(QStringLiteral("SELECT COUNT(*) FROM runs")), 0);
}

TEST_F(PgArchiveTest, AmendmentsTheAsLeftLinkAndTheAcceptanceAreKeptAndVerified) {
    ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", kDecision);
    run.asLeftOf = NewRunId();
    run.acceptance = Acceptance{7.25, DecisionRule::Guarded};
    SqlArchive archive(settings_);
    ASSERT_EQ(archive.store(run), StoreOutcome::Stored);
    const Amendment amendment = MakeAmendment(run, TrimsAt({{5, 1}}), "anna");
    EXPECT_EQ(archive.amend(run.runId, amendment), AmendOutcome::Amended);
    ArchivedRun other = Archived("Q270S9-00417", "2026-12-08T08:00:00Z", std::nullopt, 3);
    other.runId = run.runId;
    EXPECT_EQ(archive.store(other), StoreOutcome::Conflict);
    EXPECT_EQ(archive.store(run), StoreOutcome::AlreadyStored);

    const ArchivedRun got = *archive.fetch(run.runId);
    EXPECT_EQ(got.asLeftOf, run.asLeftOf);
    ASSERT_TRUE(got.acceptance);
    EXPECT_EQ(got.acceptance->limitPpm, 7.25);
    EXPECT_EQ(got.acceptance->rule, DecisionRule::Guarded);
    EXPECT_EQ(got.decision->ShuntSel, kDecision);
    ASSERT_EQ(got.amendments.size(), 1u);
    EXPECT_EQ(got.amendments[0].time, amendment.time);
    EXPECT_EQ(got.amendments[0].decision.predictedErrSq, amendment.decision.predictedErrSq);
    EXPECT_EQ(CurrentDecision(got).decision->ShuntSel, TrimsAt({{5, 1}}));
    EXPECT_TRUE(archive.verify().empty());

    RawConnection raw(settings_, settings_.database);
    ASSERT_TRUE(raw.exec(QStringLiteral("UPDATE runs SET bench_host = 'bench-9'")));
    ASSERT_EQ(archive.verify().size(), 1u);
}

TEST_F(PgArchiveTest, ATableHeldByAnotherSessionIsWaitedForOnlyAFewSeconds) {
    { SqlArchive archive(settings_); }
    RawConnection blocker(settings_, settings_.database);
    ASSERT_TRUE(blocker.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(blocker.exec(QStringLiteral("LOCK TABLE runs IN ACCESS EXCLUSIVE MODE")));

    const std::string spool = dir_.filePath(QStringLiteral("spool")).toStdString();
    const ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T08:00:00Z");
    auto start = Clock::now();
    const ArchiveReport report = Archiver::At(settings_, spool).archive(run);
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_TRUE(report.spooled);
    EXPECT_NE(report.problem.find("lock"), std::string::npos) << report.problem;

    start = Clock::now();
    EXPECT_THROW(SqlArchive(settings_).history("Q270S9-00417"), ArchiveError);
    EXPECT_LT(secondsSince(start), 10.0);

    ASSERT_TRUE(blocker.exec(QStringLiteral("ROLLBACK")));
    EXPECT_EQ(Archiver::At(settings_, spool).sendSpool().sent, 1);
}

TEST_F(PgArchiveTest, AServerThatNeverAnswersIsGivenUpWithinSeconds) {
    // A listener that takes connections (the kernel completes them) and
    // never says a word.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    ArchiveSettings silent = settings_;
    silent.host = QStringLiteral("127.0.0.1");
    silent.port = ntohs(address.sin_port);
    const auto start = Clock::now();
    const ArchiveReport report =
        Archiver::At(silent, dir_.filePath(QStringLiteral("spool")).toStdString())
            .archive(Archived("Q270S9-00417", "2026-12-08T08:00:00Z"));
    const double waited = secondsSince(start);
    close(listener);
    EXPECT_TRUE(report.spooled);
    EXPECT_LT(waited, 15.0);
    std::printf("a silent server was given up after %.1f s\n", waited);
}

TEST_F(PgArchiveTest, ARunTheServerRefusesIsSetAsideAndTheQueueGoesOn) {
    { SqlArchive archive(settings_); }
    RawConnection raw(settings_, settings_.database);
    ASSERT_TRUE(raw.exec(
        QStringLiteral("ALTER TABLE runs ADD CONSTRAINT no_bad CHECK (bench_host <> 'bad')")));
    const std::string spool = dir_.filePath(QStringLiteral("spool")).toStdString();
    ArchivedRun bad = Archived("Q270S9-00417", "2026-12-01T08:00:00Z");
    bad.origin.benchHost = "bad";
    Spool(spool).keep(bad);
    const ArchivedRun later = Archived("Q270S9-00417", "2026-12-02T08:00:00Z");
    Spool(spool).keep(later);
    const ArchiveReport report =
        Archiver::At(settings_, spool).archive(Archived("Q270S9-00417", "2026-12-08T08:00:00Z"));
    EXPECT_TRUE(report.archived) << report.problem;
    EXPECT_EQ(report.sent, 1);
    ASSERT_EQ(report.setAside.size(), 1u);
    EXPECT_EQ(report.setAside[0], bad.runId + ".json.refused");
    EXPECT_EQ(raw.count(QStringLiteral("SELECT COUNT(*) FROM runs")), 2);
}

}  // namespace
