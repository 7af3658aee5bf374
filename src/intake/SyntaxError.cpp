#include "app/Controller.h"

#include "platform/console/Console.h"
#include "resources/Resources.h"

namespace wendle {

void Controller::writeConsoleLine(const QString &line)
{
    m_platform.console.writeLine(line);
}

void Controller::reportSyntaxError()
{
    const QString usage = wendleString(QStringLiteral("usage_string"));
    if (!usage.isEmpty()) {
        const QString report = stringWithFormat(QStringLiteral("Wendle Syntax Error!  %@"), {usage});
        if (report.isEmpty())
            return;
        prepareAndSendMessage(report, QString(), QString());
        log(report);
        return;
    }
    const QString fallback = QStringLiteral("Syntax error in last command");
    log(fallback);
    if (m_intake.cmdAddress == QLatin1String(ChatMarker))
        sendChatWithMessage(fallback, QString(), QString());
    else
        sendMessageWithContents(fallback, QString(), QString());
}

} // namespace wendle
