#include "archived_run.h"

#include <QDateTime>
#include <QSysInfo>
#include <QUuid>
#include <algorithm>
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

// The decision a set of trim choices makes for these readings, with the
// errors it predicts.
TrimDecision decisionFor(ResultsData data, const PerStep<std::int16_t>& shuntSel,
                         const std::string& name) {
    TrimDecision made;
    for (int step = 1; step <= kStepCount; ++step) {
        const auto choice = shuntSel[std::size_t(step)];
        if (choice < 0 || choice >= kTrimChoices)
            throw RunFileError(name + ": trim decision: no trim choice");
        made.ShuntSel[std::size_t(step)] = choice;
        data.ShuntSel[std::size_t(step)] = choice;
    }
    CalcResults(data, true);
    for (int j = 1; j <= kPointCount; ++j)
        made.predictedLinErr[std::size_t(j)] = data.LinErr[std::size_t(j)];
    made.predictedErrSq = data.ErrSq;
    return made;
}

std::string nowUtc() {
    return QDateTime::currentDateTimeUtc()
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
        .toStdString();
}

}  // namespace

bool IsArchiveText(const std::string& text) {
    if (text.size() > 200) return false;
    // Valid UTF-8 (a server refuses anything else) without C0, DEL or C1
    // controls, which a terminal or a spreadsheet would act on.
    const QByteArray bytes = QByteArray::fromStdString(text);
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() != bytes) return false;
    return std::none_of(decoded.begin(), decoded.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool IsRunId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-';
    });
}

std::string ArchivedRunProblem(const ArchivedRun& run) {
    // A run made only for a report has no ID yet.
    if (!run.runId.empty() && !IsRunId(run.runId)) return "not a run ID";
    if (run.asLeftOf && !IsRunId(*run.asLeftOf)) return "as_left_of: no run ID";
    const RunRecord& r = run.record;
    for (const auto& [name, text] :
         {std::pair{"serial", &r.calibratorSerial}, std::pair{"calibrator", &r.calibratorId},
          std::pair{"bench host", &run.origin.benchHost},
          std::pair{"operator", &run.origin.operatorLogin},
          std::pair{"program version", &run.origin.programVersion}})
        if (!IsArchiveText(*text))
            return std::string(name) + ": control characters or longer than 200 bytes";
    if (r.meterId && !IsArchiveText(*r.meterId))
        return "meter: control characters or longer than 200 bytes";
    for (const Amendment& a : run.amendments)
        if (!IsArchiveText(a.operatorLogin) || UtcTime(a.time) != a.time)
            return "amendment of " + a.time + ": operator or time not kept as given";
    if (run.acceptance && run.acceptance->limitPpm && !std::isfinite(*run.acceptance->limitPpm))
        return "acceptance: the limit is no number";
    return {};
}

DecisionInForce CurrentDecision(const ArchivedRun& run) {
    DecisionInForce d;
    if (run.amendments.empty()) {
        d.decision = run.decision;
        return d;
    }
    const Amendment& latest = run.amendments.back();
    d.decision = latest.decision;
    d.amended = true;
    d.amendedAt = latest.time;
    d.amendedBy = latest.operatorLogin;
    return d;
}

ArchivedRun WithDecisionInForce(ArchivedRun run) {
    run.decision = CurrentDecision(run).decision;
    return run;
}

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

    if (decision) run.decision = decisionFor(data, *decision, "run " + run.runId);
    if (const std::string problem = ArchivedRunProblem(run); !problem.empty())
        throw RunFileError("run " + run.runId + ": " + problem);
    return run;
}

Amendment MakeAmendment(const ArchivedRun& run, const PerStep<std::int16_t>& shuntSel,
                        const std::string& operatorLogin) {
    const std::string name = "run " + run.runId;
    if (!IsArchiveText(operatorLogin) || operatorLogin.empty())
        throw RunFileError(name + ": amendment: the operator is empty or has control characters");
    // The same evaluation, in the same order, as the decision archived with a run.
    ResultsData data = ToResultsData(run.record);
    CalcResults(data, false);
    return {nowUtc(), operatorLogin, decisionFor(data, shuntSel, name)};
}

double LargestLinErr(const ArchivedRun& run) {
    double largest = 0;
    for (const double e : run.linErr) largest = std::max(largest, std::fabs(e));
    return largest;
}

}  // namespace q270
