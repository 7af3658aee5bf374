#pragma once

#include "platform/preferences/Preferences.h"

namespace wendle {

// The settings as the application reads them: every known key through its
// rule (a stored value that breaks it reads as the default, see
// checkedSettingValue) and in its usable form (the library as a list);
// every write in the readable stored form (JSON, "#RRGGBB"). What is
// stored stays in the file untouched until something is set.
class CheckedPreferences : public Preferences {
public:
    explicit CheckedPreferences(Preferences &stored);

    void registerDefaults(const QVariantMap &defaults) override;
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList storedKeys() const override;
    QVariantMap registeredDefaults() const override;

private:
    Preferences &m_stored;
};

// One line for each stored value that is not used, for the console and the
// log at start: "Wendle Error: setting phoneWidth=-5 is not used (expected
// more than 0); using the default 20".
QStringList settingProblemLines(const Preferences &stored);

class SettingsPreferences;
// What the owner should know about the settings file at start: a file
// that cannot be used, lines that cannot be read, values that are not used.
QStringList settingsFileReport(const SettingsPreferences &stored);

} // namespace wendle
