#pragma once

#include "platform/chat/ChatTransport.h"

#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QTimer;

namespace wendle {

class Preferences;

// Chat through mcabber, the terminal chat program that hands the owner's
// messages to Wendle with the generated handler script: each reply goes
// into mcabber's command FIFO ("mcabberFifo", mcabber's fifo_name) as its
// own /say_to commands (see McabberCommands.h), and mcabber sends them as
// the account it is logged in as.
//
// Writing never blocks: the FIFO is opened without waiting for a reader and
// written without waiting for room. When it cannot take a reply (it does
// not exist, is no FIFO, nobody reads it, or its pipe is full) the reply
// waits in memory, in order, and goes out at the next try, every few
// seconds; one log line tells when the wait starts and one when it ends, not
// one per reply. A file that goes with a reply is named by its path on its
// own line: mcabber has no command that sends a file.
class McabberChatTransport : public ChatTransport {
public:
    using Log = std::function<void(const QString &line)>;

    McabberChatTransport(const Preferences &preferences, Log log);
    ~McabberChatTransport() override;

    bool send(const OutgoingChat &chat, const QString &script) override;
    // Tries once more to write what waits; what still waits is logged and
    // given up (at quit).
    void stop();

    // Writes what waits as far as the FIFO takes it; the retry timer calls it.
    void flush();
    // Replies not yet wholly written.
    qsizetype waitingReplies() const { return qsizetype(m_waiting.size()); }
    // For `wendle status`: the FIFO and whether replies wait.
    QString state() const override;
    // The FIFO's path, "~/" expanded.
    QString fifoPath() const;

private:
    struct Reply {
        QByteArrayList commands;
        qsizetype written = 0; // whole commands already in the FIFO
    };
    // Opens the FIFO for writing without waiting; -1 with the reason why not.
    int openFifo(const QString &path, QString *problem) const;
    void waitFor(const QString &problem);

    const Preferences &m_preferences;
    Log m_log;
    std::deque<Reply> m_waiting;
    QString m_problem; // why replies wait; empty while the FIFO takes them
    qsizetype m_dropped = 0;
    std::unique_ptr<QObject> m_context;
    QTimer *m_retry = nullptr;
};

} // namespace wendle
