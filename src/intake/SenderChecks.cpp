#include "intake/SenderChecks.h"

#include "app/Settings.h"
#include "intake/QuotedText.h"
#include "intake/TextHelpers.h"
#include "platform/mail/GMimeLibrary.h"
#include "platform/preferences/Preferences.h"

#include <QRegularExpression>

#include <gmime/gmime.h>

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

bool isOneMailAddress(const QString &text)
{
    // No blanks, nor what delimits or quotes the parts of an address list;
    // a domain label holds no dot either.
    static const QString local = QStringLiteral(R"([^\s\p{Cc}@<>(),;:"\[\]\\]+)");
    static const QString label = QStringLiteral(R"([^\s\p{Cc}@<>(),;:"\[\]\\.]+)");
    static const QRegularExpression address(u'^' + local + u'@' + label + QStringLiteral("(\\.") + label + QStringLiteral(")*$"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return address.match(text).hasMatch();
}

bool mayBeMailCommand(const Preferences &preferences, const QString &sender, const QString &text)
{
    if (!senderMatches(preferences.stringValue(RBPhoneEmailAddress), sender)
        && !senderMatches(preferences.stringValue(RBRemoteEmailAddress), sender))
        return false;
    const QString lowered = text.toLower();
    return !text::beginsWithString(lowered, QStringLiteral("wendle"))
           && text::withoutQuotedText(lowered).contains(QLatin1String("wndl"));
}

QString senderAddrSpec(const QString &sender)
{
    ensureGMimeInitialised();
    InternetAddressList *list = internet_address_list_parse(nullptr, sender.toUtf8().constData());
    if (!list)
        return {};
    QString address;
    if (internet_address_list_length(list) == 1) {
        InternetAddress *only = internet_address_list_get_address(list, 0);
        if (INTERNET_ADDRESS_IS_MAILBOX(only))
            address = QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(only)));
    }
    g_object_unref(list);
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

QString optionalSenderCheckFailure(const Preferences &preferences, const QString &sender, const SenderEvidence &evidence)
{
    const bool strict = preferences.boolValue(RBStrictSenderMatch);
    const bool authenticated = preferences.boolValue(RBRequireAuthenticatedSender);
    if (!strict && !authenticated)
        return {};
    const QString address = senderAddrSpec(sender);
    if (address.isNull())
        return QStringLiteral("the sender does not name exactly one mailbox");
    if (strict && !sameAddress(preferences.stringValue(RBPhoneEmailAddress), address)
        && !sameAddress(preferences.stringValue(RBRemoteEmailAddress), address))
        return QStringLiteral("the sender address %1 is not one of the configured addresses").arg(address);
    if (authenticated) {
        const QString authservId = preferences.stringValue(RBAuthservId);
        const QString domain = domainOf(address);
        const bool passes = std::any_of(evidence.authenticationResults.begin(), evidence.authenticationResults.end(),
                                        [&](const QString &value) { return authenticationPasses(value, authservId, domain); });
        if (!passes)
            return QStringLiteral("no Authentication-Results header from %1 shows dkim=pass or spf=pass for %2")
                .arg(authservId.isEmpty() ? QStringLiteral("the server named by authservId (not set)") : authservId, domain);
    }
    return {};
}

QString placeholderSendersProblem(const Preferences &preferences)
{
    QStringList placeholders;
    for (const auto &[key, value] : registeredDefaults()) {
        if (key != QLatin1String(RBPhoneEmailAddress) && key != QLatin1String(RBRemoteEmailAddress))
            continue;
        const QString current = preferences.stringValue(key);
        if (!value.toString().isEmpty() && current.contains(value.toString(), Qt::CaseInsensitive))
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
