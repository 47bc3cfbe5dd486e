// The archive's schema, versioned: migration n takes a database from version
// n - 1 to n. The version is kept in table schema_version; a database whose
// version is newer than kSchemaVersion was made by a newer program and is not
// written to.
#pragma once

#include <QSqlDatabase>
#include <stdexcept>
#include <string>

namespace q270 {

inline constexpr int kSchemaVersion = 2;

class ArchiveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The schema version of an open database: 0 when it has no schema yet.
int SchemaVersion(QSqlDatabase& db);

// Brings the database to version `target` (at most kSchemaVersion), in one
// transaction per migration. Throws ArchiveError, naming `where`, when it
// fails or when the database is newer than this program.
void MigrateSchema(QSqlDatabase& db, const std::string& where, int target = kSchemaVersion);

// Runs one statement; throws ArchiveError with `where` and the database's reason.
void ExecSql(QSqlDatabase& db, const QString& statement, const std::string& where);

}  // namespace q270
