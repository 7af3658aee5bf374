#pragma once

// mcabber, the terminal chat program, as the owner runs it on the computer:
// in a pseudo-terminal of its own, logged in to the test's Prosody as the
// computer's account, running Wendle's handler script on each message and
// reading its command FIFO.

#include "support/ProsodyServer.h"
#include "support/TestFiles.h"

#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <memory>

namespace wendle::test {

class McabberClient {
public:
    static bool installed() { return !QStandardPaths::findExecutable(QStringLiteral("mcabber")).isEmpty(); }
    ~McabberClient() { stop(); }

    // Writes home/.mcabber/mcabberrc (events_command = eventsCommand,
    // fifo_name = ~/.mcabber/mcabber.fifo), starts mcabber with environment
    // and HOME = home, and waits until it has logged in and made its FIFO.
    ::testing::AssertionResult start(const ProsodyServer &server, const QString &home, const QString &eventsCommand,
                                     QProcessEnvironment environment);
    // Its trace log, for a failure message.
    QString traceLog() const { return QString::fromUtf8(readFile(m_home + "/.mcabber/trace.log")); }

private:
    void stop();

    QString m_home;
    int m_terminal = -1;
    pid_t m_pid = -1;
    std::unique_ptr<QSocketNotifier> m_reader;
};

} // namespace wendle::test
