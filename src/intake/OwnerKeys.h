#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

// The owner's OpenPGP keys as `wendle config` sees them: it runs without the
// daemon's crypto libraries, so it asks the gpg program.

// The owner's fingerprints as typed: separated by commas, semicolons or line
// breaks; blanks inside one and a leading 0x are dropped, letters upper-cased.
// *error says which entry is not a fingerprint (40 or 64 hex digits).
QStringList parseKeyFingerprints(const QString &text, QString *error = nullptr);

// Why the key cannot be found in the GnuPG home `folder`, in words.
QString keyNotInKeyring(const QString &fingerprint, const QString &folder);

// Null when the fingerprint names a primary key in the owner's keyring
// (GNUPGHOME, else ~/.gnupg); otherwise why not, for `wendle config set`.
QString ownerKeyProblem(const QString &fingerprint);

} // namespace wendle
