#include "platform/mail/MailServer.h"

#include "platform/chat/ChatAdapters.h"
#include "platform/mail/ErrorText.h"
#include "platform/preferences/Preferences.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

namespace wendle {

namespace {

constexpr int PasswordCommandTimeoutMs = 30000;

QString prefix(MailProtocol protocol)
{
    return protocol == MailProtocol::Smtp ? QStringLiteral("smtp") : QStringLiteral("imap");
}

bool isLoopbackIPv4(const QString &host)
{
    const QStringList parts = host.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        bool numeric = false;
        const int value = part.toInt(&numeric);
        if (!numeric || value < 0 || value > 255)
            return false;
    }
    return parts.first().toInt() == 127;
}

bool isLoopbackIPv6(const QString &host)
{
    QString address = host;
    address.remove(u'[').remove(u']');
    return address == QLatin1String("::1") || address == QLatin1String("0:0:0:0:0:0:0:1");
}

} // namespace

QString expandHome(const QString &word)
{
    static const QRegularExpression home(QStringLiteral("\\$(HOME\\b|\\{HOME\\})"));
    const QString folder = QDir::homePath();
    QString expanded = word;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded.replace(0, 1, folder);
    return expanded.replace(home, folder);
}

MailServerSettings readMailServerSettings(const Preferences &preferences, MailProtocol protocol)
{
    const QString name = prefix(protocol);
    MailServerSettings settings;
    settings.url = preferences.stringValue(name + QLatin1String("Url")).trimmed();
    settings.user = preferences.stringValue(name + QLatin1String("User")).trimmed();
    settings.passwordCommand = argumentVector(preferences, name + QLatin1String("PasswordCommand"));
    settings.trustedCertificate = preferences.stringValue(QStringLiteral("mailTrustedCertificate")).trimmed();
    return settings;
}

bool isLoopbackHost(const QString &host)
{
    const QString lower = host.toLower();
    if (lower == QLatin1String("localhost") || lower == QLatin1String("localhost."))
        return true;
    return isLoopbackIPv4(lower) || isLoopbackIPv6(lower);
}

ConnectionPlan planConnection(const QString &url, MailProtocol protocol)
{
    const QString plainScheme = prefix(protocol);
    const QString secureScheme = plainScheme + u's';
    const QString key = plainScheme + QLatin1String("Url");
    ConnectionPlan plan;
    if (url.isEmpty()) {
        plan.error = QStringLiteral("%1 is not set").arg(key);
        return plan;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.host().isEmpty() || (scheme != plainScheme && scheme != secureScheme)) {
        plan.error = QStringLiteral("%1 \"%2\" is not a %3:// or %4:// address with a host").arg(key, url, plainScheme, secureScheme);
        return plan;
    }
    plan.requireTls = scheme == secureScheme || !isLoopbackHost(parsed.host());
    return plan;
}

std::optional<QString> runPasswordCommand(const QStringList &command, QString *error)
{
    if (command.isEmpty() || command.first().isEmpty()) {
        setError(error, QStringLiteral("no password command is set"));
        return std::nullopt;
    }
    // The command runs without a shell, yet "cat ~/.imap-password" should
    // work the way it reads.
    QStringList words;
    for (const QString &word : command)
        words << expandHome(word);
    QProcess process;
    process.setProgram(words.first());
    process.setArguments(words.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(PasswordCommandTimeoutMs)) {
        setError(error, QStringLiteral("cannot start the password command %1: %2").arg(command.first(), process.errorString()));
        return std::nullopt;
    }
    if (!process.waitForFinished(PasswordCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        setError(error, QStringLiteral("the password command %1 did not finish in time").arg(command.first()));
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        setError(error, QStringLiteral("the password command %1 failed (status %2): %3")
                            .arg(command.first())
                            .arg(process.exitCode())
                            .arg(QString::fromUtf8(process.readAllStandardError()).trimmed()));
        return std::nullopt;
    }
    QByteArray output = process.readAllStandardOutput();
    if (output.endsWith('\n'))
        output.chop(1);
    if (output.endsWith('\r'))
        output.chop(1);
    return QString::fromUtf8(output);
}

} // namespace wendle
