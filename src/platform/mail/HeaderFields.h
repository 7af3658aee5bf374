#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace wendle {

// Single header fields read by the mail library, for the layers above it,
// which never call the library themselves.

// An address field (From:, Sender:): how many addresses it names (0 when it
// does not parse) and, when it names exactly one mailbox, that mailbox's
// local@domain without the display name.
struct AddressField {
    int count = 0;
    QString onlyMailbox;
};
AddressField readAddressField(const QString &value);

// A Date: field's time; invalid when it does not parse as one.
QDateTime readDateField(const QString &value);

// The sender and the subject of a message's header block (a whole message
// does too), as a mail list shows them: the first From: address's display
// name, or its address when it has none. Both are empty when missing.
struct SenderAndSubject {
    QString sender;
    QString subject;
};
SenderAndSubject readSenderAndSubject(QByteArray header);

} // namespace wendle
