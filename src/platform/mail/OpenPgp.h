#pragma once

#include "platform/mail/MailSignature.h"

#include <QString>
#include <QStringList>

typedef struct _GMimeMessage GMimeMessage;
typedef struct _GMimeObject GMimeObject;

namespace wendle {

// OpenPGP through GMime's crypto contexts over GpgME, against the owner's
// GnuPG keyring (GNUPGHOME when set, else ~/.gnupg). Nothing here asks for a
// passphrase or reaches the network: checking a signature and encrypting to
// a public key need neither.

// The message's signature: a PGP/MIME multipart/signed part (RFC 3156), or
// else an inline-signed text ("-----BEGIN PGP SIGNED MESSAGE-----", as phone
// mail programs send it). A message with more than one signed part or block,
// nested or side by side, is Invalid: which of them would the command be?
MailSignature checkMessageSignature(GMimeMessage *message);

// The GnuPG home the keys are read from.
QString keyringFolder();

// Null when replies can be encrypted to the key; otherwise why not
// ("has expired", "is revoked", "can only sign").
QString encryptionKeyProblem(const QString &fingerprint);

// The entity encrypted PGP/MIME (multipart/encrypted) to the keys; nullptr
// with *error when it cannot be. The caller owns the result.
GMimeObject *encryptedEntity(GMimeObject *entity, const QStringList &fingerprints, QString *error);

} // namespace wendle
