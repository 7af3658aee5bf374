#pragma once

#include <QString>

namespace wendle {

// What the receiving side found out about a message's OpenPGP signature
// (PGP/MIME or inline). It is worked out where the raw message is read
// (`wendle deliver`, the mailbox watcher) and travels with the message's
// other fields, so the intake's checks (intake/SignedCommands.h) run on what
// the owner configured when the command is taken.
struct MailSignature {
    enum class State {
        Missing,    // no signed part at all
        Good,       // the signature verifies
        Invalid,    // it does not: a changed text, a garbage packet, an expired or revoked key...
        UnknownKey, // its key is not in the keyring, so it cannot be checked
    };
    State state = State::Missing;
    // Good: the signing key's fingerprint. UnknownKey: the key id or
    // fingerprint the signature names.
    QString fingerprint;
    qint64 signedAt = 0;  // Good: when it was signed, seconds since the epoch
    QString signedText;   // the text of the signed part, the only text a command is taken from
    QString unsignedText; // the text outside it (a list footer, or something added on the way)
    QString problem;      // Invalid and UnknownKey: why, in words
    QString keyring;      // the keyring (GnuPG home) it was checked against

    // Names this signature in the memory of commands taken, so that the same
    // signed command sent again under another Message-ID is known. Empty
    // unless the signature is good.
    QString memoryId() const;
};

} // namespace wendle
