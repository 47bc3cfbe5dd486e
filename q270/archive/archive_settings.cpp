#include "archive_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <stdexcept>

#include "application.h"

namespace q270 {

QString ArchiveDataFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/ZDX/") + QLatin1String(kQ270Application);
    QDir().mkpath(folder);
    return folder;
}

ArchiveSettings DefaultArchiveSettings() {
    ArchiveSettings settings;
    settings.database = ArchiveDataFolder() + QStringLiteral("/archive.sqlite");
    return settings;
}

QString DefaultSpoolFolder() {
    return ArchiveDataFolder() + QStringLiteral("/spool");
}

ArchiveSettings ReadArchiveSettings(const QString& application) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                    application);
    store.beginGroup(QStringLiteral("Archive"));
    ArchiveSettings settings = DefaultArchiveSettings();
    const QString driver = store.value(QStringLiteral("Driver")).toString().trimmed().toLower();
    if (driver == QLatin1String("postgresql") || driver == QLatin1String("qpsql")) {
        settings.driver = ArchiveDriver::PostgreSql;
        settings.database = QStringLiteral("zdx_archive");
    } else if (!driver.isEmpty() && driver != QLatin1String("sqlite") &&
               driver != QLatin1String("qsqlite")) {
        throw std::invalid_argument("settings Archive/Driver: \"" + driver.toStdString() +
                                    "\" is neither sqlite nor postgresql");
    }
    settings.host = store.value(QStringLiteral("Host")).toString();
    settings.port = store.value(QStringLiteral("Port")).toString().toInt();
    const QString database = store.value(QStringLiteral("Database")).toString();
    if (!database.isEmpty()) settings.database = database;
    settings.user = store.value(QStringLiteral("User")).toString();
    return settings;
}

std::optional<std::string> BenchMeterId(const QString& application) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                    application);
    // An ID with commas typed into the file unquoted reads as a list.
    const QVariant value = store.value(QStringLiteral("Archive/MeterId"));
    const QString id =
        (value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                  : value.toString())
            .trimmed();
    if (id.isEmpty()) return std::nullopt;
    return id.toStdString();
}

}  // namespace q270
