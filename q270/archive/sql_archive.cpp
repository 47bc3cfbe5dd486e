#include "sql_archive.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include "run_digest.h"
#include "sql_dialect.h"
#include "sql_transaction.h"
#include "stored_runs.h"

namespace q270 {

namespace {

QSqlDatabase database(const QString& connection) {
    return QSqlDatabase::database(connection, false);
}

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

QVariant optionalText(const std::optional<std::string>& s) {
    return s ? text(*s) : QVariant(QMetaType(QMetaType::QString));
}

QVariant nullDouble() {
    return QVariant(QMetaType(QMetaType::Double));
}

// Throws ContentRefused when the database refused the statement's content,
// ArchiveError otherwise.
[[noreturn]] void fail(const QSqlQuery& query, const std::string& what) {
    const QSqlError error = query.lastError();
    const std::string text = what + " (" + ErrorText(error) + ")";
    if (RefusesContent(DialectOf(query), error)) throw ContentRefused(text);
    throw ArchiveError(text);
}

void insertRun(QSqlDatabase& db, const ArchivedRun& run, const std::string& what) {
    const RunRecord& r = run.record;
    QSqlQuery readings(db);
    if (!readings.prepare(QStringLiteral(
            "INSERT INTO readings (run_id, step, mw1, mw1_text, mw2, mw2_text, shunt_sel)"
            " VALUES (?, ?, ?, ?, ?, ?, ?)")))
        fail(readings, what);
    for (int step = 1; step <= kStepCount; ++step) {
        const std::size_t i = std::size_t(step);
        readings.addBindValue(text(run.runId));
        readings.addBindValue(step);
        readings.addBindValue(r.Mw1[i].volts);
        readings.addBindValue(text(r.Mw1[i].text));
        readings.addBindValue(r.Mw2[i].volts);
        readings.addBindValue(text(r.Mw2[i].text));
        readings.addBindValue(int(r.ShuntSel[i]));
        if (!readings.exec()) fail(readings, what);
    }
    if (!run.decision) return;
    QSqlQuery decision(db);
    if (!decision.prepare(QStringLiteral(
            "INSERT INTO decisions (run_id, shunt_sel, predicted_lin_err, predicted_err_sq)"
            " VALUES (?, ?, ?, ?)")))
        fail(decision, what);
    decision.addBindValue(text(run.runId));
    decision.addBindValue(JoinedColumn(run.decision->ShuntSel, kStepCount));
    decision.addBindValue(JoinedColumn(run.decision->predictedLinErr, kPointCount));
    decision.addBindValue(run.decision->predictedErrSq);
    if (!decision.exec()) fail(decision, what);
}

// The stored digest of a run; none when there is no such run.
std::optional<std::string> storedDigest(QSqlDatabase& db, const std::string& runId,
                                        const std::string& where) {
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("SELECT digest FROM runs WHERE run_id = ?") +
                   RowLockClause(DialectOf(db))))
        fail(q, where + ": run " + runId + " cannot be read");
    q.addBindValue(text(runId));
    if (!q.exec()) fail(q, where + ": run " + runId + " cannot be read");
    if (!q.next()) return std::nullopt;
    return q.value(QStringLiteral("digest")).toString().toStdString();
}

// Fills in the digests of the runs of a database that kept none yet.
void sealRuns(QSqlDatabase& db, const std::string& where) {
    QSqlQuery update(db);
    if (!update.prepare(QStringLiteral("UPDATE runs SET digest = ? WHERE run_id = ?")))
        fail(update, where + ": the digests cannot be kept");
    for (const StoredRun& stored : ReadStoredRuns(db, {}, {}, where).runs) {
        update.addBindValue(text(RunDigest(stored.run)));
        update.addBindValue(text(stored.run.runId));
        if (!update.exec()) fail(update, where + ": the digests cannot be kept");
    }
}

}  // namespace

