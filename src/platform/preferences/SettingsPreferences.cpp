#include "platform/preferences/SettingsPreferences.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

namespace wendle {

QString SettingsPreferences::defaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/wendle/wendle.conf");
}

SettingsPreferences::SettingsPreferences() : SettingsPreferences(defaultFileName())
{}

SettingsPreferences::SettingsPreferences(const QString &fileName) : m_settings(fileName, QSettings::IniFormat)
{}

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
    write([&] { m_settings.setValue(key, value); });
}

void SettingsPreferences::remove(const QString &key)
{
    write([&] { m_settings.remove(key); });
}

namespace {

struct RawLine {
    int number;
    QByteArray text;
};

QList<RawLine> rawLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<RawLine> lines;
    int number = 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        lines.append({++number, line});
    return lines;
}

// A line QSettings reads past and drops from the file at its next write.
bool droppedByQSettings(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty() || (text.startsWith('[') && text.endsWith(']')))
        return false;
    return text.startsWith(';') || text.startsWith('#') || !text.contains('=');
}

} // namespace

void SettingsPreferences::write(const std::function<void()> &change)
{
    m_settings.sync();
    QByteArray kept;
    for (const RawLine &line : rawLines(fileName())) {
        if (droppedByQSettings(line.text))
            kept += line.text + '\n';
    }
    change();
    m_settings.sync();
    if (kept.isEmpty())
        return;
    QFile file(fileName());
    if (file.open(QIODevice::Append))
        file.write(kept);
}

QString SettingsPreferences::fileProblem() const
{
    const QFileInfo info(fileName());
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a settings file").arg(fileName());
    m_settings.sync();
    if (m_settings.status() == QSettings::AccessError)
        return QStringLiteral("cannot read or write %1").arg(fileName());
    return QString();
}

QStringList SettingsPreferences::unreadableLines() const
{
    QStringList lines;
    for (const RawLine &line : rawLines(fileName())) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(line.text);
        if (utf8.hasError())
            lines << QStringLiteral("line %1 is not UTF-8 text: %2").arg(line.number).arg(text.trimmed());
        else if (droppedByQSettings(line.text) && !text.trimmed().startsWith(u';') && !text.trimmed().startsWith(u'#'))
            lines << QStringLiteral("line %1 is not KEY=VALUE (kept, not used): %2").arg(line.number).arg(text.trimmed());
    }
    return lines;
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
