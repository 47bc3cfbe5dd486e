#include "archived_run.h"

#include <QDateTime>
#include <QSysInfo>
#include <QUuid>
#include <cmath>

#include "evaluation.h"

#ifndef ZDX_PROGRAM_VERSION
#define ZDX_PROGRAM_VERSION "unknown"
#endif

namespace q270 {

namespace {

std::string loginName() {
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty()) return value.toStdString();
    }
    return "unknown";
}

}  // namespace

RunOrigin ThisBench() {
    return {QSysInfo::machineHostName().toStdString(), loginName(), ZDX_PROGRAM_VERSION};
}

std::string NewRunId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string UtcTime(const std::string& iso8601) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(iso8601), Qt::ISODate);
    if (!time.isValid()) return {};
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toStdString();
}

ArchivedRun MakeArchivedRun(const RunRecord& record, const RunOrigin& origin, std::string runId,
                            const std::optional<PerStep<std::int16_t>>& decision) {
    // The same checks a run file gets: the archive holds complete runs only.
    RunFileText(record, "run " + runId);
    ArchivedRun run;
    run.runId = std::move(runId);
    run.record = record;
    run.record.time = UtcTime(record.time);
    if (run.record.time.empty()) throw RunFileError("run " + run.runId + ": time: not ISO 8601");
    run.origin = origin;

    ResultsData data = ToResultsData(record);
    CalcResults(data, false);
    if (!std::isfinite(data.ErrSq))
        throw RunFileError("run " + run.runId + ": the readings give no finite evaluation");
    for (int j = 1; j <= kPointCount; ++j) run.linErr[std::size_t(j)] = data.LinErr[std::size_t(j)];
    run.errSq = data.ErrSq;

    if (decision) {
        TrimDecision made;
        for (int step = 1; step <= kStepCount; ++step) {
            const auto choice = (*decision)[std::size_t(step)];
            if (choice < 0 || choice >= kTrimChoices)
                throw RunFileError("run " + run.runId + ": trim decision: no trim choice");
            made.ShuntSel[std::size_t(step)] = choice;
            data.ShuntSel[std::size_t(step)] = choice;
        }
        CalcResults(data, true);
        for (int j = 1; j <= kPointCount; ++j)
            made.predictedLinErr[std::size_t(j)] = data.LinErr[std::size_t(j)];
        made.predictedErrSq = data.ErrSq;
        run.decision = made;
    }
    return run;
}

double LargestLinErr(const ArchivedRun& run) {
    double largest = 0;
    for (const double e : run.linErr) largest = std::max(largest, std::fabs(e));
    return largest;
}

}  // namespace q270
