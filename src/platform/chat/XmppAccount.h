#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

class Preferences;

// Everything needed to log in to the chat server, read from the preferences
// at each (re)connection so that changes apply without a restart.
struct XmppAccount {
    QString jid; // the computer's account, with a resource
    QString domain;
    QString host;                // empty: the domain's own server (DNS SRV)
    quint16 port = 0;            // 0: the standard port
    bool requireTls = true;      // false only towards a loopback server
    QString trustedCertificate;  // PEM file trusted beside the system's store
    QStringList passwordCommand; // prints the password
    QString remoteAddress;       // the owner's account, whose subscription is accepted
    QString error;               // why the settings cannot be used; empty when they can

    bool usable() const { return error.isEmpty(); }
    bool operator==(const XmppAccount &) const = default;
};

XmppAccount readXmppAccount(const Preferences &preferences);

// "host", "host:port" or "[v6-address]:port"; false when the port is not a
// number from 1 to 65535 or the host is empty.
bool parseServerAddress(const QString &text, QString *host, quint16 *port);

// The address without its resource, lower-cased: what the owner's account is
// compared by.
QString bareAddress(const QString &jid);

} // namespace wendle
