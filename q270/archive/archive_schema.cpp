#include "archive_schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <vector>

#include "sql_dialect.h"
#include "sql_transaction.h"

namespace q270 {

namespace {

// Encodings, the same in SQLite and PostgreSQL:
// - times are text, "YYYY-MM-DDTHH:MM:SSZ" in UTC (it sorts as time does);
// - figures are DOUBLE PRECISION;
// - a joined column holds the values of points 1..10 (lin_err,
//   predicted_lin_err) or of steps 1..20 (shunt_sel of a decision), each
//   printed "%.17g" (exact on reading back), separated by ','.
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
        " lin_err TEXT NOT NULL)");  // joined, points 1..10
    s << QStringLiteral(
        "CREATE TABLE readings ("
        " run_id TEXT NOT NULL REFERENCES runs (run_id),"
        " step INTEGER NOT NULL,"  // 1..20
        " mw1 DOUBLE PRECISION NOT NULL,"
        " mw1_text TEXT NOT NULL,"  // the meter's reply as it came, line end included
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
        " shunt_sel TEXT NOT NULL,"          // joined, steps 1..20
        " predicted_lin_err TEXT NOT NULL,"  // joined, points 1..10
        " predicted_err_sq DOUBLE PRECISION NOT NULL)");
    s << QStringLiteral("CREATE INDEX runs_by_unit ON runs (serial, start_time)");
    s << QStringLiteral("CREATE INDEX runs_by_time ON runs (start_time)");
    return s;
}

// Each run's digest (filled in for the runs already there), the run it is
// the as-left run of, the acceptance in force when it was archived, and the
// trim decisions made after it was archived.
QStringList migration3() {
    QStringList s;
    s << QStringLiteral("ALTER TABLE runs ADD COLUMN digest TEXT");      // "sha256:" + 64 hex
    s << QStringLiteral("ALTER TABLE runs ADD COLUMN as_left_of TEXT");  // a run ID or NULL
    s << QStringLiteral("ALTER TABLE runs ADD COLUMN limit_ppm DOUBLE PRECISION");  // NULL: none
    // "simple", "guarded" or "non-binary"; NULL with limit_ppm: not recorded.
    s << QStringLiteral("ALTER TABLE runs ADD COLUMN rule TEXT");
    s << QStringLiteral(
        "CREATE TABLE amendments ("
        " run_id TEXT NOT NULL REFERENCES runs (run_id),"
        " seq INTEGER NOT NULL,"  // 1, 2, ... in the order they were made
        " amended_at TEXT NOT NULL,"
        " operator TEXT NOT NULL,"
        " shunt_sel TEXT NOT NULL,"          // joined, steps 1..20
        " predicted_lin_err TEXT NOT NULL,"  // joined, points 1..10
        " predicted_err_sq DOUBLE PRECISION NOT NULL,"
        " digest TEXT NOT NULL,"
        " PRIMARY KEY (run_id, seq))");
    return s;
}

const std::vector<QStringList>& migrations() {
    static const std::vector<QStringList> all = {migration1(), migration2(), migration3()};
    return all;
}

}  // namespace

void ExecSql(QSqlDatabase& db, const QString& statement, const std::string& where) {
    QSqlQuery query(db);
    if (!query.exec(statement)) throw ArchiveError(where + ": " + ErrorText(query.lastError()));
}

int SchemaVersion(QSqlDatabase& db) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT MAX(version) AS version FROM schema_version")) ||
        !query.next())
        return 0;
    const QVariant version = query.value(QStringLiteral("version"));
    return version.isNull() ? 0 : version.toInt();
}

std::string NewerSchemaProblem(int version) {
    return "the archive has schema version " + std::to_string(version) +
           ", newer than this program's " + std::to_string(kSchemaVersion) +
           ": it was made by a newer program; update this one before archiving to it";
}

void MigrateSchema(QSqlDatabase& db, const std::string& where, int target,
                   const MigrationStep& afterStep) {
    // Up to date, as nearly always: no lock and no write.
    const int found = SchemaVersion(db);
    if (found >= target && found <= kSchemaVersion) return;
    const bool postgres = DialectOf(db) == SqlDialect::PostgreSql;
    const QString createVersionTable =
        QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    if (postgres) {
        // Two benches starting on a new server at once: PostgreSQL's IF NOT
        // EXISTS does not guard a concurrent create, so they take turns.
        SqlTransaction create(db, TransactionKind::Write, where);
        ExecSql(db, QStringLiteral("SELECT pg_advisory_xact_lock(270610)"), where);
        ExecSql(db, createVersionTable, where);
        create.commit();
    } else {
        ExecSql(db, createVersionTable, where);
    }
    for (;;) {
        // One program migrates at a time: the others wait on the lock and
        // then find the work done.
        SqlTransaction step(db, TransactionKind::Write, where);
        if (postgres)
            ExecSql(db, QStringLiteral("LOCK TABLE schema_version IN EXCLUSIVE MODE"), where);
        const int version = SchemaVersion(db);
        if (version > kSchemaVersion)
            throw ArchiveError(where + ": " + NewerSchemaProblem(version));
        if (version >= target) {
            step.commit();
            return;
        }
        for (const QString& statement : migrations()[std::size_t(version)])
            ExecSql(db, statement, where);
        if (afterStep) afterStep(version + 1);
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
        insert.addBindValue(version + 1);
        if (!insert.exec()) throw ArchiveError(where + ": " + ErrorText(insert.lastError()));
        step.commit();
    }
}

}  // namespace q270
