#include "app/Controller.h"

#include "platform/console/Console.h"
#include "platform/files/HomePath.h"
#include "platform/mail/MailTransport.h"
#include "platform/preferences/Preferences.h"
#include "platform/trace/RoadTrace.h"
#include "replies/ReplyScripts.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <QFileInfo>

namespace wendle {

namespace {

// Widths below these leave the wrapper or the splitter without a positive step.
constexpr qint32 MinimumPhoneWidth = 5;
constexpr qint32 MinimumPhoneHeight = 6;

QString withSalutation(const QString &text, const QString &salutation)
{
    if (salutation.isNull())
        return text;
    return text + u'\n' + salutation;
}

} // namespace

void Controller::prepareAndSendMessage(const QString &text, const QString &ccAddress, const QString &path)
{
    const Preferences &prefs = m_platform.preferences;
    const bool split = prefs.boolValue(RBSplitLongMessages);
    const qint32 height = qMax(prefs.intValue(RBPhoneHeight), MinimumPhoneHeight);
    const qint32 width = qMax(prefs.intValue(RBPhoneWidth), MinimumPhoneWidth);
    if (text.isNull())
        return;

    if (path.isNull())
        log(localized(QStringLiteral("send_message_log"), {text}));
    else
        log(localized(QStringLiteral("send_message_attachment_log"), {text, path}));

    const QString salutation = prefs.stringValue(RBDefaultSalutation);
    if (!m_intake.messageFromPhone) {
        sendMessageWithContents(withSalutation(text, salutation), ccAddress, path);
        return;
    }

    const QString wrapped = formatMessage(text, width);
    if (split && text.size() > height) {
        // Cut at character counts: the first piece h-1 long, the others
        // "Cont:\n" and h-5 more, each carrying the copy and the attachment.
        qsizetype position = height - 1;
        sendMessageWithContents(wrapped.left(position), ccAddress, path);
        while (position < wrapped.size()) {
            sendMessageWithContents(QStringLiteral("Cont:\n") + wrapped.mid(position, height - 5), ccAddress, path);
            position += height - 5;
        }
    } else {
        sendMessageWithContents(withSalutation(wrapped, salutation), ccAddress, path);
    }
    m_intake.messageFromPhone = false;
}

QString Controller::formatMessage(const QString &text, qint32 width)
{
    const qsizetype w = qMax(width, MinimumPhoneWidth);
    QString result;
    qsizetype i = 0;
    const qsizetype length = text.size();
    while (true) {
        while (i < length && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
        if (i >= length)
            break;
        qsizetype end = text.indexOf(u'\n', i);
        if (end < 0)
            end = length;
        const QStringView line = QStringView(text).mid(i, end - i);
        i = end + 1;

        const qsizetype lineLength = line.size();
        if (lineLength <= w) {
            result += line;
            result += u'\n';
            continue;
        }
        result += line.left(w - 1);
        result += u'\n';
        qsizetype p = w - 1;
        while (p < lineLength) {
            result += QLatin1String("   ");
            if (lineLength - p <= w) {
                result += line.mid(p);
                result += u'\n';
                break;
            }
            result += line.mid(p, w - 4);
            result += u'\n';
            p += w - 4;
        }
    }
    return result;
}

void Controller::sendMessageWithContents(const QString &text, const QString &ccAddress, const QString &path)
{
    if (m_intake.cmdAddress == QLatin1String(ChatMarker)) {
        sendChatWithMessage(text, ccAddress, path);
        return;
    }
    // Nobody has sent a command yet: there is no one to answer.
    if (m_intake.cmdAddress.isNull()) {
        const QString notice = localized(QStringLiteral("reply_without_recipient_log"), {text});
        log(notice);
        m_platform.console.writeLine(notice);
        return;
    }

    OutgoingMail mail;
    mail.to = m_intake.cmdAddress;
    mail.from = m_platform.preferences.stringValue(RBComputerEmailAddress);
    mail.subject = QStringLiteral("Wendle Results");
    mail.body = text + QLatin1String("\n\n");
    if (ccAddress.size() >= 2)
        mail.cc = ccAddress;
    if (!path.isNull() && QFileInfo::exists(path))
        mail.attachmentPath = expandTilde(path);
    mail.inReplyTo = m_intake.cmdMessageId;

    const QString script = mailReplyScript(text, mail.to, mail.from, mail.cc, mail.attachmentPath);
    traceStep("daemon: reply composed");
    const bool sent = m_platform.mail.send(mail, script);
    traceStep("daemon: reply handed to the mail transport");
    if (!sent)
        reportScriptFailure(script,
                            QStringLiteral("Wendle Log Update:  Error trying to send the response message to the email address: %@"),
                            m_intake.cmdAddress);
}

void Controller::reportScriptFailure(const QString &script, const QString &fallbackFormat, const QString &fallbackArgument)
{
    const QString report = localized(QStringLiteral("sendMessage_error"), {script});
    if (report.isEmpty()) {
        m_platform.console.writeLine(stringWithFormat(fallbackFormat, {fallbackArgument}));
        return;
    }
    log(report);
    m_platform.console.writeLine(report);
}

} // namespace wendle
