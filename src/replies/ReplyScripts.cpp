#include "replies/ReplyScripts.h"

#include "resources/Resources.h"

#include <QFile>

#include <algorithm>

namespace wendle {

QString escapeScriptLiteral(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

QString shellPathWord(const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    // No '%' in either form: the word goes into a format string.
    const auto printable = [](char c) { return c >= 0x20 && c < 0x7f && c != '%'; };
    if (std::all_of(bytes.cbegin(), bytes.cend(), printable))
        return u'\'' + QString::fromLatin1(bytes).replace(u'\'', QLatin1String("'\\''")) + u'\'';
    QString format;
    for (const char c : bytes) {
        if (printable(c) && c != '\'' && c != '\\')
            format += QLatin1Char(c);
        else
            format += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
    }
    return QStringLiteral("\"$(printf '%1')\"").arg(format);
}

QString chatHandlerScript(const QString &scriptTemplate, const QString &remoteAccount, const QString &program)
{
    QString withProgram = scriptTemplate;
    withProgram.replace(QLatin1String("@WENDLE_PROGRAM@"), shellPathWord(program));
    return stringWithFormat(withProgram, {remoteAccount, remoteAccount});
}

QString mailReplyScript(const QString &text, const QString &recipient, const QString &sender, const QString &ccAddress,
                        const QString &attachmentPath)
{
    QString script = QStringLiteral("tell application \"Mail\" \n set theMessage to make new outgoing message \n tell theMessage \n"
                                    " set subject of theMessage to \"Wendle Results\" \n set content of theMessage to \"");
    script += escapeScriptLiteral(text);
    script += QStringLiteral("\" & return & return\n make new to recipient at end of to recipients with properties {address:\"");
    script += escapeScriptLiteral(recipient);
    script += QStringLiteral("\"} \n");
    script += QStringLiteral("set sender to \"");
    script += escapeScriptLiteral(sender);
    script += QStringLiteral("\"\n");
    if (!ccAddress.isEmpty()) {
        script += QStringLiteral("make new cc recipient at end of cc recipients with properties {address:\"");
        script += escapeScriptLiteral(ccAddress);
        script += QStringLiteral("\"} \n");
    }
    if (!attachmentPath.isEmpty()) {
        script += QStringLiteral("make new attachment with properties {file name:\"");
        script += escapeScriptLiteral(attachmentPath);
        script += QStringLiteral("\"} at after the last word of the last paragraph\n");
    }
    script += QStringLiteral("end tell \n send theMessage \n end tell");
    return script;
}

QString chatReplyScript(const QString &handle, const QString &message, const QString &colonPath)
{
    QString script =
        QStringLiteral("global theChat, theMessage \n\n on isHandleInChat(handleString) \n  using terms from application \"iChat\" \n"
                       " set theParticipants to the participants of theChat \n");
    script += QStringLiteral("set buddyCount to the count of theParticipants \n if buddyCount > 0 then \n set x to 0 \n"
                             " repeat while x < buddyCount \n set x to (x + 1) \n set theBuddy to item x of theParticipants \n"
                             " if the handle of theBuddy is handleString then \n");
    script += QStringLiteral("return true \n end if \n end repeat \n end if \n return false \n end using terms from \n"
                             " end isHandleInChat \n \n");
    script += QStringLiteral("tell application \"iChat\" \n set chatCount to the count of every chat \n set i to 0 \n"
                             " repeat while (i < chatCount) \n set i to (i + 1) \n set theChat to chat i \n"
                             " if theChat is not null and theChat is active then \n if my isHandleInChat(\"");
    script += escapeScriptLiteral(handle);
    script += QStringLiteral("\") then \n set theMessage to \"");
    script += escapeScriptLiteral(message);
    script += QStringLiteral("\" \n send theMessage to theChat \n ");
    if (!colonPath.isEmpty()) {
        script += QStringLiteral("delay 1 \n set diskPath to ((path to startup disk) as string) \n set fullPath to diskPath & \"");
        script += escapeScriptLiteral(colonPath);
        script += QStringLiteral("\" \n send (fullPath as alias) to theChat \n ");
    }
    script += QStringLiteral("end if \n end if \n end repeat \n end tell");
    return script;
}

} // namespace wendle
