// A stored settings value: the number it says when its text (blanks around
// it aside) is a whole decimal number that fits 32 bits, the default
// otherwise, whatever the text holds.
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <limits>

#include "fuzz_support.h"
#include "settings_store.h"

using namespace zdx::fuzz;

namespace {

constexpr int kFallback = -123456789;

// The value an independent reading gives, or the fallback.
long long expectedValue(const QString& stored) {
    const QString text = stored.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    if (i == text.size()) return kFallback;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return kFallback;
        value = value * 10 + (c.unicode() - '0');
        if (value > 1LL << 32) return kFallback;
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return kFallback;
    return value;
}

struct Store {
    Store() {
        // The store lives in a folder of its own, never in the user's settings.
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        qputenv("HOME", dir.path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        store = std::make_unique<zdx::SettingsStore>(QStringLiteral("ZDX fuzz"));
        writer = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("ZDX"), QStringLiteral("ZDX fuzz"));
    }
    QTemporaryDir dir;
    std::unique_ptr<zdx::SettingsStore> store;
    std::unique_ptr<QSettings> writer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Store settings;
    const QString stored =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    settings.writer->setValue(QStringLiteral("Properties/Value"), stored);
    const int read = settings.store->readInt(QStringLiteral("Value"), kFallback);
    FUZZ_CHECK(read == expectedValue(stored));
    return 0;
}
