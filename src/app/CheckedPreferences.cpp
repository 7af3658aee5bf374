#include "app/CheckedPreferences.h"

#include "app/ConfigCommand.h"
#include "platform/preferences/SettingsPreferences.h"
#include "settings/SettingRules.h"

namespace wendle {

CheckedPreferences::CheckedPreferences(Preferences &stored) : m_stored(stored)
{}

void CheckedPreferences::registerDefaults(const QVariantMap &defaults)
{
    m_stored.registerDefaults(defaults);
}

QVariant CheckedPreferences::value(const QString &key) const
{
    if (!findSetting(key))
        return m_stored.value(key);
    return checkedSettingValue(m_stored, key);
}

void CheckedPreferences::setValue(const QString &key, const QVariant &value)
{
    m_stored.setValue(key, storedForm(key, value));
}

void CheckedPreferences::remove(const QString &key)
{
    m_stored.remove(key);
}

QStringList CheckedPreferences::storedKeys() const
{
    return m_stored.storedKeys();
}

QVariantMap CheckedPreferences::registeredDefaults() const
{
    return m_stored.registeredDefaults();
}

QStringList settingProblemLines(const Preferences &stored)
{
    QStringList lines;
    for (const SettingInfo &info : knownSettings()) {
        const QString problem = storedSettingProblem(stored, info.key);
        if (problem.isEmpty())
            continue;
        lines << QStringLiteral("Wendle Error: the setting %1=%2 is not used (%3); using %4")
                     .arg(info.key, displaySettingValue(info.key, stored.value(info.key)), problem,
                          QStringLiteral("\"%1\"").arg(displaySettingValue(info.key, checkedSettingValue(stored, info.key))));
    }
    return lines;
}

QStringList settingsFileReport(const SettingsPreferences &stored)
{
    const QString problem = stored.fileProblem();
    if (!problem.isNull())
        return {QStringLiteral("Wendle Error: %1; Wendle uses the default settings and cannot keep changes").arg(problem)};
    QStringList lines;
    for (const QString &line : stored.unreadableLines())
        lines << QStringLiteral("Wendle Error: %1 %2").arg(stored.fileName(), line);
    return lines + settingProblemLines(stored);
}

} // namespace wendle
