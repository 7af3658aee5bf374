#include "platform/mail/MailAdapters.h"

#include "platform/chat/ChatAdapters.h"
#include "platform/console/Console.h"
#include "platform/mail/MimeComposer.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ScriptHost.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>

namespace wendle {

bool OutboxMailTransport::send(const OutgoingMail &mail, const QString &)
{
    if (!QDir().mkpath(m_folder))
        return false;
    const QDateTime now = QDateTime::currentDateTime();
    const QString name = QStringLiteral("%1-%2.eml")
                             .arg(now.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(++m_counter, 6, 10, QLatin1Char('0'));
    QSaveFile file(QDir(m_folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(composeMessage(mail, now));
    return file.commit();
}

bool ScriptMailTransport::send(const OutgoingMail &, const QString &script)
{
    return runScriptHost(argumentVector(m_preferences, QLatin1String(ScriptHostCommandKey)), script).ok;
}

bool SelectingMailTransport::send(const OutgoingMail &mail, const QString &script)
{
    const QString choice = m_preferences.stringValue(QStringLiteral("mailTransport"));
    if (choice == QLatin1String("script"))
        return m_script.send(mail, script);
    if (!choice.isEmpty() && choice != QLatin1String("outbox"))
        m_console.writeLine(QStringLiteral("Wendle Error: unknown mailTransport '%1'; the reply goes to the outbox").arg(choice));
    return m_outbox.send(mail, script);
}

MailAdapters::MailAdapters(const Preferences &preferences, const QString &supportFolder, Console &console)
    : m_outbox(supportFolder + QLatin1String("/outbox"))
    , m_script(preferences)
    , m_selecting(preferences, console, m_outbox, m_script)
{
}

} // namespace wendle
