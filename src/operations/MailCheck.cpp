#include "app/Controller.h"

#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripts/ScriptRunner.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

namespace wendle {

namespace {

// A mail check reads local files; a minute covers a huge Maildir on a slow
// disk and still frees the main thread if the script hangs.
constexpr int MailCheckTimeoutSeconds = 60;

// The widest line the report may have: the phone's width less room for the
// wrapping the reply gets, never under 8.
qint32 mailCheckWidth(qint32 phoneWidth)
{
    return phoneWidth > 17 ? phoneWidth - 9 : 8;
}

} // namespace

void Controller::checkEmailWithCcTo(const QString &ccAddress)
{
    log(localized(QStringLiteral("check_email_log")));
    const QString error = localized(QStringLiteral("email_error"));
    const QString errorLog = localized(QStringLiteral("email_error_log"));

    // The template holds one integer conversion, the width; every other
    // percent sign in it is doubled.
    const QString script = wendleString(QStringLiteral("check_email_script"));
    const qint32 width = mailCheckWidth(m_platform.preferences.intValue(RBPhoneWidth));
    const ScriptResult result =
        script.isEmpty() ? ScriptResult{} : m_platform.scripts.runShellSource(stringWithFormat(script, {width}), MailCheckTimeoutSeconds);

    const QString answer = withoutTrailingLineBreaks(result.output);
    if (result.status != ScriptResult::Status::Succeeded || answer.trimmed().isEmpty()) {
        // The owner's reply stays short; the reason goes where the owner
        // looks when it keeps happening.
        const QString reason = script.isEmpty()                                   ? QStringLiteral("there is no mail check script")
                               : result.status == ScriptResult::Status::Succeeded ? QStringLiteral("the mail check printed nothing")
                                                                                  : result.error;
        log(errorLog + QLatin1String(": ") + reason);
        m_platform.console.writeLine(QStringLiteral("Wendle Error: the mail check failed: ") + reason);
        sendMessageWithContents(error, QString(), QString());
        return;
    }
    if (ccAddress.isEmpty()) {
        log(localized(QStringLiteral("sending_email_log")));
        prepareAndSendMessage(answer, QString(), QString());
        return;
    }
    log(localized(QStringLiteral("sending_email_cc_log"), {ccAddress}));
    prepareAndSendMessage(answer, ccAddress, QString());
}

} // namespace wendle
