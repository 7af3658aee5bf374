#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace wendle::test {

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

    // Runs `wendle ARGS` to the end; returns its exit code (-1 when it hangs).
    int runWendle(const QStringList &arguments, QByteArray *output = nullptr, QByteArray *errors = nullptr) const;
    // Runs any program in the session's environment.
    int runProgram(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
                   QByteArray *errors = nullptr) const;

    // Starts `wendle run --headless` and waits until it logged its start.
    bool startDaemon();
    // SIGTERM, then waits for the exit; returns the exit code.
    int stopDaemon();
    bool daemonRunning() const;

    QString logText() const;
    QStringList outboxFiles(const QString &suffix) const;

private:
    QTemporaryDir m_home;
    QProcess m_bus;
    QString m_busAddress;
    std::unique_ptr<QProcess> m_daemon;
};

// Polls the condition (running the event loop between tries) for up to
// timeoutMs; true as soon as it holds.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 15000);

} // namespace wendle::test
