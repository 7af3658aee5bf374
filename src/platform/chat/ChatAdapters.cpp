#include "platform/chat/ChatAdapters.h"

#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ScriptHost.h"
#include "platform/scripthost/ShellWords.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace wendle {

QStringList argumentVector(const Preferences &preferences, const QString &key)
{
    const QVariant value = preferences.value(key);
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toStringList();
    return splitShellWords(value.toString()).value_or(QStringList());
}

bool OutboxChatTransport::send(const OutgoingChat &chat, const QString &)
{
    if (!QDir().mkpath(m_folder))
        return false;
    const QString name = QStringLiteral("%1-%2.chat.json")
                             .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(++m_counter, 6, 10, QLatin1Char('0'));
    const QJsonObject entry{{QStringLiteral("handle"), chat.handle},
                            {QStringLiteral("text"), chat.text},
                            {QStringLiteral("file"), chat.filePath}};
    QSaveFile file(QDir(m_folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(entry).toJson());
    return file.commit();
}

bool ScriptChatTransport::send(const OutgoingChat &, const QString &script)
{
    return runScriptHost(argumentVector(m_preferences, QLatin1String(ScriptHostCommandKey)), script).ok;
}

bool SelectingChatTransport::send(const OutgoingChat &chat, const QString &script)
{
    const QString transport = m_preferences.stringValue(QStringLiteral("chatTransport"));
    if (transport == QLatin1String("script"))
        return m_script.send(chat, script);
    if (transport == QLatin1String("xmpp"))
        return m_xmpp.send(chat, script);
    if (transport == QLatin1String("mcabber"))
        return m_mcabber.send(chat, script);
    return m_outbox.send(chat, script);
}

} // namespace wendle
