#include "intake/SignedCommands.h"

#include "intake/QuotedText.h"
#include "intake/SenderChecks.h"
#include "platform/mail/HeaderFields.h"
#include "platform/preferences/Preferences.h"

#include <QRegularExpression>

namespace wendle {

namespace {

const char *stateName(MailSignature::State state)
{
    switch (state) {
    case MailSignature::State::Missing: return "missing";
    case MailSignature::State::Good: return "good";
    case MailSignature::State::Invalid: return "invalid";
    case MailSignature::State::UnknownKey: return "unknown-key";
    }
    return "missing";
}

// Whether a key id or fingerprint the signature names is one of the owner's:
// a signature whose key is missing names it by its last 16 hex digits.
bool namesOwnerKey(const QString &keyId, const QStringList &owners)
{
    const QString id = keyId.toUpper();
    if (id.size() < 16)
        return false;
    for (const QString &owner : owners) {
        if (owner.endsWith(id))
            return true;
    }
    return false;
}

QString keyringText(const MailSignature &signature)
{
    return signature.keyring.isEmpty() ? QStringLiteral("the owner's keyring") : QStringLiteral("the keyring %1").arg(signature.keyring);
}

QString stamp(const QDateTime &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd (HH:mm:ss)"));
}

} // namespace

void putSignature(QVariantMap &map, const MailSignature &signature)
{
    if (signature.state == MailSignature::State::Missing)
        return;
    map.insert(QStringLiteral("SignatureState"), QLatin1String(stateName(signature.state)));
    map.insert(QStringLiteral("SignatureFingerprint"), signature.fingerprint);
    map.insert(QStringLiteral("SignatureTime"), QString::number(signature.signedAt));
    map.insert(QStringLiteral("SignedText"), signature.signedText);
    map.insert(QStringLiteral("SignatureUnsignedText"), signature.unsignedText);
    map.insert(QStringLiteral("SignatureProblem"), signature.problem);
    map.insert(QStringLiteral("SignatureKeyring"), signature.keyring);
}

MailSignature takeSignature(const std::function<QString(const QString &key)> &get)
{
    MailSignature signature;
    const QString state = get(QStringLiteral("SignatureState"));
    for (const auto candidate : {MailSignature::State::Good, MailSignature::State::Invalid, MailSignature::State::UnknownKey}) {
        if (state == QLatin1String(stateName(candidate)))
            signature.state = candidate;
    }
    // A state nobody wrote (an older or foreign caller) is no signature.
    if (signature.state == MailSignature::State::Missing)
        return signature;
    signature.fingerprint = get(QStringLiteral("SignatureFingerprint"));
    signature.signedAt = get(QStringLiteral("SignatureTime")).toLongLong();
    signature.signedText = get(QStringLiteral("SignedText"));
    signature.unsignedText = get(QStringLiteral("SignatureUnsignedText"));
    signature.problem = get(QStringLiteral("SignatureProblem"));
    signature.keyring = get(QStringLiteral("SignatureKeyring"));
    return signature;
}

QList<QPair<QString, qsizetype>> signatureKeyBounds(qsizetype textBytes, qsizetype nameBytes)
{
    return {{QStringLiteral("SignatureState"), nameBytes},        {QStringLiteral("SignatureFingerprint"), nameBytes},
            {QStringLiteral("SignatureTime"), nameBytes},         {QStringLiteral("SignedText"), textBytes},
            {QStringLiteral("SignatureUnsignedText"), textBytes}, {QStringLiteral("SignatureProblem"), nameBytes},
            {QStringLiteral("SignatureKeyring"), nameBytes}};
}

QString signatureCheckFailure(const Preferences &preferences, const MailSignature &signature)
{
    if (!preferences.boolValue(QLatin1String(RBRequireSignedCommands)))
        return {};
    const QStringList owners = parseKeyFingerprints(preferences.stringValue(QLatin1String(RBOwnerKeyFingerprints)));
    switch (signature.state) {
    case MailSignature::State::Missing: return QStringLiteral("the signature is missing");
    case MailSignature::State::Invalid: return QStringLiteral("the signature is not valid (%1)").arg(signature.problem);
    case MailSignature::State::UnknownKey:
        // The owner's own key gone from the keyring is a broken set-up, not a stranger.
        if (namesOwnerKey(signature.fingerprint, owners))
            return QStringLiteral("the signature is not valid (the owner's key %1 is not in %2)")
                .arg(signature.fingerprint, keyringText(signature));
        return QStringLiteral("the signature by key %1 is not from the owner's key (no such key in %2)")
            .arg(signature.fingerprint, keyringText(signature));
    case MailSignature::State::Good: break;
    }
    if (owners.isEmpty())
        return QStringLiteral("the signature by key %1 is not from the owner's key (ownerKeyFingerprints lists none)")
            .arg(signature.fingerprint);
    if (!owners.contains(signature.fingerprint.toUpper()))
        return QStringLiteral("the signature by key %1 is not from the owner's key").arg(signature.fingerprint);
    // A command added outside the signature by whoever handled the message on
    // its way: the owner's signed words are not run beside it either.
    if (holdsCommandKeyword(signature.unsignedText))
        return QStringLiteral("the message holds a command outside its signed part");
    return {};
}

QString commandAgeFailure(const Preferences &preferences, const SenderEvidence &evidence, const QDateTime &now)
{
    const qint64 minutes = preferences.intValue(QLatin1String(RBMaxCommandAgeMinutes));
    if (minutes <= 0)
        return {};
    QDateTime sent;
    QString what;
    if (preferences.boolValue(QLatin1String(RBRequireSignedCommands))) {
        sent = QDateTime::fromSecsSinceEpoch(evidence.signature.signedAt);
        what = QStringLiteral("signed");
    } else {
        if (evidence.dateHeader.isNull())
            return QStringLiteral("the message has no Date header, and maxCommandAgeMinutes needs one");
        sent = readDateField(evidence.dateHeader);
        if (!sent.isValid())
            return QStringLiteral("the Date header \"%1\" does not parse").arg(evidence.dateHeader.left(100));
        what = QStringLiteral("dated");
    }
    const qint64 age = sent.secsTo(now);
    if (age > minutes * 60)
        return QStringLiteral("the command was %1 %2, older than the %3-minute window").arg(what, stamp(sent)).arg(minutes);
    if (-age > AllowedClockSkewSeconds)
        return QStringLiteral("the command was %1 %2, more than five minutes ahead of this computer's clock").arg(what, stamp(sent));
    return {};
}

bool holdsCommandKeyword(const QString &text)
{
    return text::withoutQuotedText(text.toLower()).contains(QLatin1String("wndl"));
}

} // namespace wendle
