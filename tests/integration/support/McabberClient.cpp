#include "support/McabberClient.h"

#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QStandardPaths>

#include <csignal>
#include <pty.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace wendle::test {

::testing::AssertionResult McabberClient::start(const ProsodyServer &server, const QString &home, const QString &eventsCommand,
                                                QProcessEnvironment environment)
{
    m_home = home;
    // The server's certificate names example.test while mcabber reaches it
    // as 127.0.0.1, so the checks are off; the link is still TLS.
    const QString rc = QStringLiteral("set jid = computer@%1\nset password = secret2\n"
                                      "set server = 127.0.0.1\nset port = %2\n"
                                      "set resource = mcabber\nset disable_random_resource = 1\n"
                                      "set tls = 1\nset ssl_ignore_checks = 1\n"
                                      "set events_command = %3\nset event_log_files = 1\nset event_log_dir = ~/.mcabber/events\n"
                                      "set fifo_name = ~/.mcabber/mcabber.fifo\nset fifo_hide_commands = 1\nmodule load fifo\n"
                                      "set logging = 0\nset tracelog_level = 1\nset tracelog_file = ~/.mcabber/trace.log\n")
                           .arg(ProsodyServer::domain())
                           .arg(server.port())
                           .arg(eventsCommand);
    if (!QDir().mkpath(home + "/.mcabber/events") || !writeFile(home + "/.mcabber/mcabberrc", rc.toUtf8())
        || !QFile::setPermissions(home + "/.mcabber/mcabberrc", QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || !QFile::setPermissions(home + "/.mcabber", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return ::testing::AssertionFailure() << "cannot write mcabber's configuration in " << home.toStdString();

    environment.insert("HOME", home);
    environment.insert("TERM", "xterm");
    environment.insert("LANG", "C.UTF-8");
    std::vector<std::string> variables;
    for (const QString &variable : environment.toStringList())
        variables.push_back(variable.toStdString());
    std::vector<char *> envp;
    for (std::string &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string program = QStandardPaths::findExecutable(QStringLiteral("mcabber")).toStdString();
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};

    const int before = server.logins("computer");
    winsize size{.ws_row = 40, .ws_col = 120, .ws_xpixel = 0, .ws_ypixel = 0};
    const pid_t parent = ::getpid();
    m_pid = ::forkpty(&m_terminal, nullptr, nullptr, &size);
    if (m_pid < 0)
        return ::testing::AssertionFailure() << "forkpty failed";
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        if (::chdir(home.toLocal8Bit().constData()) != 0)
            ::_exit(1);
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    // Its screen is read all along and dropped: a terminal nobody reads stops the program.
    m_reader = std::make_unique<QSocketNotifier>(m_terminal, QSocketNotifier::Read);
    QObject::connect(m_reader.get(), &QSocketNotifier::activated, [this] {
        char buffer[4096];
        if (::read(m_terminal, buffer, sizeof buffer) <= 0)
            m_reader->setEnabled(false);
    });
    const QString fifo = home + "/.mcabber/mcabber.fifo";
    if (!waitFor([&] { return server.logins("computer") > before && QFileInfo(fifo).exists(); }, 30000))
        return ::testing::AssertionFailure() << "mcabber did not log in; its trace log:\n" << traceLog().toStdString();
    return ::testing::AssertionSuccess();
}

void McabberClient::stop()
{
    m_reader.reset();
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, 5000)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_terminal >= 0)
        ::close(m_terminal);
    m_terminal = -1;
}

} // namespace wendle::test
