#include "intake/SenderChecks.h"

#include "intake/QuotedText.h"
#include "intake/TextHelpers.h"
#include "platform/mail/HeaderFields.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

#include <QRegularExpression>

namespace wendle {

namespace {

// The header without its comments, split at the semicolons that are not
// inside a quoted string.
QStringList resultClauses(const QString &value)
{
    QStringList clauses{QString()};
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < value.size())
                clauses.back() += value[++i];
            else if (c == u'"')
                quoted = false;
            else
                clauses.back() += c;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')' && depth > 0) {
            --depth;
        } else if (depth > 0) {
            continue;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            clauses << QString();
        } else {
            clauses.back() += c.isSpace() ? QChar(u' ') : c;
        }
    }
    return clauses;
}

QString domainOf(QString address)
{
    address = address.trimmed();
    const qsizetype at = address.lastIndexOf(u'@');
    return (at < 0 ? address : address.mid(at + 1)).toLower();
}

bool sameAddress(const QString &configured, const QString &addrSpec)
{
    return !configured.trimmed().isEmpty() && configured.trimmed().compare(addrSpec, Qt::CaseInsensitive) == 0;
}

} // namespace

bool senderMatches(const QString &configured, const QString &sender)
{
    return isOneMailAddress(configured) && text::isSubstringOf(configured, sender);
}

bool mayBeMailCommand(const Preferences &preferences, const QString &sender, const QString &text)
{
    if (!senderMatches(preferences.stringValue(RBPhoneEmailAddress), sender)
        && !senderMatches(preferences.stringValue(RBRemoteEmailAddress), sender))
        return false;
    const QString lowered = text.toLower();
    return !text::beginsWithString(lowered, QStringLiteral("wendle")) && text::withoutQuotedText(lowered).contains(QLatin1String("wndl"));
}

QString senderAddrSpec(const QString &sender)
{
    const QString address = readAddressField(sender).onlyMailbox;
    return address.isEmpty() ? QString() : address;
}

bool authenticationPasses(const QString &headerValue, const QString &authservId, const QString &domain)
{
    const QStringList clauses = resultClauses(headerValue);
    // The first clause names the server that wrote the header, maybe with a version.
    const QString writer = clauses.first().trimmed().section(u' ', 0, 0);
    if (authservId.trimmed().isEmpty() || writer.compare(authservId.trimmed(), Qt::CaseInsensitive) != 0)
        return false;
    for (qsizetype i = 1; i < clauses.size(); ++i) {
        QString method, result, dkimDomain, spfDomain, helo;
        for (const QString &word : clauses[i].split(u' ', Qt::SkipEmptyParts)) {
            const QString name = word.section(u'=', 0, 0).toLower();
            const QString value = word.section(u'=', 1);
            if (method.isEmpty()) {
                method = name;
                result = value.toLower();
            } else if (name == QLatin1String("header.d") || (name == QLatin1String("header.i") && dkimDomain.isEmpty())) {
                dkimDomain = domainOf(value);
            } else if (name == QLatin1String("smtp.mailfrom")) {
                spfDomain = domainOf(value);
            } else if (name == QLatin1String("smtp.helo")) {
                helo = domainOf(value);
            }
        }
        if (result != QLatin1String("pass"))
            continue;
        if (method == QLatin1String("dkim") && dkimDomain == domain)
            return true;
        if (method == QLatin1String("spf") && (spfDomain.isEmpty() ? helo : spfDomain) == domain)
            return true;
    }
    return false;
}

