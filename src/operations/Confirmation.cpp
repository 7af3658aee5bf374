#include "app/Controller.h"

#include "custom/ShortcutLibrary.h"
#include "intake/TextHelpers.h"
#include "platform/console/Console.h"

namespace wendle {

void Controller::confirmCommand(const QString &code)
{
    const qint32 value = text::leadingInteger(code);
    if (value < 1)
        return;

    qint32 number = 0;
    qint32 position = 0;
    if (value <= 99) {
        if (value == m_search.lastConfirmationNumber && m_search.lastCommand == QLatin1String("customCommand")) {
            executeLastCustomCommand();
            return;
        }
        number = -1; // a bare number confirms nothing else
    } else if (value <= 999) {
        number = value / 10;
        position = value % 10;
    } else {
        number = value / 100;
        position = value % 100;
    }

    if (number != m_search.lastConfirmationNumber || position > m_search.queryResults.size()) {
        sendMessageWithContents(localized(QStringLiteral("invalid_confirmation")), QString(), QString());
        m_platform.console.writeLine(QStringLiteral("Wendle Log Update:  Invalid confirmation number received (%1)").arg(code));
        log(localized(QStringLiteral("invalid_conf_from_log"), {code, m_search.lastConfirmationNumber}));
        return;
    }

    // Codes are compared as written: "0473" passes the checks above but
    // matches no line, and gets no answer.
    const QList<QueryResult> results = m_search.queryResults;
    for (const QueryResult &result : results) {
        if (result.conf != code)
            continue;
        const QString &command = m_search.lastCommand;
        const bool mail = command == QLatin1String("findContents") || command == QLatin1String("findFilename");
        const bool fax = command == QLatin1String("findFileForFaxing") || command == QLatin1String("findContentsForFaxing");
        // Only the file that was listed leaves the computer; a file gone
        // since goes the usual way (the reply says it is attached, the
        // composer finds nothing to attach; the fax answer says it is gone).
        if ((mail || fax) && checkListedFile(result.path, result.listed) == ListedFileState::Changed) {
            const QString answer = localized(QStringLiteral("listed_file_changed"), {result.label});
            sendMessageWithContents(answer, QString(), QString());
            log(answer);
            continue;
        }
        if (mail) {
            const QString attached = localized(QStringLiteral("file_attached"));
            log(localized(QStringLiteral("send_message_attachment_log"), {attached, result.path}));
            sendMessageWithContents(attached, m_search.lastCCAddress, result.path);
        } else if (fax) {
            faxDocument(result.path, m_fax.lastFaxNumber);
        }
    }
}

QString Controller::describeCodeAwaited() const
{
    const QString &command = m_search.lastCommand;
    const qint32 code = m_search.lastConfirmationNumber;
    if (command == QLatin1String("customCommand") && code > 0)
        return QStringLiteral("the custom command %1, reply with wndl %2")
            .arg(library::fileNameWithoutExtension(m_custom.lastPath))
            .arg(code);
    const bool byName = command == QLatin1String("findFilename") || command == QLatin1String("findFileForFaxing");
    const bool byContent = command == QLatin1String("findContents") || command == QLatin1String("findContentsForFaxing");
    if (!byName && !byContent)
        return QStringLiteral("nothing");
    const bool fax = command.endsWith(QLatin1String("ForFaxing"));
    const QString which =
        QStringLiteral("%1 %2%3").arg(byName ? QStringLiteral("named") : QStringLiteral("containing"), m_search.lastQuery.trimmed(),
                                      fax ? QStringLiteral(" to fax to ") + m_fax.lastFaxNumber : QString());
    if (m_search.query != 0)
        return QStringLiteral("a search for files %1, still running").arg(which);
    const qsizetype count = m_search.queryResults.size();
    if (count == 0)
        return QStringLiteral("nothing");
    return QStringLiteral("a list of %1 %2 %3; reply with wndl %4 and a line number")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"), which)
        .arg(code);
}

} // namespace wendle
