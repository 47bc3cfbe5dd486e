// The archive and the report: one run archived on SQLite with durable
// commits, a thousand program starts each archiving one run (the time per
// start must stay flat as the archive grows, the log small), the history of
// one unit in an archive of 100 000 runs, and a report of one run (content
// and PDF pages).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "archiver.h"
#include "benchmark_failure.h"
#include "report_pdf.h"
#include "sql_archive.h"

namespace {

using namespace q270;

constexpr int kArchiveRuns = 100000;
constexpr int kUnitRuns = 12;  // the unit whose history is asked for

using zdx::benchmarks::Fail;

RunRecord benchRun(const std::string& serial, int n) {
    RunRecord record;
    for (int step = 1; step <= kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        const double volts = 0.25 * (1 + (double((i * 37 + std::size_t(n)) % 23) - 11) * 1e-5);
        for (int k = 0; k < 2; ++k) {
            char text[32];
            std::snprintf(text, sizeof text, "%+.8E\r\n", volts + (k ? 1e-7 : -1e-7));
            (k ? record.Mw2 : record.Mw1)[i] = {text, std::strtod(text, nullptr)};
        }
    }
    record.calibratorSerial = serial;
    record.calibratorId = "Q270S9 V1.18";
    char time[32];
    std::snprintf(time, sizeof time, "2026-%02d-%02dT%02d:%02d:00Z", 1 + n / 40000 % 12,
                  1 + n / 1440 % 28, n / 60 % 24, n % 60);
    record.time = time;
    return record;
}

ArchivedRun benchArchived(const std::string& serial, int n, bool decided = false) {
    std::optional<PerStep<std::int16_t>> decision;
    if (decided) {
        decision.emplace();
        (*decision)[5] = 3;
    }
    return MakeArchivedRun(benchRun(serial, n), {"bench-1", "tester", "1.0"}, NewRunId(), decision);
}

ArchiveSettings sqliteAt(const QTemporaryDir& dir) {
    ArchiveSettings s;
    s.database = dir.filePath(QStringLiteral("archive.sqlite"));
    return s;
}

void BM_ArchiveOneRunSqlite(benchmark::State& state) {
    QTemporaryDir dir;
    SqlArchive archive(sqliteAt(dir));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ArchivedRun run = benchArchived("Q270S9-00417", n++, true);
        state.ResumeTiming();
        if (archive.store(run) != StoreOutcome::Stored) Fail(state, "not stored");
    }
}

// As the window and the tool do it: open, send the (empty) spool, store, close.
void BM_ArchiveOneRunThroughTheArchiver(benchmark::State& state) {
    QTemporaryDir dir;
    Archiver archiver =
        Archiver::At(sqliteAt(dir), dir.filePath(QStringLiteral("spool")).toStdString());
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ArchivedRun run = benchArchived("Q270S9-00417", n++, true);
        state.ResumeTiming();
        if (!archiver.archive(run).archived) Fail(state, "not archived");
    }
}

// A thousand program starts, each opening the archive, sending the spool,
// storing one run and closing it (with its checkpoint), as scan does. The
// counters give the mean time of the first and of the last hundred starts
// and the largest log file seen after a start.
void BM_ThousandProgramStarts(benchmark::State& state) {
    constexpr int kStarts = 1000;
    constexpr int kWindow = 100;
    for (auto _ : state) {
        QTemporaryDir dir;
        const ArchiveSettings settings = sqliteAt(dir);
        const std::string wal = settings.database.toStdString() + "-wal";
        double first = 0, last = 0;
        std::uintmax_t largestLog = 0;
        for (int n = 0; n < kStarts; ++n) {
            state.PauseTiming();
            const ArchivedRun run = benchArchived("Q270S9-00417", n, n % 2 == 0);
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            Archiver archiver =
                Archiver::At(settings, dir.filePath(QStringLiteral("spool")).toStdString());
            if (!archiver.archive(run).archived) Fail(state, "not archived");
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            if (n < kWindow) first += ms / kWindow;
            if (n >= kStarts - kWindow) last += ms / kWindow;
            std::error_code error;
            if (std::filesystem::exists(wal, error))
                largestLog = std::max(largestLog, std::filesystem::file_size(wal, error));
        }
        state.counters["first100_ms"] = first;
        state.counters["last100_ms"] = last;
        state.counters["largest_log_bytes"] = double(largestLog);
    }
}

