#pragma once

// Real mail servers on loopback for the integration tests, each in its own
// temporary folder on a free port: OpenSMTPD delivering every message to a
// Maildir, Dovecot serving one user's Maildir over IMAP.

#include <QByteArray>
#include <QLockFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace wendle::test {

// A port nobody listens on now: bind port 0 on 127.0.0.1 and ask which it got.
quint16 freeLoopbackPort();
bool acceptsConnections(quint16 port);

// An IPv4 address of this machine other than loopback, or empty when it has
// none: what a remote server looks like to the code under test.
QString nonLoopbackAddress();

// The path of an installed program, or empty.
QString findServerProgram(const QString &name);

class SmtpTestServer {
public:
    SmtpTestServer();
    ~SmtpTestServer();

    static bool installed() { return !findServerProgram(QStringLiteral("smtpd")).isEmpty(); }

    // OpenSMTPD keeps one control socket per machine, so only one instance can
    // run at a time: the first call waits for other test processes' servers.
    bool start(QString *error);
    void stop();
    // Listen on this address too (same port); call before the first start.
    void alsoListenOn(const QString &address) { m_extraAddress = address; }

    quint16 port() const { return m_port; }
    QString url() const { return QStringLiteral("smtp://127.0.0.1:%1").arg(m_port); }
    // Every accepted message ends up here, one file per recipient. Recipients
    // at rejected.invalid are refused.
    QStringList deliveredFiles() const;
    QString log() const;

private:
    bool writeConfiguration(QString *error);

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QString m_extraAddress;
    std::unique_ptr<QLockFile> m_machineLock;
    std::unique_ptr<QProcess> m_process;
};

class ImapTestServer {
public:
    ImapTestServer();
    ~ImapTestServer();

    static bool installed() { return !findServerProgram(QStringLiteral("dovecot")).isEmpty(); }

    bool start(QString *error);
    void stop();

    quint16 port() const { return m_port; }
    QString url() const { return QStringLiteral("imap://127.0.0.1:%1/INBOX").arg(m_port); }
    static QString user() { return QStringLiteral("tester"); }
    static QString password() { return QStringLiteral("secret"); }

    // Drops a message into the mailbox as new and unseen.
    bool deliver(const QByteArray &message);
    // UIDs without \Seen, asked with the curl program (not the code under test).
    QStringList unseenUids(QString *error = nullptr) const;
    QString log() const;

private:
    bool writeConfiguration(QString *error);

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    int m_delivered = 0;
    std::unique_ptr<QProcess> m_process;
};

} // namespace wendle::test
