#include "sql_archive.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <map>

#ifdef ZDX_SHARED_SQLITE
#include <sqlite3.h>
#endif

namespace q270 {

namespace {

QSqlDatabase database(const QString& connection) {
    return QSqlDatabase::database(connection, false);
}

// A joined column holds the values of steps (or points) 1..count, each as
// "%.17g", separated by ",": index 0 of the array is not stored.
template <typename T, std::size_t N>
QString joined(const std::array<T, N>& values, int count) {
    QStringList parts;
    for (int i = 1; i <= count; ++i) parts << QString::number(values[std::size_t(i)], 'g', 17);
    return parts.join(QLatin1Char(','));
}

template <typename T, std::size_t N>
bool split(const QString& text, std::array<T, N>& out, int count) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count) return false;
    for (int i = 1; i <= count; ++i) {
        bool ok = false;
        out[std::size_t(i)] = static_cast<T>(parts[i - 1].toDouble(&ok));
        if (!ok) return false;
    }
    return true;
}

QVariant text(const std::string& s) {
    return QString::fromStdString(s);
}

// A closing connection leaves the write-ahead log for the next one instead of
// copying it into the database first: the commit was durable already, and
// the copy (with its syncs) would cost each run several times its commit.
// SQLite still copies the log at its own intervals while writing.
void keepWalOnClose([[maybe_unused]] QSqlDatabase& db) {
#ifdef ZDX_SHARED_SQLITE
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return;
    if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData()))
        sqlite3_db_config(connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
#endif
}

}  // namespace

