#pragma once

#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace wendle::test {

// Makes the process end with the test program, even when a test aborts and no
// destructor runs: it gets SIGTERM when the test program dies.
void endWithTheTest(QProcess &process);

// Runs a program with input on its standard input to the end; returns its
// exit code (-1 when it hangs or crashes).
int runProcess(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment, QByteArray *output = nullptr,
               QByteArray *errors = nullptr, const QByteArray &input = QByteArray());

// A private session bus and a temporary home for black-box runs of the real
// binary, the way dbus-run-session gives one to a command.
class TestSession {
public:
    TestSession();
    ~TestSession();

    bool isReady() const { return !m_busAddress.isEmpty(); }
    QString busAddress() const { return m_busAddress; }
    QString home() const { return m_home.path(); }
    QString supportFolder() const { return m_home.path() + QLatin1String("/data/wendle"); }
    QProcessEnvironment environment() const;
    // A variable every program of the session gets from now on (GNUPGHOME).
    void setVariable(const QString &name, const QString &value) { m_variables.insert(name, value); }

    // Runs `wendle ARGS` with input on its standard input to the end; returns
    // its exit code (-1 when it hangs).
    int runWendle(const QStringList &arguments, QByteArray *output = nullptr, QByteArray *errors = nullptr,
                  const QByteArray &input = QByteArray()) const
    {
        return runProgram(QStringLiteral(WENDLE_BINARY), arguments, output, errors, input);
    }
    // Runs any program in the session's environment.
    int runProgram(const QString &program, const QStringList &arguments, QByteArray *output = nullptr, QByteArray *errors = nullptr,
                   const QByteArray &input = QByteArray()) const
    {
        return runProcess(program, arguments, environment(), output, errors, input);
    }
    bool configure(const QString &key, const QString &value) const { return runWendle({"config", "set", key, value}) == 0; }
    ::testing::AssertionResult configure(std::initializer_list<std::pair<QString, QString>> settings) const
    {
        for (const auto &[key, value] : settings) {
            if (!configure(key, value))
                return ::testing::AssertionFailure() << "wendle config set " << key.toStdString() << " failed";
        }
        return ::testing::AssertionSuccess();
    }
    // `wendle send --mail|--chat --from FROM TEXT`; its exit code.
    int send(const QString &from, const QString &text, const QString &road = "--mail") const
    {
        return runWendle({"send", road, "--from", from, text});
    }

    // Starts `wendle run --headless` and waits until it logged its start;
    // a failure carries the daemon's console.
    ::testing::AssertionResult startDaemon();
    // Sends the signal (SIGTERM unless told), then waits for the exit;
    // returns the exit code.
    int stopDaemon(int signalNumber = 15);
    // Waits for the daemon to end by itself; its exit code (-1 when it does not).
    int waitForDaemonExit();
    // Ends the session's bus daemon, as when a session ends.
    void stopBus();
    bool daemonRunning() const { return m_daemon && m_daemon->state() == QProcess::Running; }
    qint64 daemonProcessId() const { return m_daemon ? m_daemon->processId() : 0; }
    // What the daemon has written on its standard output so far.
    QByteArray daemonOutput() { return m_daemonOutput += m_daemon ? m_daemon->readAllStandardOutput() : QByteArray(); }
    // Its console (standard error, which the journal keeps) so far.
    QString daemonConsole() { return QString::fromUtf8(m_daemonErrors += m_daemon ? m_daemon->readAllStandardError() : QByteArray()); }

    // A direct call on the session's bus of an interface of Wendle's
    // (named without "org.wendle.Wendle."), for payloads no command line can
    // carry and for polls quicker than a client start.
    QDBusMessage callWendle(const QString &interface, const QString &method, const QVariantList &arguments = {}) const;
    // A call of the Inbound interface; whether it was answered.
    bool callInbound(const QString &method, const QVariantMap &arguments) const
    {
        return callWendle(QStringLiteral("Inbound"), method, {arguments}).type() == QDBusMessage::ReplyMessage;
    }

    QString logText() const { return QString::fromUtf8(readFile(supportFolder() + "/wendle.log")); }
    QStringList outboxFiles(const QString &suffix = ".eml") const;

private:
    QTemporaryDir m_home;
    QMap<QString, QString> m_variables;
    QProcess m_bus;
    QString m_busAddress;
    std::unique_ptr<QProcess> m_daemon;
    QByteArray m_daemonOutput;
    QByteArray m_daemonErrors;
};

// A test with a session of its own, skipped where there is no dbus-daemon.
class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!session.isReady())
            GTEST_SKIP() << "dbus-daemon is not available; scripts/install-deps installs it";
    }
    TestSession session;
};

} // namespace wendle::test
