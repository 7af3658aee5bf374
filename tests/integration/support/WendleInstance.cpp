#include "support/WendleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace wendle::test {

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

TestSession::TestSession()
{
    m_bus.setProgram(QStringLiteral("dbus-daemon"));
    m_bus.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    m_bus.start();
    if (!m_bus.waitForStarted(5000))
        return;
    waitFor([this] { return m_bus.canReadLine() || m_bus.state() != QProcess::Running; }, 10000);
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
}

TestSession::~TestSession()
{
    if (daemonRunning())
        stopDaemon();
    m_bus.terminate();
    m_bus.waitForFinished(5000);
}

QProcessEnvironment TestSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QLatin1String("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QLatin1String("/data"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

int TestSession::runProgram(const QString &program, const QStringList &arguments, QByteArray *output, QByteArray *errors) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int TestSession::runWendle(const QStringList &arguments, QByteArray *output, QByteArray *errors) const
{
    return runProgram(QStringLiteral(WENDLE_BINARY), arguments, output, errors);
}

bool TestSession::startDaemon()
{
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessEnvironment(environment());
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon->start(QStringLiteral(WENDLE_BINARY), {QStringLiteral("run"), QStringLiteral("--headless")});
    if (!m_daemon->waitForStarted(10000))
        return false;
    return waitFor([this] { return logText().contains(QLatin1String("Wendle started")) || !daemonRunning(); })
           && daemonRunning();
}

int TestSession::stopDaemon()
{
    if (!m_daemon)
        return -1;
    m_daemon->terminate();
    if (!m_daemon->waitForFinished(15000)) {
        m_daemon->kill();
        m_daemon->waitForFinished();
        return -1;
    }
    return m_daemon->exitStatus() == QProcess::NormalExit ? m_daemon->exitCode() : -1;
}

bool TestSession::daemonRunning() const
{
    return m_daemon && m_daemon->state() == QProcess::Running;
}

QString TestSession::logText() const
{
    QFile file(supportFolder() + QLatin1String("/wendle.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList TestSession::outboxFiles(const QString &suffix) const
{
    QDir outbox(supportFolder() + QLatin1String("/outbox"));
    QStringList files;
    for (const QString &name : outbox.entryList({u'*' + suffix}, QDir::Files, QDir::Name))
        files << outbox.filePath(name);
    return files;
}

} // namespace wendle::test
