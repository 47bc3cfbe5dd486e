// zdx-q270 history, export and verify on an archive in a folder of the
// test's own: the unit's runs oldest first with the archive's figures, the
// spool sent before anything is listed, the CSV and JSON exports with their
// filters, hostile texts made harmless, a damaged run left out by name, an
// amended decision shown as such, and rows changed behind the program's back.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <filesystem>
#include <thread>

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

// Runs one statement on the default archive outside the program.
void rawSql(const QString& statement) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
        db.setDatabaseName(q270::DefaultArchiveSettings().database);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase("raw");
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(ToolArchiveTest, HostileTextsReachNeitherASpreadsheetNorATerminal) {
    q270::RunRecord record = DividerRun("Q270S9-00417", "2026-12-09T08:00:00Z");
    record.meterId = "=HYPERLINK(\"http://x\",\"y\")";
    q270::RunOrigin origin = TestBench();
    origin.operatorLogin = "+cmd|' /C calc'!A0";
    origin.benchHost = "Prüfplatz-3";
    const q270::ArchivedRun run = q270::MakeArchivedRun(record, origin, q270::NewRunId(), {});
    q270::SqlArchive(q270::DefaultArchiveSettings()).store(run);
    origin.benchHost = "bench\x1b]0;owned\x07";
    EXPECT_THROW(q270::MakeArchivedRun(record, origin, q270::NewRunId(), {}), q270::RunFileError);
    origin.benchHost = "bench\xc2\x9b";
    EXPECT_THROW(q270::MakeArchivedRun(record, origin, q270::NewRunId(), {}), q270::RunFileError);

    const ToolRun csv = RunTool({"export", "--csv", "--serial", "Q270S9-00417"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const auto lines = linesOf(csv.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find(",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\","), std::string::npos)
        << lines[2];
    EXPECT_NE(lines[2].find(",'+cmd|' /C calc'!A0,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(",Prüfplatz-3,"), std::string::npos) << lines[2];
    // Numbers in their shortest exact form, and each point's uncertainty.
    EXPECT_NE(lines[0].find(",u_LinErr_100,"), std::string::npos);
    EXPECT_NE(lines[0].find(",ShuntSel_R116,"), std::string::npos);
    EXPECT_EQ(lines[0].find(",trims,"), std::string::npos);
    char shortest[40];
    std::snprintf(shortest, sizeof shortest, ",%.17g,", run.record.Mw1[1].volts);
    EXPECT_EQ(lines[2].find(shortest), std::string::npos) << "not %.17g";

    // The program keeps no control character; someone with the database can.
    rawSql(QStringLiteral("UPDATE runs SET bench_host = 'b' || char(27) || ']0;owned' || char(7) "
                          "WHERE run_id = '%1'")
               .arg(QString::fromStdString(run.runId)));
    const ToolRun history = RunTool({"history", "Q270S9-00417"});
    ASSERT_EQ(history.exitCode, 0) << history.err;
    EXPECT_EQ(history.out.find('\x1b'), std::string::npos);
    EXPECT_NE(history.out.find("b\\x1B]0;owned\\x07"), std::string::npos) << history.out;
}

TEST_F(ToolArchiveTest, ADamagedRunIsNamedAndSkippedTheOthersStillPrinted) {
    rawSql(QStringLiteral("DELETE FROM readings WHERE run_id = '%1' AND step = 4")
               .arg(QString::fromStdString(second_.runId)));
    const ToolRun csv = RunTool({"export", "--csv"});
    EXPECT_EQ(csv.exitCode, 1);
    EXPECT_NE(csv.err.find(second_.runId), std::string::npos) << csv.err;
    const auto lines = linesOf(csv.out);
    ASSERT_EQ(lines.size(), 2u) << csv.out;
    EXPECT_NE(lines[1].find(other_.runId), std::string::npos);

    const ToolRun history = RunTool({"history", "--", "-Q270S9-00417"});
    EXPECT_EQ(history.exitCode, 0) << history.err;
    EXPECT_EQ(history.out, "no archived run of -Q270S9-00417\n");
}

TEST_F(ToolArchiveTest, AnAmendedDecisionIsShownAsAmendedAndVerifyFindsChangedRows) {
    {
        q270::SqlArchive archive(q270::DefaultArchiveSettings());
        archive.amend(second_.runId, q270::MakeAmendment(second_, TrimsAt({{5, 1}}), "anna"));
    }
    const ToolRun shown = RunTool({"history", "Q270S9-00417", "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    const json run = json::parse(shown.out)["runs"][0];
    EXPECT_EQ(run["decision"]["trims"], "R112=2.0M");
    EXPECT_EQ(run["decision"]["amended"], true);
    EXPECT_EQ(run["decision"]["amended_by"], "anna");
    EXPECT_EQ(run["archived_decision"][2], 3);
    EXPECT_NE(RunTool({"history", "Q270S9-00417"}).out.find("R112=2.0M (amended "),
              std::string::npos);

    const ToolRun clean = RunTool({"verify"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_NE(clean.out.find("2 run(s) checked, 0 changed"), std::string::npos) << clean.out;
    rawSql(QStringLiteral("UPDATE runs SET err_sq = 1.0 WHERE run_id = '%1'")
               .arg(QString::fromStdString(other_.runId)));
    const ToolRun changed = RunTool({"verify"});
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_NE(changed.out.find(other_.runId + ": its rows were changed"), std::string::npos)
        << changed.out;
}

TEST_F(ToolArchiveTest, APoisonedSpoolFileIsNamedAndHoldsUpNothing) {
    const std::string spool = q270::DefaultSpoolFolder().toStdString();
    std::filesystem::create_directories(spool);
    WriteText(spool + "/poison.json", R"({"format": 1})");
    q270::Spool(spool).keep(first_);
    const ToolRun run = RunTool({"history", "Q270S9-00417"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(first_.runId), std::string::npos);
    EXPECT_NE(run.err.find("poison.json.refused"), std::string::npos) << run.err;
    // And again on every call, until someone looks at it.
    EXPECT_NE(RunTool({"history", "Q270S9-00417"}).err.find("poison.json.refused"),
              std::string::npos);
}

// A PostgreSQL server that lets a client in and then never answers again,
// as a stopped server process does while its host still acknowledges.
class StoppedServer {
  public:
    StoppedServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 4);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StoppedServer() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    int port() const { return port_; }

  private:
    static bool readAll(int fd, char* data, std::size_t size) {
        for (std::size_t got = 0; got < size;) {
            const ssize_t n = read(fd, data + got, size - got);
            if (n <= 0) return false;
            got += std::size_t(n);
        }
        return true;
    }
    void serve() {
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        for (;;) {
            std::uint32_t length = 0;
            if (!readAll(fd, reinterpret_cast<char*>(&length), 4)) break;
            std::string body(ntohl(length) - 4, '\0');
            if (!readAll(fd, body.data(), body.size())) break;
            const std::uint32_t code = ntohl(*reinterpret_cast<const std::uint32_t*>(body.data()));
            if (code == 80877103 || code == 80877104) {  // SSL or GSS encryption: no
                write(fd, "N", 1);
                continue;
            }
            // The startup: authenticated and ready; then silence.
            static const char ready[] = {'R', 0, 0, 0, 8, 0, 0, 0, 0, 'Z', 0, 0, 0, 5, 'I'};
            write(fd, ready, sizeof ready);
            char ignored[4096];
            while (read(fd, ignored, sizeof ignored) > 0) {
            }
            break;
        }
        close(fd);
    }

    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST_F(ToolArchiveTest, AServerThatStopsAnsweringHoldsTheToolOnlyForItsDeadline) {
    StoppedServer server;
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                        QStringLiteral("ZDXKalQ270"));
        store.setValue(QStringLiteral("Archive/Driver"), QStringLiteral("postgresql"));
        store.setValue(QStringLiteral("Archive/Host"), QStringLiteral("127.0.0.1"));
        store.setValue(QStringLiteral("Archive/Port"), server.port());
        store.setValue(QStringLiteral("Archive/User"), QStringLiteral("bench"));
    }
    QElapsedTimer timer;
    timer.start();
    const ToolRun run = RunTool({"history", "Q270S9-00417"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("did not answer within 30 s"), std::string::npos) << run.err;
    EXPECT_LT(timer.elapsed(), 45000);
}

}  // namespace
