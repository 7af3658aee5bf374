#pragma once

#include "platform/mail/KeyFingerprints.h"

#include <QString>
#include <QStringList>

namespace wendle {

// The owner's OpenPGP keys as `wendle config` sees them: it runs without the
// daemon's crypto libraries, so it asks the gpg program.

// Null when the fingerprint names a primary key in the owner's keyring
// (GNUPGHOME, else ~/.gnupg); otherwise why not, for `wendle config set`.
QString ownerKeyProblem(const QString &fingerprint);

} // namespace wendle