// 100 000 runs of 10 000 units written in one transaction (the filling is not
// timed), the asked-for unit's runs among them.
void fillArchive(const ArchiveSettings& settings) {
    { SqlArchive create(settings); }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(settings.database);
    db.open();
    QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=OFF"));
    db.transaction();
    QSqlQuery runs(db), steps(db);
    runs.prepare(QStringLiteral(
        "INSERT INTO runs (run_id, serial, calibrator_id, start_time, bench_host, operator,"
        " meter_id, program_version, archived_at, err_sq, lin_err_max, lin_err)"
        " VALUES (?, ?, 'Q270S9 V1.18', ?, 'bench-1', 'tester', NULL, '1.0', ?, ?, 1.0,"
        " '1,2,3,4,5,6,7,8,9,0')"));
    steps.prepare(QStringLiteral("INSERT INTO readings VALUES (?, ?, ?, ?, ?, ?, 0)"));
    const RunRecord shape = benchRun("x", 0);
    for (int n = 0; n < kArchiveRuns - kUnitRuns; ++n) {
        const QString id = QStringLiteral("fill-%1").arg(n);
        const QString time = QString::fromStdString(benchRun("x", n).time);
        runs.addBindValue(id);
        runs.addBindValue(QStringLiteral("Q270S9-%1").arg(n % 10000 + 10000));
        runs.addBindValue(time);
        runs.addBindValue(time);
        runs.addBindValue(double(n % 97));
        runs.exec();
        for (int step = 1; step <= kStepCount; ++step) {
            const std::size_t i = std::size_t(step);
            steps.addBindValue(id);
            steps.addBindValue(step);
            steps.addBindValue(shape.Mw1[i].volts);
            steps.addBindValue(QString::fromStdString(shape.Mw1[i].text));
            steps.addBindValue(shape.Mw2[i].volts);
            steps.addBindValue(QString::fromStdString(shape.Mw2[i].text));
            steps.exec();
        }
    }
    db.commit();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    SqlArchive archive(settings);
    for (int n = 0; n < kUnitRuns; ++n)
        if (archive.store(benchArchived("Q270S9-00417", n, n % 3 == 0)) != StoreOutcome::Stored)
            zdx::benchmarks::Broken() = true;
}

void BM_HistoryOfOneUnitIn100000Runs(benchmark::State& state) {
    QTemporaryDir dir;
    fillArchive(sqliteAt(dir));
    SqlArchive archive(sqliteAt(dir));
    for (auto _ : state) {
        const auto history = archive.history("Q270S9-00417");
        if (history.size() != std::size_t(kUnitRuns)) Fail(state, "wrong history");
        benchmark::DoNotOptimize(history.data());
    }
    state.counters["runs"] = double(archive.runs({}).size());
}

void BM_ReportOfOneRun(benchmark::State& state) {
    QTemporaryDir dir;
    const ArchivedRun before = benchArchived("Q270S9-00417", 1, true);
    const ArchivedRun run = benchArchived("Q270S9-00417", 2);
    const std::string pdf = dir.filePath(QStringLiteral("unit.pdf")).toStdString();
    for (auto _ : state) WriteReportPdf(MakeReport(before, run, {}, '.'), pdf);
}

BENCHMARK(BM_ArchiveOneRunSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArchiveOneRunThroughTheArchiver)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThousandProgramStarts)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_HistoryOfOneUnitIn100000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportOfOneRun)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The report needs fonts: a GUI application, drawing off screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return zdx::benchmarks::ExitStatus();
}
