#pragma once

#include "platform/mail/MailTransport.h"

#include <QByteArray>
#include <QDateTime>

namespace wendle {

// Builds the complete RFC 5322 message for one reply, CRLF line ends: From,
// To, Cc (when set), Subject, Date, Message-ID, In-Reply-To and References
// (when the reply answers a command with a well-formed id) and MIME-Version; a
// text/plain; charset=utf-8 body (quoted-printable or base64 when the text is
// not plain ASCII) and, when there is an attachment, a multipart/mixed with
// the file as a base64 part. An empty To still gives a valid message (a copy
// mailed only to its Cc). An attachment that cannot be read is left out; the
// text still goes. With encryptTo set, the body and attachment go as one
// PGP/MIME multipart/encrypted part; when that cannot be made the result is
// empty, with *error: such a reply never goes out in clear text.
QByteArray composeMessage(const OutgoingMail &mail, const QDateTime &date, QString *error = nullptr);

} // namespace wendle
