#include "app/MailReportCommand.h"

#include "app/SubcommandParser.h"
#include "operations/MailReport.h"
#include "platform/mail/ImapMailbox.h"
#include "platform/mail/MailServer.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace wendle {

namespace {

// A report names the newest messages; the count covers them all.
constexpr int ReportedMessages = 100;
constexpr qint64 HeaderBytes = 256 * 1024;

std::optional<QList<QByteArray>> maildirHeaders(const QString &folder, qsizetype *total, QString *error)
{
    const QDir dir(folder);
    if (!dir.exists()) {
        *error = QStringLiteral("there is no mail folder %1").arg(folder);
        return std::nullopt;
    }
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    *total = names.size();
    QList<QByteArray> headers;
    for (const QString &name : names.mid(std::max<qsizetype>(0, names.size() - ReportedMessages))) {
        QFile file(dir.filePath(name));
        // A message that went away meanwhile still counted.
        headers << (file.open(QIODevice::ReadOnly) ? file.read(HeaderBytes) : QByteArray());
    }
    return headers;
}

} // namespace

int runMailReportCommand(const Preferences &preferences, const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("mail-report"), QStringLiteral("mail-report --width N --maildir DIR"),
                             QStringLiteral("Report the owner's new mail for the mail check: the unseen messages of the\n"
                                            "IMAP account when imapUrl is set (no flag changes), otherwise those in DIR."));
    const QCommandLineOption width(QStringLiteral("width"), QStringLiteral("The widest line."), QStringLiteral("N"));
    const QCommandLineOption maildir(QStringLiteral("maildir"), QStringLiteral("The folder of new messages."), QStringLiteral("DIR"));
    command.parser.addOptions({width, maildir});
    if (const auto done = command.parse(arguments, out, err))
        return *done;
    bool numeric = false;
    const int columns = command.parser.value(width).toInt(&numeric);
    if (!numeric || columns < 1)
        return command.usageError(QStringLiteral("--width needs a number above 0"), err);
    if (!command.parser.positionalArguments().isEmpty())
        return command.usageError(QStringLiteral("takes no arguments"), err);

    QString error;
    const MailServerSettings imap = readMailServerSettings(preferences, MailProtocol::Imap);
    if (!imap.url.isEmpty()) {
        std::atomic_bool never{false};
        ImapMailbox mailbox(never);
        std::optional<ImapMailbox::Headers> headers;
        if (mailbox.open(imap, QString(), &error))
            headers = mailbox.unseenHeaders(ReportedMessages, &error);
        if (!headers) {
            err << "wendle mail-report: cannot read the mailbox " << imap.url << ": " << error << '\n';
            return 1;
        }
        out << mailReport(headers->blocks, columns, headers->unseen);
        return 0;
    }
    if (!command.parser.isSet(maildir))
        return command.usageError(QStringLiteral("no IMAP account (imapUrl) and no --maildir"), err);
    qsizetype total = 0;
    const std::optional<QList<QByteArray>> headers = maildirHeaders(command.parser.value(maildir), &total, &error);
    if (!headers) {
        err << "wendle mail-report: " << error << '\n';
        return 1;
    }
    out << mailReport(*headers, columns, total);
    return 0;
}

} // namespace wendle