SqlArchive::SqlArchive(const ArchiveSettings& settings)
    : connection_(QStringLiteral("zdx-archive-") + QUuid::createUuid().toString()) {
    const bool postgres = settings.driver == ArchiveDriver::PostgreSql;
    where_ = postgres ? "PostgreSQL archive " + settings.database.toStdString() +
                            (settings.host.isEmpty() ? "" : " on " + settings.host.toStdString())
                      : "SQLite archive " + settings.database.toStdString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QtDriverOf(settings.driver), connection_);
    if (!db.isValid()) throw ArchiveError(where_ + ": the Qt SQL driver is not installed");
    db.setDatabaseName(settings.database);
    if (!settings.host.isEmpty()) db.setHostName(settings.host);
    if (settings.port > 0) db.setPort(settings.port);
    if (!settings.user.isEmpty()) db.setUserName(settings.user);
    db.setConnectOptions(ConnectOptions(DialectOf(db)));
    if (!db.open())
        throw ArchiveError(where_ + ": cannot be opened (" + ErrorText(db.lastError()) + ")");
    PrepareSession(db, where_);
    MigrateSchema(db, where_, kSchemaVersion, [&](int version) {
        if (version == 3) sealRuns(db, where_);
    });
}

SqlArchive::~SqlArchive() {
    {
        QSqlDatabase db = database(connection_);
        FinishSession(db);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

StoreOutcome SqlArchive::store(const ArchivedRun& run) {
    const std::string what = where_ + ": run " + run.runId + " not stored";
    if (!IsRunId(run.runId)) throw ContentRefused(what + " (not a run ID)");
    if (const std::string problem = ArchivedRunProblem(run); !problem.empty())
        throw ContentRefused(what + " (" + problem + ")");
    const std::string digest = RunDigest(run);

    QSqlDatabase db = database(connection_);
    SqlTransaction transaction(db, TransactionKind::Write, where_);
    // Checked again inside the transaction: a newer program may have
    // migrated the archive since it was opened.
    if (const int version = SchemaVersion(db); version > kSchemaVersion)
        throw ArchiveError(where_ + ": " + NewerSchemaProblem(version));

    const RunRecord& r = run.record;
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral(
            "INSERT INTO runs (run_id, serial, calibrator_id, start_time, bench_host, operator,"
            " meter_id, program_version, archived_at, err_sq, lin_err_max, lin_err, digest,"
            " as_left_of, limit_ppm, rule)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (run_id) DO "
            "NOTHING")))
        fail(insert, what);
    insert.addBindValue(text(run.runId));
    insert.addBindValue(text(r.calibratorSerial));
    insert.addBindValue(text(r.calibratorId));
    insert.addBindValue(text(r.time));
    insert.addBindValue(text(run.origin.benchHost));
    insert.addBindValue(text(run.origin.operatorLogin));
    insert.addBindValue(optionalText(r.meterId));
    insert.addBindValue(text(run.origin.programVersion));
    insert.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    insert.addBindValue(run.errSq);
    insert.addBindValue(LargestLinErr(run));
    insert.addBindValue(JoinedColumn(run.linErr, kPointCount));
    insert.addBindValue(text(digest));
    insert.addBindValue(optionalText(run.asLeftOf));
    insert.addBindValue(run.acceptance && run.acceptance->limitPpm
                            ? QVariant(*run.acceptance->limitPpm)
                            : nullDouble());
    insert.addBindValue(run.acceptance
                            ? QVariant(QString::fromLatin1(RuleName(run.acceptance->rule)))
                            : QVariant(QMetaType(QMetaType::QString)));
    if (!insert.exec()) fail(insert, what);
    if (insert.numRowsAffected() == 0) {
        // Stored before (by this bench, from its spool, or by another one):
        // the same run, or another under its ID, which is kept as it is.
        const auto stored = storedDigest(db, run.runId, where_);
        return stored == digest ? StoreOutcome::AlreadyStored : StoreOutcome::Conflict;
    }
    insertRun(db, run, what);
    transaction.commit();
    return StoreOutcome::Stored;
}

