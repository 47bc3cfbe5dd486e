// The per-user settings store of an operator program: one application name,
// section "Properties", numbers kept as decimal text.
//
// The values live in the platform's own per-user settings location for
// organisation "ZDX" and the program's application name (the registry on
// Windows, the user's configuration folder elsewhere).
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace zdx {

class SettingsStore {
  public:
    explicit SettingsStore(const QString& application);
    ~SettingsStore();

    // The stored number, or `fallback` when the key is missing or its text is
    // not a whole decimal number that fits 32 bits.
    int readInt(const QString& key, int fallback) const;

    // The stored text of a key in another section (for example "Ports"), empty when missing.
    QString readText(const QString& section, const QString& key) const;

    // Stores the number as plain decimal text ("-" for negative numbers).
    void writeInt(const QString& key, int value);

    // Makes sure every write so far has reached the store.
    void sync();

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace zdx
