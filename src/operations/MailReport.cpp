#include "operations/MailReport.h"

#include "platform/mail/HeaderFields.h"

namespace wendle {

namespace {

// At most width characters (code points), without the blanks the cut leaves.
QString cut(const QString &text, int width)
{
    QString line;
    int characters = 0;
    for (const uint codePoint : text.toUcs4()) {
        if (++characters > width)
            break;
        line += QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
    }
    while (line.endsWith(u' ') || line.endsWith(u'\t'))
        line.chop(1);
    return line;
}

} // namespace

QString mailReport(const QList<QByteArray> &headers, int width, qsizetype total)
{
    // The report may quote the owner's own commands in its subjects; beginning
    // with the product name keeps it from being taken for one if it comes back.
    QStringList lines{QStringLiteral("Wendle: ") + cut(QStringLiteral("%1 new").arg(std::max(total, headers.size())), width)};
    for (const QByteArray &header : headers) {
        const auto [sender, subject] = readSenderAndSubject(header);
        const QString from = sender.simplified(), about = subject.simplified();
        lines << cut(QStringLiteral("- ") + (from.isEmpty() ? QStringLiteral("(unknown sender)") : from), width)
              << cut(about.isEmpty() ? QStringLiteral("(no subject)") : about, width);
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace wendle
