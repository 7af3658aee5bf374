#pragma once

#include "platform/mail/MailTransport.h"

#include <QByteArray>
#include <QDateTime>

namespace wendle {

// Builds the complete RFC 5322 message for one reply: headers, a UTF-8 text
// part and, when there is one, the attachment as a base64 MIME part. An empty
// To still gives a valid message (a copy mailed only to its Cc).
QByteArray composeMessage(const OutgoingMail &mail, const QDateTime &date);

} // namespace wendle
