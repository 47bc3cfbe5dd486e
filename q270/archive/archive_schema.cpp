#include "archive_schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <vector>

namespace q270 {

namespace {

// Text for times ("YYYY-MM-DDTHH:MM:SSZ" in UTC sorts as time does), double
// precision for figures: the same in SQLite and PostgreSQL.
QStringList migration1() {
    QStringList s;
    s << QStringLiteral(
        "CREATE TABLE runs ("
        " run_id TEXT PRIMARY KEY,"
        " serial TEXT NOT NULL,"
        " calibrator_id TEXT NOT NULL,"
        " start_time TEXT NOT NULL,"
        " bench_host TEXT NOT NULL,"
        " operator TEXT NOT NULL,"
        " meter_id TEXT,"
        " program_version TEXT NOT NULL,"
        " archived_at TEXT NOT NULL,"
        " err_sq DOUBLE PRECISION NOT NULL,"
        " lin_err_max DOUBLE PRECISION NOT NULL,"
        " lin_err TEXT NOT NULL)");
    s << QStringLiteral(
        "CREATE TABLE readings ("
        " run_id TEXT NOT NULL REFERENCES runs (run_id),"
        " step INTEGER NOT NULL,"
        " mw1 DOUBLE PRECISION NOT NULL,"
        " mw1_text TEXT NOT NULL,"
        " mw2 DOUBLE PRECISION NOT NULL,"
        " mw2_text TEXT NOT NULL,"
        " shunt_sel INTEGER NOT NULL,"
        " PRIMARY KEY (run_id, step))");
    return s;
}

// The trim decision of a run, and the unit's runs found by serial and time.
QStringList migration2() {
    QStringList s;
    s << QStringLiteral(
        "CREATE TABLE decisions ("
        " run_id TEXT PRIMARY KEY REFERENCES runs (run_id),"
        " shunt_sel TEXT NOT NULL,"
        " predicted_lin_err TEXT NOT NULL,"
        " predicted_err_sq DOUBLE PRECISION NOT NULL)");
    s << QStringLiteral("CREATE INDEX runs_by_unit ON runs (serial, start_time)");
    s << QStringLiteral("CREATE INDEX runs_by_time ON runs (start_time)");
    return s;
}

const std::vector<QStringList>& migrations() {
    static const std::vector<QStringList> all = {migration1(), migration2()};
    return all;
}

bool isPostgres(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

}  // namespace

void ExecSql(QSqlDatabase& db, const QString& statement, const std::string& where) {
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw ArchiveError(where + ": " + query.lastError().text().toStdString());
}

int SchemaVersion(QSqlDatabase& db) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).isNull() ? 0 : query.value(0).toInt();
}

void MigrateSchema(QSqlDatabase& db, const std::string& where, int target) {
    // Up to date, as nearly always: no lock and no write.
    const int found = SchemaVersion(db);
    if (found >= target && found <= kSchemaVersion) return;
    const QString createVersionTable =
        QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    if (isPostgres(db)) {
        // Two benches starting on a new server at once: PostgreSQL's IF NOT
        // EXISTS does not guard a concurrent create, so they take turns.
        ExecSql(db, QStringLiteral("BEGIN"), where);
        try {
            ExecSql(db, QStringLiteral("SELECT pg_advisory_xact_lock(270610)"), where);
            ExecSql(db, createVersionTable, where);
            ExecSql(db, QStringLiteral("COMMIT"), where);
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    } else {
        ExecSql(db, createVersionTable, where);
    }
    for (;;) {
        // One program migrates at a time: the others wait on the lock and
        // then find the work done.
        ExecSql(db, QLatin1String(isPostgres(db) ? "BEGIN" : "BEGIN IMMEDIATE"), where);
        try {
            if (isPostgres(db))
                ExecSql(db, QStringLiteral("LOCK TABLE schema_version IN EXCLUSIVE MODE"), where);
            const int version = SchemaVersion(db);
            if (version > kSchemaVersion)
                throw ArchiveError(where + ": the archive has schema version " +
                                   std::to_string(version) + ", newer than this program's " +
                                   std::to_string(kSchemaVersion) +
                                   ": it was made by a newer program; update this one before "
                                   "archiving to it");
            if (version >= target) {
                ExecSql(db, QStringLiteral("COMMIT"), where);
                return;
            }
            for (const QString& statement : migrations()[std::size_t(version)])
                ExecSql(db, statement, where);
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
            insert.addBindValue(version + 1);
            if (!insert.exec())
                throw ArchiveError(where + ": " + insert.lastError().text().toStdString());
            ExecSql(db, QStringLiteral("COMMIT"), where);
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    }
}

}  // namespace q270
