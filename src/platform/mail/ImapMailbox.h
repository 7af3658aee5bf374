#pragma once

#include "platform/mail/CurlMailHandle.h"
#include "platform/mail/MailServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <optional>

namespace wendle {

// One IMAP mailbox reached through libcurl's own IMAP support: libcurl
// connects (TLS or STARTTLS), logs in, selects the mailbox, parses the
// answers and keeps the connection for the next request of the same object.
//
// libcurl downloads a message with BODY[], which sets \Seen; fetchMessages()
// therefore clears the flag again on what it fetched, so a message stays
// unseen until markSeen() says it was handled.
//
// Blocking; used on a worker thread; the cancel flag ends any transfer.
class ImapMailbox {
public:
    explicit ImapMailbox(const std::atomic_bool &cancel);

    // Checks the settings and opens the folder (the URL's own path when
    // folder is empty); reads its UIDVALIDITY.
    bool open(const MailServerSettings &settings, const QString &folder, QString *error);
    quint32 uidValidity() const { return m_uidValidity; }
    // On a mailbox opened before: has the server look at the folder again
    // (new messages become visible) and reads UIDVALIDITY anew. libcurl
    // reconnects and logs in again by itself when the server closed the
    // connection meanwhile.
    bool refresh(QString *error);

    // UIDs matching the IMAP search criteria, ascending.
    std::optional<QList<quint32>> search(const QByteArray &criteria, QString *error);

    struct Fetched {
        enum Status { Ok, TooLarge, Missing, Failed } status = Failed;
        quint32 uid = 0;
        QByteArray message;
        QString error;
    };
    // The whole messages by UID; messages above maxBytes are not downloaded.
    QList<Fetched> fetchMessages(const QList<quint32> &uids, qint64 maxBytes, QString *error);

    bool markSeen(const QList<quint32> &uids, QString *error);

    struct Headers {
        QList<QByteArray> blocks; // From and Subject of the newest unseen messages, oldest first
        qsizetype unseen = 0;     // all unseen messages
    };
    // Reads the headers without changing any flag: the folder is opened
    // read-only (EXAMINE), where a download sets no \Seen.
    std::optional<Headers> unseenHeaders(int maxMessages, QString *error);

    // The mailbox URL for libcurl: scheme, host and port of the settings'
    // URL with the folder as its path ("imaps://host/Wendle%20commands").
    static QByteArray folderUrl(const QString &url, const QString &folder);
    // The folder of such a URL as an IMAP quoted string, for the commands
    // that name it.
    static QByteArray quotedFolder(const QByteArray &folderUrl);

private:
    // One request on the open connection: a custom command or, with an empty
    // command, the download of the URL. Fills *output with what libcurl wrote.
    bool perform(const QByteArray &url, const QByteArray &command, QByteArray *output, QString *error, qint64 maxBytes = -1,
                 bool *tooLarge = nullptr);
    bool storeSeen(const QList<quint32> &uids, bool seen, QString *error);
    bool readUidValidity(QString *error);

    CurlMailHandle m_handle;
    QByteArray m_url;
    QByteArray m_folder; // quoted for commands
    quint32 m_uidValidity = 0;
};

// The search that finds the commands: unseen, from one of the addresses, with
// the keyword in the body. Addresses holding a quote, a backslash or a line
// break are left out; nothing matches when no address is left.
QByteArray commandSearchCriteria(const QStringList &addresses, const QString &keyword);

} // namespace wendle
