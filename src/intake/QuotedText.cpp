#include "intake/QuotedText.h"

#include <QRegularExpression>
#include <QStringList>

namespace wendle::text {

namespace {

bool isQuoted(const QString &line)
{
    return line.trimmed().startsWith(u'>');
}

// "On Sat, 5 Dec 2026 at 10:00, Owner <owner@example.com> wrote:" and its
// translations end with the verb and a colon, and carry the date, so a
// command such as "find named what he wrote:" is not taken for one.
bool isReplyHeader(const QString &line)
{
    static const QRegularExpression verb(
        QStringLiteral("\\b(wrote|writes|a écrit|schrieb|escribió|ha scritto|schreef|skrev|napisał)\\s*:\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression digit(QStringLiteral("[0-9]"));
    return verb.match(line).hasMatch() && line.contains(digit);
}

bool beginsReplyHeader(const QString &line)
{
    static const QRegularExpression opening(QStringLiteral("^\\s*(on|le|am|el|il|op|den|dnia)\\s"),
                                            QRegularExpression::CaseInsensitiveOption);
    return opening.match(line).hasMatch();
}

bool isSeparator(const QString &line)
{
    static const QRegularExpression separator(
        QStringLiteral("^\\s*(-{2,}\\s*(original message|forwarded message|message d'origine|ursprüngliche nachricht)\\s*-{2,}|_{20,})\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return separator.match(line).hasMatch();
}

} // namespace

QString withoutQuotedText(const QString &message)
{
    const QStringList lines = message.split(u'\n');
    QStringList own;
    for (const QString &line : lines) {
        if (isSeparator(line))
            break;
        if (isReplyHeader(line))
            break;
        // Mail programs fold a long header: "On <date>, Name <address>" on
        // one line, "wrote:" on the next.
        if (!own.isEmpty() && beginsReplyHeader(own.back()) && isReplyHeader(own.back() + u' ' + line)) {
            own.removeLast();
            break;
        }
        if (!isQuoted(line))
            own << line;
    }
    return own.join(u'\n');
}

} // namespace wendle::text
