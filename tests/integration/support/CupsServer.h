#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace wendle::test {

// A private CUPS scheduler on a loopback port, with its configuration, spool
// and state in a temporary folder, so tests never touch the system's own print
// system. Clients reach it through CUPS_SERVER. Stopped when destroyed.
class CupsServer {
public:
    ~CupsServer();

    // Whether cupsd and the client tools are installed.
    static bool isInstalled();

    // Writes the configuration, starts cupsd and waits until it answers.
    ::testing::AssertionResult start();
    // "127.0.0.1:PORT", the value of CUPS_SERVER for its clients.
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString spoolFolder() const { return m_dir.path() + QLatin1String("/spool"); }

    // An enabled queue that prints into /dev/null.
    ::testing::AssertionResult addQueue(const QString &name);
    // Runs a CUPS client against this server; the exit code, -1 when it hangs.
    int runClient(const QString &program, const QStringList &arguments, QByteArray *output = nullptr) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    quint16 m_port = 0;
};

} // namespace wendle::test
