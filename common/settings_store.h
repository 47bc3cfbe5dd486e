// The per-user settings store of an operator program: one application name,
// section "Properties", numbers kept as decimal text.
//
// On Windows the values live where the earlier versions of the programs kept
// them (HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>),
// so a bench PC keeps its settings on upgrade. Elsewhere they are an INI file
// in the user's configuration folder (<config>/ZDX/<application>.ini).
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
