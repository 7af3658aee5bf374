#pragma once

#include "platform/mail/CurlMailHandle.h"
#include "platform/mail/MailServer.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>

namespace wendle {

// A connection that waits in IMAP IDLE for the command folder to change, so a
// command is fetched seconds after it arrives instead of at the next poll.
//
// libcurl connects (TLS or STARTTLS) and logs in; libcurl has no IDLE, so the
// three exchanges it needs (CAPABILITY, SELECT, IDLE ... DONE) are spoken over
// libcurl's connection with curl_easy_send/recv. Only tagged completions and
// the untagged EXISTS, RECENT and EXPUNGE counts matter here; everything is
// fetched through ImapMailbox. Blocking; used on a worker thread; the cancel
// flag ends any wait within a quarter of a second.
class ImapIdleLink {
public:
    explicit ImapIdleLink(const std::atomic_bool &cancel);
    ~ImapIdleLink();

    // Connects, logs in, asks for the capabilities and selects the folder.
    bool open(const MailServerSettings &settings, const QByteArray &quotedFolder, QString *error);
    bool supportsIdle() const { return m_idle; }

    enum class Outcome { Changed, Quiet, Failed };
    // Idles until the folder changes (Changed), maxWait passes (Quiet) or the
    // connection fails or is cancelled (Failed, with *error).
    Outcome waitForChange(std::chrono::milliseconds maxWait, QString *error);

private:
    bool command(const QByteArray &text, QByteArrayList *untagged, QString *error);
    bool sendAll(const QByteArray &bytes, QString *error);
    bool readLine(QByteArray *line, std::chrono::milliseconds wait, QString *error, bool *timedOut = nullptr);
    bool receiveMore(std::chrono::milliseconds wait, QString *error, bool *timedOut);
    // Marks the connection broken half-way, with the reason; returns false.
    bool breakOff(const QString &reason, QString *error);

    CurlMailHandle m_handle;
    QByteArray m_buffer;
    int m_tag = 0;
    bool m_open = false;
    bool m_idle = false;
    bool m_broken = false; // an exchange failed half-way: no polite LOGOUT then
};

} // namespace wendle
