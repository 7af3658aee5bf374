#include "support/NotificationServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStandardPaths>

#include <algorithm>

namespace wendle::test {

bool NotificationServer::installed()
{
    const char *programs[] = {"Xvfb", "dunst", "dunstctl"};
    return std::ranges::none_of(programs, [](const char *name) { return QStandardPaths::findExecutable(QLatin1String(name)).isEmpty(); });
}

NotificationServer::~NotificationServer()
{
    for (QProcess *process : {&m_dunst, &m_display}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished();
    }
}

::testing::AssertionResult NotificationServer::start(const TestSession &session)
{
    // Xvfb picks a free display itself and writes its number on the descriptor.
    endWithTheTest(m_display);
    m_display.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    if (!waitFor([this] { return m_display.canReadLine() || m_display.state() == QProcess::NotRunning; }, 20000)
        || !m_display.canReadLine())
        return ::testing::AssertionFailure() << "Xvfb did not start: " << m_display.readAllStandardError().constData();
    const QString display = u':' + QString::fromLatin1(m_display.readLine()).trimmed();

    // Notices stay until they are closed, each of its own (identical ones are
    // not merged), and the rule records every one.
    const QString record = m_dir.filePath("record");
    writeFile(record,
              QStringLiteral("#!/bin/sh\nprintf '%s\\t%s\\t%s\\n' \"$1\" \"$2\" \"$3\" >> '%1'\n").arg(m_dir.filePath("notices")).toUtf8());
    QFile::setPermissions(record, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(m_dir.filePath("dunstrc"), QStringLiteral("[global]\n    timeout = 0\n    stack_duplicates = false\n"
                                                        "[record]\n    appname = \"*\"\n    script = \"%1\"\n")
                                             .arg(record)
                                             .toUtf8());

    m_environment = session.environment();
    m_environment.insert(QStringLiteral("DISPLAY"), display);
    m_dunst.setProcessEnvironment(m_environment);
    endWithTheTest(m_dunst);
    m_dunst.start(QStringLiteral("dunst"), {"-config", m_dir.filePath("dunstrc")});
    QDBusConnection bus = QDBusConnection::connectToBus(session.busAddress(), QStringLiteral("notification-server"));
    const bool up = waitFor([&] {
                        return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"))
                               || m_dunst.state() == QProcess::NotRunning;
                    })
                    && m_dunst.state() == QProcess::Running;
    QDBusConnection::disconnectFromBus(QStringLiteral("notification-server"));
    if (up)
        return ::testing::AssertionSuccess();
    const std::string state =
        m_dunst.state() == QProcess::Running ? "still running" : "ended with code " + std::to_string(m_dunst.exitCode());
    return ::testing::AssertionFailure() << "dunst did not take org.freedesktop.Notifications (" << state << ", display "
                                         << display.toStdString() << (m_display.state() == QProcess::Running ? " up" : " gone")
                                         << "): " << m_dunst.readAllStandardError().constData()
                                         << m_dunst.readAllStandardOutput().constData();
}

QList<NotificationServer::Notice> NotificationServer::notices() const
{
    QList<Notice> notices;
    const QString text = QString::fromUtf8(readFile(m_dir.filePath("notices")));
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() == 3)
            notices.append({fields[0], fields[1], fields[2]});
    }
    return notices;
}

} // namespace wendle::test
