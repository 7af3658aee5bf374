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
    const QJsonObject entry{
        {QStringLiteral("handle"), chat.handle}, {QStringLiteral("text"), chat.text}, {QStringLiteral("file"), chat.filePath}};
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

ChatTransport &SelectingChatTransport::adapter(ChatRoute route) const
{
    switch (route) {
    case ChatRoute::Script: return m_script;
    case ChatRoute::Xmpp: return m_xmpp;
    case ChatRoute::Mcabber: return m_mcabber;
    case ChatRoute::Outbox: break;
    }
    return m_outbox;
}

bool SelectingChatTransport::send(const OutgoingChat &chat, const QString &script)
{
    return adapter(chosenChatTransport(m_preferences).route).send(chat, script);
}

QString SelectingChatTransport::state() const
{
    const ChatTransportInfo &chosen = chosenChatTransport(m_preferences);
    const QString state = adapter(chosen.route).state();
    return state.isEmpty() ? QString::fromLatin1(chosen.name) : state;
}

} // namespace wendle
