#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

// The mail adapters encrypt replies to the owner's keys, the intake checks
// signatures against them and `wendle config` checks what is typed: all read
// the list and word a missing key the same way, from here.

// The owner's fingerprints as typed: separated by commas, semicolons or line
// breaks; blanks inside one and a leading 0x are dropped, letters upper-cased.
// *error says which entry is not a fingerprint (40 or 64 hex digits).
QStringList parseKeyFingerprints(const QString &text, QString *error = nullptr);

// Why the key cannot be found in the GnuPG home `folder`, in words.
QString keyNotInKeyring(const QString &fingerprint, const QString &folder);

} // namespace wendle
