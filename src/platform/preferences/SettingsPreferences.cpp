#include "platform/preferences/SettingsPreferences.h"

#include <QStandardPaths>

namespace wendle {

QString SettingsPreferences::defaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1String("/wendle/wendle.conf");
}

SettingsPreferences::SettingsPreferences()
    : SettingsPreferences(defaultFileName())
{
}

SettingsPreferences::SettingsPreferences(const QString &fileName)
    : m_settings(fileName, QSettings::IniFormat)
{
}

void SettingsPreferences::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_defaults.insert(it.key(), it.value());
}

// Another process (`wendle config set`) may have written a moment ago, so
// every read syncs first.
QVariant SettingsPreferences::value(const QString &key) const
{
    m_settings.sync();
    if (m_settings.contains(key))
        return m_settings.value(key);
    return m_defaults.value(key);
}

void SettingsPreferences::setValue(const QString &key, const QVariant &value)
{
    m_settings.sync();
    m_settings.setValue(key, value);
    m_settings.sync();
}

void SettingsPreferences::remove(const QString &key)
{
    m_settings.sync();
    m_settings.remove(key);
    m_settings.sync();
}

QStringList SettingsPreferences::storedKeys() const
{
    m_settings.sync();
    return m_settings.allKeys();
}

QVariantMap SettingsPreferences::registeredDefaults() const
{
    return m_defaults;
}

} // namespace wendle
