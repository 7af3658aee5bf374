#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace wendle {

class Preferences;

enum class MailProtocol { Smtp, Imap };

// How to reach one mail server, read from the preferences "<prefix>Url",
// "<prefix>User" and "<prefix>PasswordCommand" (prefix "smtp" or "imap").
// The password itself is never stored: the command prints it.
struct MailServerSettings {
    QString url;
    QString user;
    QStringList passwordCommand;
    QString trustedCertificate; // "mailTrustedCertificate": a PEM file trusted beside the system's store
};

MailServerSettings readMailServerSettings(const Preferences &preferences, MailProtocol protocol);

// 127.0.0.0/8, ::1 and localhost: traffic that never leaves the machine.
bool isLoopbackHost(const QString &host);

// What the URL allows. Encryption is required (smtps/imaps, or STARTTLS on
// smtp/imap) except towards a loopback host, where a plain link is accepted for
// local relays and tests; so a password never crosses the network in clear.
struct ConnectionPlan {
    QString error;          // why the URL is refused; empty when it is usable
    bool requireTls = true; // refuse to go on unless the link is encrypted
    bool ok() const { return error.isEmpty(); }
};

ConnectionPlan planConnection(const QString &url, MailProtocol protocol);

// Runs the password command (an argument vector, no shell) and returns what it
// printed, without the line break at the end. nullopt with *error set when it
// cannot run, times out or exits non-zero. An empty command gives nullopt too.
// "~" at the start of a word and "$HOME" anywhere in it stand for the home folder.
std::optional<QString> runPasswordCommand(const QStringList &command, QString *error);
QString expandHome(const QString &word);

} // namespace wendle