AmendOutcome SqlArchive::amend(const std::string& runId, const Amendment& amendment) {
    const std::string what = where_ + ": run " + runId + " not amended";
    if (!IsArchiveText(amendment.operatorLogin) || amendment.operatorLogin.empty() ||
        UtcTime(amendment.time) != amendment.time)
        throw ContentRefused(what + " (the operator or the time cannot be kept)");
    QSqlDatabase db = database(connection_);
    SqlTransaction transaction(db, TransactionKind::Write, where_);
    if (!storedDigest(db, runId, where_))
        throw ArchiveError(what + " (no such run in the archive)");
    const auto found = ReadStoredRuns(db, QStringLiteral(" WHERE r.run_id = ?"),
                                      {QString::fromStdString(runId)}, where_);
    if (!found.damaged.empty()) throw ArchiveError(what + " (" + found.damaged[0].problem + ")");
    const ArchivedRun& run = found.runs.at(0).run;
    const auto inForce = CurrentDecision(run).decision;
    if (inForce && inForce->ShuntSel == amendment.decision.ShuntSel) return AmendOutcome::Unchanged;

    QSqlQuery insert(db);
    if (!insert.prepare(
            QStringLiteral("INSERT INTO amendments (run_id, seq, amended_at, operator, shunt_sel, "
                           "predicted_lin_err,"
                           " predicted_err_sq, digest) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")))
        fail(insert, what);
    insert.addBindValue(text(runId));
    insert.addBindValue(int(run.amendments.size()) + 1);
    insert.addBindValue(text(amendment.time));
    insert.addBindValue(text(amendment.operatorLogin));
    insert.addBindValue(JoinedColumn(amendment.decision.ShuntSel, kStepCount));
    insert.addBindValue(JoinedColumn(amendment.decision.predictedLinErr, kPointCount));
    insert.addBindValue(amendment.decision.predictedErrSq);
    insert.addBindValue(text(AmendmentDigest(runId, amendment)));
    if (!insert.exec()) fail(insert, what);
    transaction.commit();
    return AmendOutcome::Amended;
}

std::vector<ArchivedRun> SqlArchive::runs(const RunQuery& query, std::vector<RunProblem>& damaged) {
    QString condition;
    std::vector<QString> values;
    const auto where = [&](const char* test, const std::optional<std::string>& value) {
        if (!value) return;
        condition += QLatin1String(values.empty() ? " WHERE " : " AND ") + QLatin1String(test);
        values.push_back(QString::fromStdString(*value));
    };
    where("r.serial = ?", query.serial);
    where("r.meter_id = ?", query.meterId);
    // Start times are UTC texts of one form, so they compare as times.
    where("r.start_time >= ?", query.since);
    where("r.start_time <= ?", query.until);
    QSqlDatabase db = database(connection_);
    // One read transaction: a run stored meanwhile shows in all queries or none.
    SqlTransaction transaction(db, TransactionKind::Read, where_);
    StoredRuns found = ReadStoredRuns(db, condition, values, where_);
    transaction.commit();
    damaged.insert(damaged.end(), found.damaged.begin(), found.damaged.end());
    std::vector<ArchivedRun> runs;
    for (StoredRun& stored : found.runs) runs.push_back(std::move(stored.run));
    return runs;
}

std::vector<ArchivedRun> SqlArchive::runs(const RunQuery& query) {
    std::vector<RunProblem> damaged;
    auto found = runs(query, damaged);
    if (!damaged.empty())
        throw ArchiveError(where_ + ": run " + damaged[0].runId + " is damaged (" +
                           damaged[0].problem + ")");
    return found;
}

std::optional<ArchivedRun> SqlArchive::fetch(const std::string& runId) {
    QSqlDatabase db = database(connection_);
    SqlTransaction transaction(db, TransactionKind::Read, where_);
    StoredRuns found = ReadStoredRuns(db, QStringLiteral(" WHERE r.run_id = ?"),
                                      {QString::fromStdString(runId)}, where_);
    transaction.commit();
    if (!found.damaged.empty())
        throw ArchiveError(where_ + ": run " + runId + " is damaged (" + found.damaged[0].problem +
                           ")");
    if (found.runs.empty()) return std::nullopt;
    return std::move(found.runs.front().run);
}

std::vector<RunProblem> SqlArchive::verify(int* checked) {
    QSqlDatabase db = database(connection_);
    SqlTransaction transaction(db, TransactionKind::Read, where_);
    StoredRuns found = ReadStoredRuns(db, {}, {}, where_);
    transaction.commit();
    std::vector<RunProblem> changed = found.damaged;
    for (const StoredRun& stored : found.runs) {
        const ArchivedRun& run = stored.run;
        if (stored.digest.empty())
            changed.push_back({run.runId, "no digest is kept"});
        else if (stored.digest != RunDigest(run))
            changed.push_back({run.runId, "its rows were changed since it was archived"});
        for (std::size_t k = 0; k < run.amendments.size(); ++k)
            if (stored.amendmentDigests[k] != AmendmentDigest(run.runId, run.amendments[k]))
                changed.push_back({run.runId, "amendment " + std::to_string(k + 1) +
                                                  " was changed since it was made"});
    }
    if (checked) *checked = int(found.runs.size() + found.damaged.size());
    return changed;
}

}  // namespace q270
