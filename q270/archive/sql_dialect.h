// The one place that knows SQLite from PostgreSQL: how a connection is
// opened and bounded in time, how a transaction begins, which errors refuse a
// run's content (rather than a server that is down or busy) and what a
// connection does before it closes.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <string>

#include "archive_settings.h"

namespace q270 {

enum class SqlDialect { Sqlite, PostgreSql };

SqlDialect DialectOf(const QSqlDatabase& db);
SqlDialect DialectOf(const QSqlQuery& query);
// The Qt SQL driver of an archive driver.
QString QtDriverOf(ArchiveDriver driver);

// Every wait of the archive is bounded: a run that cannot be stored in this
// time waits in the spool instead.
inline constexpr int kConnectTimeoutSeconds = 5;
inline constexpr int kLockTimeoutMs = 3000;        // a table held by another session
inline constexpr int kStatementTimeoutMs = 10000;  // a statement the server works on
inline constexpr int kBusyTimeoutMs = 5000;        // SQLite: another program writing

// The connection options of the dialect (time limits and, for a server,
// keepalives that notice a connection gone silent).
QString ConnectOptions(SqlDialect dialect);

// What a connection sets up once open; throws ArchiveError naming `where`.
void PrepareSession(QSqlDatabase& db, const std::string& where);

// What a connection does before it closes (SQLite: copy the log into the
// database file and empty it, so that the file alone holds every run).
void FinishSession(QSqlDatabase& db);

// What a SELECT of a row ends with to hold it until the transaction ends
// (PostgreSQL; SQLite holds the whole database from a write's BEGIN).
QString RowLockClause(SqlDialect dialect);

enum class TransactionKind { Read, Write };
// The statement that begins a transaction of this kind.
QString BeginStatement(SqlDialect dialect, TransactionKind kind);

// The database's reason on one line: a server's message spans several (the
// statement, a caret under the place), which a status bar cannot show.
std::string ErrorText(const QSqlError& error);

// Whether the database refused the content of a statement (a text it cannot
// keep, a constraint): sending it again will not help. A server that is down,
// a lock held too long or a full disk are not refusals.
bool RefusesContent(SqlDialect dialect, const QSqlError& error);

}  // namespace q270
