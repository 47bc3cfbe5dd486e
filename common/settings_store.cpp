#include "settings_store.h"

#include <QSettings>

namespace zdx {

namespace {

std::unique_ptr<QSettings> openStore(const QString& application) {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("ZDX"), application);
}

QString qualified(const QString& key) {
    return QStringLiteral("Properties/") + key;
}

}  // namespace

SettingsStore::SettingsStore(const QString& application) : settings_(openStore(application)) {}

SettingsStore::~SettingsStore() = default;

int SettingsStore::readInt(const QString& key, int fallback) const {
    const QVariant stored = settings_->value(qualified(key));
    if (!stored.isValid()) return fallback;
    bool ok = false;
    const int value = stored.toString().trimmed().toInt(&ok, 10);
    return ok ? value : fallback;
}

QString SettingsStore::readText(const QString& section, const QString& key) const {
    return settings_->value(section + QLatin1Char('/') + key).toString();
}

void SettingsStore::writeInt(const QString& key, int value) {
    settings_->setValue(qualified(key), QString::number(value));
}

void SettingsStore::sync() {
    settings_->sync();
}

}  // namespace zdx
