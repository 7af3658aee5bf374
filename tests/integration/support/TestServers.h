#pragma once

// Real servers on loopback for the integration tests, each in its own
// temporary folder on a free port: OpenSMTPD delivering every message to a
// Maildir, Dovecot serving one user's Maildir over IMAP, a CUPS scheduler.

#include "support/ParsedMail.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace wendle::test {

// A port nobody listens on now: bind port 0 on 127.0.0.1 and ask which it got.
quint16 freeLoopbackPort();

// An IPv4 address of this machine other than loopback, or empty when it has
// none: what a remote server looks like to the code under test.
QString nonLoopbackAddress();

// A server program run in the foreground, so that the process object owns it
// and a crashed test does not leave it running. Stopped when destroyed.
class TestServer {
public:
    ~TestServer() { stop(); }
    // Stops the server; start() brings it back.
    void stop();
    quint16 port() const { return m_port; }
    QString log() const { return QString::fromUtf8(readFile(m_dir.filePath("server.log"))); }
    // Serve over TLS from the start (imaps, smtps) with a self-signed
    // certificate for 127.0.0.1; call before start.
    void useTls() { m_tls = true; }
    // The certificate's PEM file, what a client is told to trust.
    QString certificate() const { return m_dir.filePath("tls/certificate.pem"); }

protected:
    static bool installed(std::initializer_list<const char *> programs);
    TestServer();
    ::testing::AssertionResult launch(const QString &program, const QStringList &arguments);
    // Makes the certificate and key when the server uses TLS.
    ::testing::AssertionResult makeCertificate();
    QString key() const { return m_dir.filePath("tls/key.pem"); }

    QTemporaryDir m_dir;
    bool m_tls = false;
    const quint16 m_port;
    std::unique_ptr<QProcess> m_process;
};

class SmtpTestServer : public TestServer {
public:
    // Empty when a test server can run here, otherwise why not. OpenSMTPD
    // keeps its control socket and queue machine-wide (/run, /var/spool), so
    // each test server gets its own in a private mount namespace: it runs
    // beside the machine's own smtpd and beside other tests' servers.
    static QString unavailable();
    ::testing::AssertionResult start();
    // Listen on this address too (same port); call before start.
    void alsoListenOn(const QString &address) { m_extraAddress = address; }
    // Mail for any address at domain goes into this Maildir (another
    // server's, say) instead of the server's own; call before start.
    void deliverDomainInto(const QString &domain, const QString &maildir) { m_routes << QStringList{domain, maildir}; }
    QString url() const { return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "smtps" : "smtp").arg(m_port); }
    // The accepted messages whose body holds token, one per recipient.
    // Recipients at rejected.invalid are refused.
    QList<ParsedMail> delivered(const QString &token = QString()) const;

private:
    QString m_extraAddress;
    QList<QStringList> m_routes;
};

class ImapTestServer : public TestServer {
public:
    static bool installed() { return TestServer::installed({"dovecot"}); }
    ::testing::AssertionResult start();
    QString url() const { return QStringLiteral("%1://127.0.0.1:%2/INBOX").arg(m_tls ? "imaps" : "imap").arg(m_port); }
    static QString user() { return QStringLiteral("tester"); }
    static QString password() { return QStringLiteral("secret"); }

    // Drops a message into the mailbox as new and unseen.
    bool deliver(const QByteArray &message, const QString &folder = QStringLiteral("INBOX"));
    // The folder's Maildir, made when it is not there yet (empty when it cannot be).
    QString maildir(const QString &folder = QStringLiteral("INBOX"));
    // UIDs without \Seen, asked with the curl program (not the code under test).
    QStringList unseenUids(const QString &folder = QStringLiteral("INBOX")) const;

private:
    int m_delivered = 0;
};

// A private CUPS scheduler, so tests never touch the system's own print system.
// Clients reach it through CUPS_SERVER.
class CupsServer : public TestServer {
public:
    static bool installed() { return TestServer::installed({"cupsd", "lpadmin", "lpstat", "lp"}); }
    ::testing::AssertionResult start();
    // "127.0.0.1:PORT", the value of CUPS_SERVER for its clients.
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString spoolFolder() const { return m_dir.filePath("spool"); }

    // An enabled queue that prints into /dev/null.
    ::testing::AssertionResult addQueue(const QString &name);
    // Runs a CUPS client against this server; the exit code, -1 when it hangs.
    int runClient(const QString &program, const QStringList &arguments, QByteArray *output = nullptr) const;
};

} // namespace wendle::test
