// Where the archive is: settings section "Archive" of the program's settings
// store (Driver, Host, Port, Database, User, MeterId). No password is kept there: a
// PostgreSQL server is reached with its own means (a password file, peer
// authentication). With nothing set, the archive is a SQLite database in the
// user's data location.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace q270 {

enum class ArchiveDriver { Sqlite, PostgreSql };

struct ArchiveSettings {
    ArchiveDriver driver = ArchiveDriver::Sqlite;
    QString host;      // PostgreSQL: a host name or a socket folder
    int port = 0;      // 0: the driver's default
    QString database;  // SQLite: the file; PostgreSQL: the database name
    QString user;
};

// The user's data folder of the Q270 programs (created when missing).
QString ArchiveDataFolder();
// The default archive: ArchiveDataFolder()/archive.sqlite.
ArchiveSettings DefaultArchiveSettings();
// The spool folder of runs not archived yet: ArchiveDataFolder()/spool.
QString DefaultSpoolFolder();

// The settings of section "Archive" of the application's store; missing keys
// take the defaults. Throws std::invalid_argument for a driver it does not know.
ArchiveSettings ReadArchiveSettings(const QString& application);

// The identification of this bench's multimeter that every run measured here
// records (key "Archive/MeterId", as the lab names the meter); none when unset.
std::optional<std::string> BenchMeterId(const QString& application);

}  // namespace q270