namespace {

// Whether the configured address is still the one the defaults name.
bool isPlaceholder(const QString &key, const QString &configured)
{
    for (const auto &[name, value] : registeredDefaults()) {
        if (name == key)
            return !value.toString().isEmpty() && configured.contains(value.toString(), Qt::CaseInsensitive);
    }
    return false;
}

// The first header the receiving server wrote. Headers below it were there
// before the message reached that server: anybody can have written them.
QString ownAuthenticationResult(const QStringList &values, const QString &authservId)
{
    for (const QString &value : values) {
        const QString writer = resultClauses(value).first().trimmed().section(u' ', 0, 0);
        if (writer.compare(authservId, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

} // namespace

QString replyAddressOf(const QString &sender, QString *why)
{
    const auto [count, address] = readAddressField(sender);
    if (count > 1) {
        *why = QStringLiteral("the sender names %1 addresses; a command must come from one").arg(count);
        return {};
    }
    if (address.isEmpty()) {
        *why = QStringLiteral("the sender names no mailbox");
        return {};
    }
    if (!isOneMailAddress(address)) {
        *why = QStringLiteral("the sender address %1 is not a plain local@domain address").arg(address);
        return {};
    }
    return address;
}

QString senderCheckFailure(const Preferences &preferences, const QString &sender, const SenderEvidence &evidence, QString *replyAddress)
{
    const QString phone = preferences.stringValue(RBPhoneEmailAddress);
    const QString remote = preferences.stringValue(RBRemoteEmailAddress);
    const bool byPhone = senderMatches(phone, sender);
    if (byPhone ? isPlaceholder(QLatin1String(RBPhoneEmailAddress), phone) : isPlaceholder(QLatin1String(RBRemoteEmailAddress), remote))
        return placeholderSendersProblem(preferences);

    QString why;
    const QString address = replyAddressOf(sender, &why);
    if (address.isNull())
        return why;
    // The configured address must be in the mailbox itself: one written only
    // into the display name ("owner@home <thief@evil>") would send the
    // answer, and the files with it, to somebody else.
    if (!senderMatches(byPhone ? phone : remote, address))
        return QStringLiteral("the configured address is only in the sender's name, not in its address %1").arg(address);

    if (preferences.boolValue(RBStrictSenderMatch)) {
        if (!sameAddress(phone, address) && !sameAddress(remote, address))
            return QStringLiteral("the sender address %1 is not one of the configured addresses").arg(address);
        if (!evidence.senderHeader.isNull()) {
            const QString onBehalf = senderAddrSpec(evidence.senderHeader);
            if (onBehalf.compare(address, Qt::CaseInsensitive) != 0)
                return QStringLiteral("the message was sent by %1 on behalf of %2")
                    .arg(onBehalf.isNull() ? QStringLiteral("an unreadable Sender") : onBehalf, address);
        }
    }
    if (preferences.boolValue(RBRequireAuthenticatedSender)) {
        const QString authservId = preferences.stringValue(RBAuthservId).trimmed();
        const QString domain = domainOf(address);
        const QString own = authservId.isEmpty() ? QString() : ownAuthenticationResult(evidence.authenticationResults, authservId);
        if (own.isNull() || !authenticationPasses(own, authservId, domain))
            return QStringLiteral("no Authentication-Results header from %1 shows dkim=pass or spf=pass for %2")
                .arg(authservId.isEmpty() ? QStringLiteral("the server named by authservId (not set)") : authservId, domain);
    }
    *replyAddress = address;
    return {};
}

QString placeholderSendersProblem(const Preferences &preferences)
{
    QStringList placeholders;
    for (const QString key : {QLatin1String(RBPhoneEmailAddress), QLatin1String(RBRemoteEmailAddress)}) {
        if (isPlaceholder(key, preferences.stringValue(key)))
            placeholders << key;
    }
    if (placeholders.isEmpty())
        return {};
    return QStringLiteral("the allowed senders are still the example addresses (%1): anybody could forge them. "
                          "Set your own with `wendle config set phoneEmailAddress ADDRESS` and "
                          "`wendle config set remoteEmailAddress ADDRESS` (an empty value allows nobody)")
        .arg(placeholders.join(QLatin1String(", ")));
}

QString withoutCommandSecret(const QString &lowered, const QString &secret)
{
    if (secret.trimmed().isEmpty())
        return lowered;
    // "wndl SECRET rest": the keyword, blanks, the word, then the rest.
    qsizetype at = 4;
    while (at < lowered.size() && lowered[at].isSpace())
        ++at;
    qsizetype end = at;
    while (end < lowered.size() && !lowered[end].isSpace())
        ++end;
    if (at == 4 && at < lowered.size())
        return {}; // the secret must stand apart from the keyword
    if (QStringView(lowered).mid(at, end - at).compare(secret.trimmed(), Qt::CaseInsensitive) != 0)
        return {};
    return lowered.left(4) + lowered.mid(end);
}

} // namespace wendle
