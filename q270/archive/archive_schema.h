// The archive's schema, versioned: migration n takes a database from version
// n - 1 to n. The version is kept in table schema_version; a database whose
// version is newer than kSchemaVersion was made by a newer program and is not
// written to.
#pragma once

#include <QSqlDatabase>
#include <functional>
#include <stdexcept>
#include <string>

namespace q270 {

inline constexpr int kSchemaVersion = 3;

class ArchiveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The database refused a run's content (a text it cannot keep, a
// constraint): sending the same run again will not help.
class ContentRefused : public ArchiveError {
  public:
    using ArchiveError::ArchiveError;
};

// The schema version of an open database: 0 when it has no schema yet.
int SchemaVersion(QSqlDatabase& db);

// Why a database of this schema version is not written to.
std::string NewerSchemaProblem(int version);

// Work on the rows that a migration step needs besides its statements, run
// inside the step's transaction with the version the step brings.
using MigrationStep = std::function<void(int version)>;

// Brings the database to version `target` (at most kSchemaVersion), in one
// transaction per migration. Throws ArchiveError, naming `where`, when it
// fails or when the database is newer than this program.
void MigrateSchema(QSqlDatabase& db, const std::string& where, int target = kSchemaVersion,
                   const MigrationStep& afterStep = {});

// Runs one statement; throws ArchiveError with `where` and the database's reason.
void ExecSql(QSqlDatabase& db, const QString& statement, const std::string& where);

}  // namespace q270
