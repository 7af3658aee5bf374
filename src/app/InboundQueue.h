#pragma once

#include "intake/MessageIdMemory.h"
#include "intake/SignedCommands.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <memory>

class QObject;

namespace wendle {

// One inbound message as the scripting interface, `wendle deliver` or a
// mailbox watcher hands it over. Null strings are missing values.
struct InboundItem {
    bool chat = false;
    QString from;
    QString text;
    QString attachment;
    QString messageId;
    QStringList authenticationResults;
    QString senderHeader; // the Sender header; null when the message has none
    QString dateHeader;   // the Date header; null when the message has none
    MailSignature signature;
};

// Takes inbound messages over and hands them to the intake one at a time,
// from the event loop, after whoever brought the message has its answer: a
// delivery agent waits only until Wendle has the message, not until the
// command has run (a slow command then cannot make it give up and deliver
// the message again). The next message waits until the handler says the
// command before it has answered, which a custom script does after the
// handler returned. Each message is written to a spool folder before it
// counts as taken and removed from it just before it is handed over, so a
// message taken before a crash or a shutdown is run by the next start. A
// message whose Message-ID, or whose good signature, was run before is
// dropped, and the refusal handler is told. An id is remembered
// only once the intake took its message as the owner's command: a stranger
// who sends the id first must not use it up.
class InboundQueue {
public:
    // Runs the item's command and calls done once it has answered, which may
    // be before it returns. Answers whether the message was taken as a command.
    using Handler = std::function<bool(const InboundItem &item, const std::function<void()> &done)>;
    enum class Outcome {
        Taken,
        RunBefore,   // a message with its id has run before; it is dropped
        CannotSpool, // the spool folder cannot be written: not taken, whoever brought it keeps it
    };

    // Told of each message dropped for having run before, with the reason.
    using RefusalHandler = std::function<void(const InboundItem &item, const QString &why)>;

    InboundQueue(const QString &supportFolder, Handler handler);
    void setRefusalHandler(RefusalHandler handler) { m_refused = std::move(handler); }
    ~InboundQueue();

    // A message is taken only once it is safe on disk: one held in memory
    // alone would be lost by a stop, while its sender believes it delivered.
    // *why says what kept it from the disk.
    Outcome take(const InboundItem &item, QString *why = nullptr);
    // Hands over what an earlier run took and did not hand over.
    void resume();
    qsizetype waiting() const { return qsizetype(m_items.size()); }

private:
    struct Entry {
        InboundItem item;
        QString spoolFile;
    };
    void scheduleNext();
    void handOverNext();
    void handedOver(quint64 turn);
    // Why the item may not run: it, or its signed command, ran before. Null when it may.
    QString ranBefore(const InboundItem &item, const QDateTime &now) const;
    // The spool file's path; empty with *why set when it cannot be written.
    QString spool(const InboundItem &item, QString *why);

    QString m_spoolFolder;
    Handler m_handler;
    RefusalHandler m_refused;
    MessageIdMemory m_messageIds;
    std::deque<Entry> m_items;
    std::unique_ptr<QObject> m_context;
    bool m_scheduled = false;
    bool m_handingOver = false;
    quint64 m_turn = 0; // counts hand-overs, so a late or second done changes nothing
    quint64 m_counter = 0;
};

QVariantMap inboundItemToMap(const InboundItem &item);
InboundItem inboundItemFromMap(const QVariantMap &map);

} // namespace wendle
