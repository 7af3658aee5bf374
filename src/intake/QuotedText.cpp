#include "intake/QuotedText.h"

#include <QRegularExpression>
#include <QStringList>

namespace wendle::text {

namespace {

constexpr auto Options = QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption;

bool isQuoted(const QString &line)
{
    return line.trimmed().startsWith(u'>');
}

bool isBlank(const QString &line)
{
    return line.trimmed().isEmpty();
}

// Some programs quote by indenting instead of with ">".
bool isIndented(const QString &line)
{
    return !isBlank(line) && (line.startsWith(u' ') || line.startsWith(u'\t'));
}

// "On Sat, 5 Dec 2026 at 10:00, Owner <owner@example.com> wrote:" and its
// translations: the verb ends the line and a date comes before it, which a
// command such as "find named what he wrote:" lacks. Such a line starts the
// quote even when the quoted text below it is not marked.
bool isKnownAttribution(const QString &line)
{
    static const QRegularExpression verb(
        QStringLiteral("\\b(wrote|writes|a écrit|schrieb|escribió|escreveu|ha scritto|scrisse|schreef|skrev|kirjoitti"
                       "|napisał|napsal|написал|пишет|yazdı)\\s*:\\s*$"),
        Options);
    static const QRegularExpression digit(QStringLiteral("[0-9]"));
    return verb.match(line).hasMatch() && line.contains(digit);
}

// Any line ending in a colon right above quoted or indented text introduces
// that text, whatever the language of its wording.
bool introducesQuote(const QStringList &lines, qsizetype at)
{
    const QString line = lines[at].trimmed();
    if (isQuoted(line) || !(line.endsWith(u':') || line.endsWith(u'\uff1a')))
        return false;
    qsizetype next = at + 1;
    while (next < lines.size() && isBlank(lines[next]))
        ++next;
    return next < lines.size() && (isQuoted(lines[next]) || isIndented(lines[next]));
}

// A long attribution is folded: "On <date>, Name <" on one line, the rest of
// the address and "wrote:" on the next. The first half opens like an
// attribution or holds the address; a command above it is left alone.
bool beginsFoldedAttribution(const QString &line)
{
    static const QRegularExpression opening(QStringLiteral("^\\s*(on|le|am|el|em|il|op|den|dnia|på|dne|в)\\s|<\\s*$|<[^>\\s]+@"), Options);
    return !isBlank(line) && !isQuoted(line) && opening.match(line).hasMatch();
}

// "From: …", "Sent: …": a reply or forward header as Outlook, Thunderbird,
// Apple Mail and Gmail write it, in the languages they are used in most.
bool isHeaderField(const QString &line)
{
    static const QRegularExpression field(
        QStringLiteral("^\\s*\\*?(from|sent|to|cc|bcc|subject|date|reply-to"
                       "|de|envoyé|à|a|objet|von|gesendet|an|betreff|datum"
                       "|enviado|enviada|para|asunto|fecha|assunto|data|da|inviato|oggetto"
                       "|van|verzonden|aan|onderwerp|från|skickat|till|ämne|kopia|fra|sendt|til|emne|dato"
                       "|od|wysłano|do|dw|temat|odesláno|komu|předmět|lähettäjä|lähetetty|vastaanottaja|aihe"
                       "|kimden|gönderildi|kime|konu|tarih|от|отправлено|кому|копия|тема|дата"
                       "|差出人|送信日時|宛先|件名|日付|发件人|发送时间|收件人|抄送|主题|日期)\\*?\\s*[:\uff1a]"),
        Options);
    return field.match(line).hasMatch();
}

// One field could be the sender's own words; two in a row are a header.
bool beginsHeaderBlock(const QStringList &lines, qsizetype at)
{
    return at + 1 < lines.size() && isHeaderField(lines[at]) && isHeaderField(lines[at + 1]);
}

// "-----Original Message-----", "-------- Mensaje original --------",
// "---------- Forwarded message ---------", "---- E-mail original ----": a
// few words between dashes in any language, or Outlook's rule of underscores.
bool isSeparator(const QString &line)
{
    static const QRegularExpression separator(QStringLiteral("^\\s*(-{4,}[^-](.*[^-])?-{4,}|_{20,})\\s*$"), Options);
    return separator.match(line).hasMatch();
}

bool beginsQuote(const QStringList &lines, qsizetype at)
{
    return isSeparator(lines[at]) || beginsHeaderBlock(lines, at) || isKnownAttribution(lines[at]) || introducesQuote(lines, at);
}

} // namespace

QString withoutQuotedText(const QString &message)
{
    const QStringList lines = message.split(u'\n');
    QStringList own;
    for (qsizetype at = 0; at < lines.size(); ++at) {
        const QString &line = lines[at];
        // Only the line right above can be the first half of a folded one;
        // being neither blank nor quoted, it is the last line kept.
        const bool folded = at > 0 && beginsFoldedAttribution(lines[at - 1])
                            && (isKnownAttribution(lines[at - 1] + u' ' + line) || introducesQuote(lines, at));
        if (folded) {
            own.removeLast();
            break;
        }
        if (beginsQuote(lines, at))
            break;
        if (!isQuoted(line))
            own << line;
    }
    return own.join(u'\n');
}

} // namespace wendle::text
