#pragma once

#include "platform/preferences/Preferences.h"

#include <QSettings>

#include <functional>

namespace wendle {

// Preferences in an INI file (by default $XDG_CONFIG_HOME/wendle/wendle.conf);
// the registered defaults live in memory only, so changing a default in a new
// release reaches every owner who never set the key.
class SettingsPreferences : public Preferences {
public:
    SettingsPreferences();
    explicit SettingsPreferences(const QString &fileName);

    static QString defaultFileName();

    void registerDefaults(const QVariantMap &defaults) override;
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList storedKeys() const override;
    QVariantMap registeredDefaults() const override;

    QString fileName() const { return m_settings.fileName(); }

    // Why the file cannot be read or written ("it is a folder"); null when it can.
    QString fileProblem() const;
    // Lines QSettings cannot read, as "line N: text": no "=" in them, or not
    // UTF-8. Those without "=" (and comments) are kept through every write.
    QStringList unreadableLines() const;

private:
    // Writes through QSettings, which rewrites the file from what it parsed,
    // then puts back the lines it would have dropped.
    void write(const std::function<void()> &change);
    mutable QSettings m_settings;
    QVariantMap m_defaults;
};

} // namespace wendle
