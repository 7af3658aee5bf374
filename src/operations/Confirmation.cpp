#include "app/Controller.h"

#include "platform/console/Console.h"

#include <limits>

namespace wendle {

namespace {

// The integer a code string stands for, read the way intValue reads it:
// leading blanks, an optional sign, then digits; 0 when there are none.
// Out-of-range values stick at the limits.
qint32 codeValue(const QString &code)
{
    qsizetype i = 0;
    while (i < code.size() && code[i].isSpace())
        ++i;
    bool negative = false;
    if (i < code.size() && (code[i] == u'-' || code[i] == u'+'))
        negative = code[i++] == u'-';
    qint64 value = 0;
    for (; i < code.size() && code[i] >= u'0' && code[i] <= u'9'; ++i) {
        value = value * 10 + (code[i].unicode() - u'0');
        if (value > std::numeric_limits<qint32>::max())
            return negative ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    }
    return qint32(negative ? -value : value);
}

} // namespace

void Controller::confirmCommand(const QString &code)
{
    const qint32 value = codeValue(code);
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
        if (command == QLatin1String("findContents") || command == QLatin1String("findFilename")) {
            const QString attached = localized(QStringLiteral("file_attached"));
            log(localized(QStringLiteral("send_message_attachment_log"), {attached, result.path}));
            sendMessageWithContents(attached, m_search.lastCCAddress, result.path);
        } else if (command == QLatin1String("findFileForFaxing") || command == QLatin1String("findContentsForFaxing")) {
            faxDocument(result.path, m_fax.lastFaxNumber);
        }
    }
}

} // namespace wendle
