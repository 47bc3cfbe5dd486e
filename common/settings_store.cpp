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
    const QString text = stored.toString().trimmed();
    // Only a sign and digits: the conversion alone would stop at a NUL and
    // take what came before it.
    for (const QChar c : text)
        if (!c.isDigit() && c != QLatin1Char('-') && c != QLatin1Char('+')) return fallback;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
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
