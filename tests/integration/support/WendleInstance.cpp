#include "support/WendleInstance.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace wendle::test {

int runProcess(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment, QByteArray *output,
               QByteArray *errors, const QByteArray &input)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    endWithTheTest(process);
    process.start(program, arguments);
    process.write(input);
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

void endWithTheTest(QProcess &process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The test program may have died before the line above ran.
        if (::getppid() != parent)
            ::raise(SIGTERM);
    });
}

TestSession::TestSession()
{
    // The owner's own addresses: the example ones of the defaults give no commands.
    writeFile(home() + "/.config/wendle/wendle.conf",
              "[General]\nremoteEmailAddress=owner@example.org\nphoneEmailAddress=5551234567@txt.example.org\n");
    endWithTheTest(m_bus);
    // A service the bus starts on demand (a notification daemon) must never
    // reach the display of whoever runs the tests.
    QProcessEnvironment busEnvironment = QProcessEnvironment::systemEnvironment();
    busEnvironment.remove("DISPLAY");
    busEnvironment.remove("WAYLAND_DISPLAY");
    m_bus.setProcessEnvironment(busEnvironment);
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!m_bus.waitForStarted(5000))
        return;
    waitFor([this] { return m_bus.canReadLine() || m_bus.state() != QProcess::Running; }, 10000);
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
}

TestSession::~TestSession()
{
    if (daemonRunning())
        stopDaemon();
    stopBus();
}

void TestSession::stopBus()
{
    m_bus.terminate();
    m_bus.waitForFinished(5000);
}

QProcessEnvironment TestSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home());
    env.insert("XDG_CONFIG_HOME", home() + "/.config");
    env.insert("XDG_DATA_HOME", home() + "/data");
    env.insert("XDG_CACHE_HOME", home() + "/.cache");
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    for (auto it = m_variables.cbegin(); it != m_variables.cend(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

QDBusMessage TestSession::callWendle(const QString &interface, const QString &method, const QVariantList &arguments) const
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, "test");
    QDBusMessage call = QDBusMessage::createMethodCall("org.wendle.Wendle", "/org/wendle/Wendle", "org.wendle.Wendle." + interface, method);
    call.setArguments(arguments);
    const QDBusMessage answer = bus.call(call, QDBus::Block, 60000);
    QDBusConnection::disconnectFromBus("test");
    return answer;
}

::testing::AssertionResult TestSession::startDaemon()
{
    // A restart finds the entry of the run before it in the log.
    const qsizetype starts = logText().count(QLatin1String("Wendle started"));
    m_daemon = std::make_unique<QProcess>();
    m_daemon->setProcessEnvironment(environment());
    m_daemonErrors.clear();
    endWithTheTest(*m_daemon);
    m_daemon->start(QStringLiteral(WENDLE_BINARY), {"run", "--headless"});
    if (!m_daemon->waitForStarted(10000))
        return ::testing::AssertionFailure() << "wendle run did not start: " << m_daemon->errorString().toStdString();
    if (waitFor([this, starts] { return logText().count(QLatin1String("Wendle started")) > starts || !daemonRunning(); })
        && daemonRunning())
        return ::testing::AssertionSuccess();
    // Why it did not come up is on its console.
    return ::testing::AssertionFailure() << (daemonRunning() ? "wendle run logged no start" : "wendle run ended") << "; its console:\n"
                                         << daemonConsole().toStdString();
}

int TestSession::stopDaemon(int signalNumber)
{
    if (!m_daemon)
        return -1;
    ::kill(pid_t(m_daemon->processId()), signalNumber);
    return waitForDaemonExit();
}

int TestSession::waitForDaemonExit()
{
    if (!m_daemon)
        return -1;
    if (!m_daemon->waitForFinished(15000)) {
        m_daemon->kill();
        m_daemon->waitForFinished();
        return -1;
    }
    return m_daemon->exitStatus() == QProcess::NormalExit ? m_daemon->exitCode() : -1;
}

QStringList TestSession::outboxFiles(const QString &suffix) const
{
    const QDir outbox(supportFolder() + "/outbox");
    QStringList files;
    for (const QString &name : outbox.entryList({u'*' + suffix}, QDir::Files, QDir::Name))
        files << outbox.filePath(name);
    return files;
}

} // namespace wendle::test
