#pragma once

// A private Prosody on loopback with two accounts, the owner's and the
// computer's, an HTTP upload service, and go-sendxmpp as the owner's phone.

#include "support/TestServers.h"

namespace wendle::test {

class ProsodyServer : public TestServer {
public:
    static bool installed() { return TestServer::installed({"prosody", "prosodyctl", "go-sendxmpp", "openssl"}); }
    static QString domain() { return QStringLiteral("example.test"); }

    // Writes the configuration and certificate, registers the accounts
    // (owner/secret1, computer/secret2, eve/secret3) and starts the server;
    // after stop() it comes back with the same accounts.
    ::testing::AssertionResult start();
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString certificate() const { return m_dir.filePath("certs/example.test.crt"); }
    // How many times user has logged in so far.
    int logins(const QString &user) const { return log().count("Authenticated as " + user + u'@' + domain()); }

    // go-sendxmpp as user (owner, eve) sends text to the computer's account;
    // raw sends text as the XML of a stanza. The exit code.
    int send(const QString &user, const QByteArray &text, bool raw = false) const;

private:
    QString config() const { return m_dir.filePath("prosody.cfg.lua"); }
    bool m_prepared = false;
    quint16 m_httpPort = 0;
};

// go-sendxmpp listening as the owner: everything that reaches the owner's
// account, as "TIME sender: text" lines.
class OwnerPhone {
public:
    explicit OwnerPhone(const ProsodyServer &server);
    ~OwnerPhone();
    // True once it has logged in, so that nothing sent to the owner is missed.
    bool ready() const { return m_ready; }
    // Everything received so far.
    QString received();
    // Waits until the received text holds needle.
    bool waitFor(const QString &needle, int timeoutMs = 20000);

private:
    QProcess m_process;
    QString m_received;
    bool m_ready = false;
};

} // namespace wendle::test
