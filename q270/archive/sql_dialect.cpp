#include "sql_dialect.h"

#include <QSqlDriver>

#include "archive_schema.h"

namespace q270 {

SqlDialect DialectOf(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL") ? SqlDialect::PostgreSql : SqlDialect::Sqlite;
}

SqlDialect DialectOf(const QSqlQuery& query) {
    return query.driver() && query.driver()->dbmsType() == QSqlDriver::PostgreSQL
               ? SqlDialect::PostgreSql
               : SqlDialect::Sqlite;
}

QString QtDriverOf(ArchiveDriver driver) {
    return driver == ArchiveDriver::PostgreSql ? QStringLiteral("QPSQL")
                                               : QStringLiteral("QSQLITE");
}

QString ConnectOptions(SqlDialect dialect) {
    if (dialect == SqlDialect::Sqlite)
        return QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    // libpq's own options: the server cancels a statement or a lock wait
    // that takes too long, and keepalives end a connection whose peer has
    // gone (a cable pulled, a server host down) within seconds, not hours.
    return QStringLiteral(
               "connect_timeout=%1;options='-c statement_timeout=%2 -c lock_timeout=%3';"
               "keepalives=1;keepalives_idle=5;keepalives_interval=2;keepalives_count=2;"
               "tcp_user_timeout=%4")
        .arg(kConnectTimeoutSeconds)
        .arg(kStatementTimeoutMs)
        .arg(kLockTimeoutMs)
        .arg(kStatementTimeoutMs);
}

void PrepareSession(QSqlDatabase& db, const std::string& where) {
    if (DialectOf(db) == SqlDialect::PostgreSql) {
        // The notices of a migration that another bench has done are no news.
        ExecSql(db, QStringLiteral("SET client_min_messages TO WARNING"), where);
        return;
    }
    // Durable commits: a stored run survives a crash or a power cut. The log
    // is truncated to this size whenever it has been copied into the file.
    ExecSql(db, QStringLiteral("PRAGMA journal_mode=WAL"), where);
    ExecSql(db, QStringLiteral("PRAGMA synchronous=FULL"), where);
    ExecSql(db, QStringLiteral("PRAGMA foreign_keys=ON"), where);
    ExecSql(db, QStringLiteral("PRAGMA journal_size_limit=1048576"), where);
}

void FinishSession(QSqlDatabase& db) {
    if (DialectOf(db) != SqlDialect::Sqlite || !db.isOpen()) return;
    // Best effort: another program reading at this moment keeps the log for
    // its own close to copy.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

QString RowLockClause(SqlDialect dialect) {
    return dialect == SqlDialect::PostgreSql ? QStringLiteral(" FOR UPDATE") : QString();
}

QString BeginStatement(SqlDialect dialect, TransactionKind kind) {
    // SQLite: a write begins IMMEDIATE, taking the write lock (and with it
    // the busy time-out) at BEGIN. A deferred transaction that read first
    // and then writes fails with SQLITE_BUSY at its first write, without
    // waiting, when another program wrote in between.
    if (dialect == SqlDialect::Sqlite && kind == TransactionKind::Write)
        return QStringLiteral("BEGIN IMMEDIATE");
    return QStringLiteral("BEGIN");
}

std::string ErrorText(const QSqlError& error) {
    return error.text().simplified().toStdString();
}

bool RefusesContent(SqlDialect dialect, const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    if (dialect == SqlDialect::PostgreSql)
        // SQLSTATE class 22: data exception; 23: integrity constraint.
        return code.startsWith(QLatin1String("22")) || code.startsWith(QLatin1String("23"));
    // SQLITE_TOOBIG, SQLITE_CONSTRAINT, SQLITE_MISMATCH (primary codes).
    const int primary = code.toInt() & 0xff;
    return primary == 18 || primary == 19 || primary == 20;
}

}  // namespace q270
