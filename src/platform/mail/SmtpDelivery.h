#pragma once

#include "platform/mail/CurlMailHandle.h"
#include "platform/mail/MailServer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

namespace wendle {

// Who a queued message goes to, read back from its own headers so that the
// queue file alone is enough after a restart: MAIL FROM is the first From
// address, RCPT TO every To and Cc address (duplicates and empty ones left out).
struct Envelope {
    QString sender;
    QStringList recipients;
};

// nullopt with *error when the message cannot be read as a message at all.
// An envelope without recipients is returned as it is: the caller decides.
std::optional<Envelope> readEnvelope(const QByteArray &message, QString *error);

struct DeliveryResult {
    bool delivered = false;
    // The server could not be reached or the settings are unusable: the other
    // messages of the round need not try now.
    bool unreachable = false;
    QString error; // with the server's answer where there was one
};

// Sends messages through one SMTP server, blocking until the server accepted
// or refused each. Runs on a worker thread, never the main thread. Settings
// (and the password command) are applied once, at the first message; libcurl
// keeps the connection open between the messages of a round.
class SmtpSession {
public:
    SmtpSession(const MailServerSettings &settings, const std::atomic_bool &cancel);

    DeliveryResult deliver(const Envelope &envelope, const QByteArray &message);

private:
    MailServerSettings m_settings;
    CurlMailHandle m_handle;
    bool m_configured = false;
    QString m_setupError;
};

} // namespace wendle
