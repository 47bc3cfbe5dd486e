#include "stored_runs.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <limits>
#include <map>

#include "sql_dialect.h"

namespace q270 {

namespace {

constexpr double kAny = std::numeric_limits<double>::max();

std::string textOf(const QSqlQuery& q, const char* column) {
    return q.value(QLatin1String(column)).toString().toStdString();
}

std::optional<std::string> optionalText(const QSqlQuery& q, const char* column) {
    const QVariant v = q.value(QLatin1String(column));
    if (v.isNull()) return std::nullopt;
    return v.toString().toStdString();
}

// A figure: finite, or the row is damaged.
bool figure(const QSqlQuery& q, const char* column, double& out) {
    bool ok = false;
    out = q.value(QLatin1String(column)).toDouble(&ok);
    return ok && std::isfinite(out);
}

void exec(QSqlQuery& q, const QString& statement, const std::vector<QString>& values,
          const std::string& where) {
    q.setForwardOnly(true);
    // A prepare can fail too (PostgreSQL plans it against a table another
    // session holds), and its reason is the one to tell.
    const bool prepared = q.prepare(statement);
    for (const QString& v : values) q.addBindValue(v);
    if (!prepared || !q.exec())
        throw ArchiveError(where + ": cannot be read (" + ErrorText(q.lastError()) + ")");
}

// The run of one row of runs r LEFT JOIN decisions d; its problem, or empty.
std::string runOfRow(const QSqlQuery& q, StoredRun& stored) {
    ArchivedRun& a = stored.run;
    a.runId = textOf(q, "run_id");
    a.record.calibratorSerial = textOf(q, "serial");
    a.record.calibratorId = textOf(q, "calibrator_id");
    a.record.time = textOf(q, "start_time");
    a.record.meterId = optionalText(q, "meter_id");
    a.origin = {textOf(q, "bench_host"), textOf(q, "operator"), textOf(q, "program_version")};
    a.asLeftOf = optionalText(q, "as_left_of");
    stored.digest = optionalText(q, "digest").value_or("");
    if (!figure(q, "err_sq", a.errSq)) return "ErrSq is no number";
    if (!SplitColumn(q.value(QStringLiteral("lin_err")).toString(), a.linErr, kPointCount, -kAny,
                     kAny))
        return "LinErr is not ten numbers";
    const QVariant rule = q.value(QStringLiteral("rule"));
    const QVariant limit = q.value(QStringLiteral("limit_ppm"));
    if (!rule.isNull()) {
        const auto named = RuleNamed(rule.toString().toStdString());
        if (!named) return "the acceptance rule is none this program knows";
        Acceptance acceptance;
        acceptance.rule = *named;
        if (!limit.isNull()) {
            double ppm = 0;
            if (!figure(q, "limit_ppm", ppm)) return "the acceptance limit is no number";
            acceptance.limitPpm = ppm;
        }
        a.acceptance = acceptance;
    } else if (!limit.isNull()) {
        return "an acceptance limit without a rule";
    }
    if (!q.value(QStringLiteral("d_shunt_sel")).isNull()) {
        TrimDecision d;
        if (!SplitColumn(q.value(QStringLiteral("d_shunt_sel")).toString(), d.ShuntSel, kStepCount,
                         0, kTrimChoices - 1) ||
            !SplitColumn(q.value(QStringLiteral("d_predicted_lin_err")).toString(),
                         d.predictedLinErr, kPointCount, -kAny, kAny) ||
            !figure(q, "d_predicted_err_sq", d.predictedErrSq))
            return "its trim decision is damaged";
        a.decision = d;
    }
    return {};
}

// One row of readings into its run; the problem, or empty.
std::string readingOfRow(const QSqlQuery& q, RunRecord& r, std::array<bool, kStepCount + 1>& seen) {
    bool ok = false;
    const qlonglong step = q.value(QStringLiteral("step")).toLongLong(&ok);
    if (!ok || step < 1 || step > kStepCount) return "a reading of no step";
    const std::size_t i = std::size_t(step);
    if (seen[i]) return "step " + std::to_string(step) + " twice";
    seen[i] = true;
    const qlonglong choice = q.value(QStringLiteral("shunt_sel")).toLongLong(&ok);
    if (!ok || choice < 0 || choice >= kTrimChoices) return "a trim choice that is none";
    r.ShuntSel[i] = static_cast<std::int16_t>(choice);
    r.Mw1[i].text = textOf(q, "mw1_text");
    r.Mw2[i].text = textOf(q, "mw2_text");
    if (!figure(q, "mw1", r.Mw1[i].volts) || !figure(q, "mw2", r.Mw2[i].volts))
        return "a reading that is no number";
    return {};
}

std::string amendmentOfRow(const QSqlQuery& q, Amendment& a) {
    a.time = textOf(q, "amended_at");
    a.operatorLogin = textOf(q, "operator");
    if (!SplitColumn(q.value(QStringLiteral("shunt_sel")).toString(), a.decision.ShuntSel,
                     kStepCount, 0, kTrimChoices - 1) ||
        !SplitColumn(q.value(QStringLiteral("predicted_lin_err")).toString(),
                     a.decision.predictedLinErr, kPointCount, -kAny, kAny) ||
        !figure(q, "predicted_err_sq", a.decision.predictedErrSq))
        return "an amendment is damaged";
    return {};
}

}  // namespace

StoredRuns ReadStoredRuns(QSqlDatabase& db, const QString& condition,
                          const std::vector<QString>& values, const std::string& where) {
    std::vector<StoredRun> found;
    std::map<std::string, std::string> problems;  // by run ID
    std::map<std::string, std::size_t> index;

    QSqlQuery q(db);
    exec(q,
         QStringLiteral(
             "SELECT r.run_id AS run_id, r.serial AS serial, r.calibrator_id AS calibrator_id,"
             " r.start_time AS start_time, r.bench_host AS bench_host, r.operator AS operator,"
             " r.meter_id AS meter_id, r.program_version AS program_version,"
             " r.err_sq AS err_sq, r.lin_err AS lin_err, r.digest AS digest,"
             " r.as_left_of AS as_left_of, r.limit_ppm AS limit_ppm, r.rule AS rule,"
             " d.shunt_sel AS d_shunt_sel, d.predicted_lin_err AS d_predicted_lin_err,"
             " d.predicted_err_sq AS d_predicted_err_sq"
             " FROM runs r LEFT JOIN decisions d ON d.run_id = r.run_id") +
             condition + QStringLiteral(" ORDER BY r.start_time, r.run_id"),
         values, where);
    while (q.next()) {
        StoredRun stored;
        const std::string problem = runOfRow(q, stored);
        if (!problem.empty()) problems[stored.run.runId] = problem;
        index[stored.run.runId] = found.size();
        found.push_back(std::move(stored));
    }

    QSqlQuery s(db);
    exec(s,
         QStringLiteral("SELECT s.run_id AS run_id, s.step AS step, s.mw1 AS mw1,"
                        " s.mw1_text AS mw1_text, s.mw2 AS mw2, s.mw2_text AS mw2_text,"
                        " s.shunt_sel AS shunt_sel"
                        " FROM readings s JOIN runs r ON r.run_id = s.run_id") +
             condition,
         values, where);
    std::vector<std::array<bool, kStepCount + 1>> seen(found.size());
    while (s.next()) {
        const auto it = index.find(textOf(s, "run_id"));
        if (it == index.end()) continue;
        const std::string problem = readingOfRow(s, found[it->second].run.record, seen[it->second]);
        if (!problem.empty()) problems.emplace(it->first, problem);
    }
    for (std::size_t k = 0; k < found.size(); ++k)
        for (int step = 1; step <= kStepCount; ++step)
            if (!seen[k][std::size_t(step)])
                problems.emplace(found[k].run.runId,
                                 "the reading of step " + std::to_string(step) + " is missing");

    QSqlQuery m(db);
    exec(m,
         QStringLiteral("SELECT a.run_id AS run_id, a.amended_at AS amended_at,"
                        " a.operator AS operator, a.shunt_sel AS shunt_sel,"
                        " a.predicted_lin_err AS predicted_lin_err,"
                        " a.predicted_err_sq AS predicted_err_sq, a.digest AS digest"
                        " FROM amendments a JOIN runs r ON r.run_id = a.run_id") +
             condition + QStringLiteral(" ORDER BY a.run_id, a.seq"),
         values, where);
    while (m.next()) {
        const auto it = index.find(textOf(m, "run_id"));
        if (it == index.end()) continue;
        Amendment amendment;
        const std::string problem = amendmentOfRow(m, amendment);
        if (!problem.empty()) problems.emplace(it->first, problem);
        found[it->second].run.amendments.push_back(std::move(amendment));
        found[it->second].amendmentDigests.push_back(textOf(m, "digest"));
    }

    StoredRuns result;
    for (StoredRun& stored : found) {
        const auto problem = problems.find(stored.run.runId);
        if (problem == problems.end())
            result.runs.push_back(std::move(stored));
        else
            result.damaged.push_back({stored.run.runId, problem->second});
    }
    return result;
}

}  // namespace q270
