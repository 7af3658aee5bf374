#pragma once

#include "platform/mail/CurlMailHandle.h"
#include "platform/mail/MailServer.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

namespace wendle {

// A connection that waits in IMAP IDLE for the command folder to change, so a
// command is fetched as soon as the server tells of it instead of at the next
// poll.
//
// libcurl connects (TLS or STARTTLS) and logs in; libcurl has no IDLE, so the
// three exchanges it needs (CAPABILITY, SELECT, IDLE ... DONE) are spoken over
// libcurl's connection with curl_easy_send/recv. Only tagged completions and
// the untagged EXISTS, RECENT and EXPUNGE counts matter here; everything is
// fetched through ImapMailbox. Blocking; used on a worker thread; the cancel
// flag ends any wait within a quarter of a second.
class ImapIdleLink {
public:
    // answerWait: how long the server may take to answer a command (DONE
    // included) before the connection counts as broken.
    explicit ImapIdleLink(const std::atomic_bool &cancel, std::chrono::milliseconds answerWait = std::chrono::minutes(2));
    ~ImapIdleLink();

    // Connects, logs in, asks for the capabilities and selects the folder.
    bool open(const MailServerSettings &settings, const QByteArray &quotedFolder, QString *error);
    bool supportsIdle() const { return m_idle; }

    enum class Outcome { Changed, Quiet, Failed };
    // Idles for maxWait, then ends the IDLE with DONE (Changed when the folder
    // changed meanwhile, Quiet otherwise), or until the connection fails or is
    // cancelled (Failed, with *error). The IDLE goes on through changes:
    // onIdling is called once the server accepted it, onChange at once for
    // every change the server announces, so nothing waits for a round trip.
    Outcome idle(std::chrono::milliseconds maxWait, const std::function<void()> &onIdling, const std::function<void()> &onChange,
                 QString *error);

private:
    bool command(const QByteArray &text, QByteArrayList *untagged, QString *error);
    bool sendAll(const QByteArray &bytes, QString *error);
    bool readLine(QByteArray *line, std::chrono::milliseconds wait, QString *error, bool *timedOut = nullptr);
    bool receiveMore(std::chrono::milliseconds wait, QString *error, bool *timedOut);
    // Marks the connection broken half-way, with the reason; returns false.
    bool breakOff(const QString &reason, QString *error);

    CurlMailHandle m_handle;
    std::chrono::milliseconds m_answerWait;
    QByteArray m_buffer;
    int m_tag = 0;
    bool m_open = false;
    bool m_idle = false;
    bool m_broken = false; // an exchange failed half-way: no polite LOGOUT then
};

} // namespace wendle
