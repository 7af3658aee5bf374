#pragma once

#include "platform/mail/CurlMailHandle.h"
#include "platform/mail/MailServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <optional>

namespace wendle {

// One logged-in IMAP connection to the mailbox named by the URL's path
// (INBOX when there is none), for the four things the mailbox watcher needs.
//
// libcurl opens the connection (TLS or STARTTLS, login) and we speak the
// commands over it with curl_easy_send/recv. libcurl's own message download
// cannot be used: it fetches with BODY[], which marks the message seen before
// Wendle has handled it, and its custom-command path drops the message
// literal. Blocking; runs on a worker thread; the cancel flag ends any wait.
class ImapSession {
public:
    explicit ImapSession(const std::atomic_bool &cancel);
    ~ImapSession();

    // Connects, logs in and selects the mailbox.
    bool open(const MailServerSettings &settings, QString *error);
    quint32 uidValidity() const { return m_uidValidity; }

    // UIDs of the messages without the \Seen flag, ascending.
    std::optional<QList<quint32>> unseenMessages(QString *error);

    struct Fetched {
        enum Status { Ok, TooLarge, Missing, Failed } status = Failed;
        QByteArray message;
        QString error;
    };
    // The whole message by UID with BODY.PEEK[], which leaves \Seen alone.
    // Messages above maxBytes are not downloaded.
    Fetched fetchMessage(quint32 uid, qint64 maxBytes);

    bool markSeen(const QList<quint32> &uids, QString *error);

private:
    struct Untagged {
        QByteArray text;            // the response without its literals
        QList<QByteArray> literals; // in order of appearance
    };
    struct Response {
        bool ok = false;
        QByteArray status; // the tagged completion line
        QList<Untagged> untagged;
    };

    std::optional<Response> command(const QByteArray &text, QString *error);
    std::optional<Response> exchange(const QByteArray &text, QString *error);
    bool sendAll(const QByteArray &bytes, QString *error);
    bool readLine(QByteArray *line, QString *error);
    bool readBytes(qint64 count, QByteArray *bytes, QString *error);
    bool receiveMore(QString *error);
    bool waitForSocket(bool forWriting, QString *error);

    CurlMailHandle m_handle;
    QByteArray m_buffer;
    int m_tag = 0;
    quint32 m_uidValidity = 0;
    bool m_open = false;
    bool m_broken = false; // an exchange failed half-way: no polite LOGOUT then
};

} // namespace wendle