SqlArchive::SqlArchive(const ArchiveSettings& settings)
    : connection_(QStringLiteral("zdx-archive-") + QUuid::createUuid().toString()),
      postgres_(settings.driver == ArchiveDriver::PostgreSql) {
    where_ = postgres_ ? "PostgreSQL archive " + settings.database.toStdString() +
                             (settings.host.isEmpty() ? "" : " on " + settings.host.toStdString())
                       : "SQLite archive " + settings.database.toStdString();
    QSqlDatabase db = QSqlDatabase::addDatabase(
        postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) throw ArchiveError(where_ + ": the Qt SQL driver is not installed");
    db.setDatabaseName(settings.database);
    if (postgres_) {
        if (!settings.host.isEmpty()) db.setHostName(settings.host);
        if (settings.port > 0) db.setPort(settings.port);
        if (!settings.user.isEmpty()) db.setUserName(settings.user);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    } else {
        // Another bench program writing at the same moment is waited for.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    if (!db.open())
        throw ArchiveError(where_ + ": cannot be opened (" + db.lastError().text().toStdString() +
                           ")");
    if (postgres_) {
        // The notices of a migration that another bench has done are no news.
        ExecSql(db, QStringLiteral("SET client_min_messages TO WARNING"), where_);
    } else {
        // Durable commits: a stored run survives a crash or a power cut.
        ExecSql(db, QStringLiteral("PRAGMA journal_mode=WAL"), where_);
        ExecSql(db, QStringLiteral("PRAGMA synchronous=FULL"), where_);
        ExecSql(db, QStringLiteral("PRAGMA foreign_keys=ON"), where_);
        keepWalOnClose(db);
    }
    MigrateSchema(db, where_);
}

SqlArchive::~SqlArchive() {
    {
        QSqlDatabase db = database(connection_);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

StoreOutcome SqlArchive::store(const ArchivedRun& run) {
    QSqlDatabase db = database(connection_);
    ExecSql(db, QLatin1String(postgres_ ? "BEGIN" : "BEGIN IMMEDIATE"), where_);
    auto fail = [&](const QSqlQuery& query) {
        const std::string reason = query.lastError().text().toStdString();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw ArchiveError(where_ + ": run " + run.runId + " not stored (" + reason + ")");
    };
    // Version checked again inside the transaction: a newer program may have
    // migrated the archive since it was opened.
    const int version = SchemaVersion(db);
    if (version > kSchemaVersion) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw ArchiveError(where_ + ": the archive has schema version " + std::to_string(version) +
                           ", newer than this program's " + std::to_string(kSchemaVersion) +
                           ": update this program before archiving to it");
    }

    const RunRecord& r = run.record;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO runs (run_id, serial, calibrator_id, start_time, bench_host, operator,"
        " meter_id, program_version, archived_at, err_sq, lin_err_max, lin_err)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (run_id) DO NOTHING"));
    insert.addBindValue(text(run.runId));
    insert.addBindValue(text(r.calibratorSerial));
    insert.addBindValue(text(r.calibratorId));
    insert.addBindValue(text(r.time));
    insert.addBindValue(text(run.origin.benchHost));
    insert.addBindValue(text(run.origin.operatorLogin));
    insert.addBindValue(r.meterId ? text(*r.meterId) : QVariant(QMetaType(QMetaType::QString)));
    insert.addBindValue(text(run.origin.programVersion));
    insert.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    insert.addBindValue(run.errSq);
    insert.addBindValue(LargestLinErr(run));
    insert.addBindValue(joined(run.linErr, kPointCount));
    if (!insert.exec()) fail(insert);
    if (insert.numRowsAffected() == 0) {
        // Stored before (by this bench, from its spool, or by another one).
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return StoreOutcome::AlreadyStored;
    }

    QSqlQuery step(db);
    step.prepare(QStringLiteral(
        "INSERT INTO readings (run_id, step, mw1, mw1_text, mw2, mw2_text, shunt_sel)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (std::size_t i = 0; i < kStepCount; ++i) {
        step.addBindValue(text(run.runId));
        step.addBindValue(int(i + 1));
        step.addBindValue(r.Mw1[i + 1].volts);
        step.addBindValue(text(r.Mw1[i + 1].text));
        step.addBindValue(r.Mw2[i + 1].volts);
        step.addBindValue(text(r.Mw2[i + 1].text));
        step.addBindValue(int(r.ShuntSel[i + 1]));
        if (!step.exec()) fail(step);
    }
    if (run.decision) {
        QSqlQuery decision(db);
        decision.prepare(QStringLiteral(
            "INSERT INTO decisions (run_id, shunt_sel, predicted_lin_err, predicted_err_sq)"
            " VALUES (?, ?, ?, ?)"));
        decision.addBindValue(text(run.runId));
        decision.addBindValue(joined(run.decision->ShuntSel, kStepCount));
        decision.addBindValue(joined(run.decision->predictedLinErr, kPointCount));
        decision.addBindValue(run.decision->predictedErrSq);
        if (!decision.exec()) fail(decision);
    }
    QSqlQuery commit(db);
    if (!commit.exec(QStringLiteral("COMMIT"))) fail(commit);
    return StoreOutcome::Stored;
}

std::vector<ArchivedRun> SqlArchive::runs(const RunQuery& query) {
    QStringList conditions;
    std::vector<QString> values;
    if (query.serial) {
        conditions << QStringLiteral("r.serial = ?");
        values.push_back(QString::fromStdString(*query.serial));
    }
    if (query.since) {
        conditions << QStringLiteral("r.start_time >= ?");
        values.push_back(QString::fromStdString(*query.since));
    }
    return select(conditions.isEmpty()
                      ? QString()
                      : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND ")),
                  values);
}

std::optional<ArchivedRun> SqlArchive::fetch(const std::string& runId) {
    auto found = select(QStringLiteral(" WHERE r.run_id = ?"), {QString::fromStdString(runId)});
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::vector<ArchivedRun> SqlArchive::select(const QString& condition,
                                            const std::vector<QString>& values) {
    QSqlDatabase db = database(connection_);
    auto run = [&](QSqlQuery& q, const QString& statement) {
        q.setForwardOnly(true);
        q.prepare(statement);
        for (const QString& v : values) q.addBindValue(v);
        if (!q.exec())
            throw ArchiveError(where_ + ": cannot be read (" + q.lastError().text().toStdString() +
                               ")");
    };
    // Both in one read transaction: a run stored in between shows in neither.
    ExecSql(db, QStringLiteral("BEGIN"), where_);
    std::vector<ArchivedRun> found;
    try {
        QSqlQuery q(db);
        run(q,
            QStringLiteral("SELECT r.run_id, r.serial, r.calibrator_id, r.start_time, r.bench_host,"
                           " r.operator, r.meter_id, r.program_version, r.err_sq, r.lin_err,"
                           " d.shunt_sel, d.predicted_lin_err, d.predicted_err_sq"
                           " FROM runs r LEFT JOIN decisions d ON d.run_id = r.run_id") +
                condition + QStringLiteral(" ORDER BY r.start_time, r.run_id"));
        std::map<std::string, std::size_t> index;
        while (q.next()) {
            ArchivedRun a;
            a.runId = q.value(0).toString().toStdString();
            a.record.calibratorSerial = q.value(1).toString().toStdString();
            a.record.calibratorId = q.value(2).toString().toStdString();
            a.record.time = q.value(3).toString().toStdString();
            a.origin = {q.value(4).toString().toStdString(), q.value(5).toString().toStdString(),
                        q.value(7).toString().toStdString()};
            if (!q.value(6).isNull()) a.record.meterId = q.value(6).toString().toStdString();
            a.errSq = q.value(8).toDouble();
            bool whole = split(q.value(9).toString(), a.linErr, kPointCount);
            if (!q.value(10).isNull()) {
                TrimDecision d;
                whole = whole && split(q.value(10).toString(), d.ShuntSel, kStepCount) &&
                        split(q.value(11).toString(), d.predictedLinErr, kPointCount);
                d.predictedErrSq = q.value(12).toDouble();
                a.decision = d;
            }
            if (!whole) throw ArchiveError(where_ + ": run " + a.runId + " is damaged");
            index[a.runId] = found.size();
            found.push_back(std::move(a));
        }
        QSqlQuery s(db);
        run(s, QStringLiteral("SELECT s.run_id, s.step, s.mw1, s.mw1_text, s.mw2, s.mw2_text,"
                              " s.shunt_sel FROM readings s JOIN runs r ON r.run_id = s.run_id") +
                   condition);
        std::vector<int> steps(found.size(), 0);
        while (s.next()) {
            const auto it = index.find(s.value(0).toString().toStdString());
            const int number = s.value(1).toInt();
            if (it == index.end() || number < 1 || number > int(kStepCount)) continue;
            RunRecord& r = found[it->second].record;
            const std::size_t i = std::size_t(number);  // records are indexed by step
            r.Mw1[i] = {s.value(3).toString().toStdString(), s.value(2).toDouble()};
            r.Mw2[i] = {s.value(5).toString().toStdString(), s.value(4).toDouble()};
            r.ShuntSel[i] = static_cast<std::int16_t>(s.value(6).toInt());
            ++steps[it->second];
        }
        for (std::size_t k = 0; k < found.size(); ++k)
            if (steps[k] != int(kStepCount))
                throw ArchiveError(where_ + ": run " + found[k].runId + " has " +
                                   std::to_string(steps[k]) + " steps");
        ExecSql(db, QStringLiteral("COMMIT"), where_);
    } catch (...) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    return found;
}

}  // namespace q270
