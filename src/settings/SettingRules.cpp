#include "settings/SettingRules.h"

#include "settings/ColorText.h"

#include "intake/MailAddressForm.h"
#include "intake/SignedCommands.h"
#include "operations/Launch.h"
#include "platform/chat/ChatTransports.h"
#include "platform/mail/MailTransports.h"
#include "platform/preferences/NamedChoices.h"
#include "platform/preferences/Preferences.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace wendle {

namespace {

using Rule = SettingRule;

Rule ruleOf(const QString &key)
{
    const SettingInfo *info = findSetting(key);
    return info ? info->bounds.rule : Rule::Any;
}

// Infinity and NaN parse as numbers; neither is a setting anybody means,
// and NaN passes any check written as a negated comparison.
bool numberFits(const SettingInfo &info, double number)
{
    if (!std::isfinite(number))
        return false;
    if (info.bounds.rule == Rule::Positive)
        return number > 0;
    const auto [minimum, maximum] = settingRange(info);
    return number >= minimum && number <= maximum;
}

// What the type itself asks of a stored value, before any rule.
QString checkType(const SettingInfo &info, const QVariant &value)
{
    bool ok = false;
    switch (info.type) {
    case SettingType::Boolean: {
        if (value.typeId() == QMetaType::Bool)
            return QString();
        static const QStringList words = {"true", "false", "yes", "no", "1", "0"};
        return words.contains(value.toString().trimmed().toLower()) ? QString() : QStringLiteral("expected true/false, yes/no or 1/0");
    }
    case SettingType::Integer: {
        const double number = value.toString().trimmed().toDouble(&ok);
        return ok && std::isfinite(number) && number == std::floor(number) && std::abs(number) <= std::numeric_limits<int>::max()
                   ? QString()
                   : QStringLiteral("expected a whole number");
    }
    case SettingType::Float: value.toString().trimmed().toDouble(&ok); return ok ? QString() : QStringLiteral("expected a number");
    case SettingType::Color: {
        return !colorTextFromStored(value).isNull() ? QString() : QStringLiteral("expected a colour such as #00ff00 (#RRGGBB)");
    }
    case SettingType::Dictionaries:
        return usableForm(info.key, value).typeId() == QMetaType::QVariantList
                   ? QString()
                   : QStringLiteral("expected a JSON array such as [{\"path\": \"/p/x.scpt\", \"shortcut\": \"x\"}]");
    case SettingType::String:
    case SettingType::ArgumentVector: return QString();
    }
    return QString();
}

QString checkUrl(const QString &text, const QString &plain)
{
    if (text.isEmpty())
        return QString(); // empty turns the road off
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == plain || scheme == plain + u's'))
        return QString();
    return QStringLiteral("expected a %1:// or %1s:// address with a host, such as %1s://mail.example.com").arg(plain);
}

int editDistance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

QString settingDescription(const QString &key)
{
    const SettingInfo *info = findSetting(key);
    return info ? QString::fromUtf8(info->description) : QString();
}

QStringList settingChoices(const QString &key)
{
    switch (ruleOf(key)) {
    case Rule::MailTransport: return mailTransportNames();
    case Rule::ChatTransport: return chatTransportNames();
    default: return {};
    }
}

QPair<double, double> settingRange(const SettingInfo &info)
{
    const double open = std::numeric_limits<double>::infinity();
    switch (info.bounds.rule) {
    case Rule::NonNegative: return {0, open};
    // Only whole numbers are positive-only; the least of them is 1.
    case Rule::Positive: return {1, open};
    case Rule::Fraction: return {0, 1};
    case Rule::Range: return {info.bounds.minimum, info.bounds.maximum};
    default: return {-open, open};
    }
}

QString settingTypeName(SettingType type)
{
    switch (type) {
    case SettingType::Boolean: return QStringLiteral("boolean");
    case SettingType::Integer: return QStringLiteral("integer");
    case SettingType::Float: return QStringLiteral("number");
    case SettingType::String: return QStringLiteral("text");
    case SettingType::ArgumentVector: return QStringLiteral("command line");
    case SettingType::Color: return QStringLiteral("colour");
    case SettingType::Dictionaries: return QStringLiteral("JSON array");
    }
    return QString();
}

QString settingAllowedValues(const QString &key)
{
    switch (ruleOf(key)) {
    case Rule::Any:
    case Rule::Tightens: return QString();
    case Rule::NonNegative: return QStringLiteral("0 or more");
    case Rule::Positive: return QStringLiteral("more than 0");
    case Rule::Fraction: return QStringLiteral("0 to 1");
    case Rule::Range: {
        const SettingBounds &row = findSetting(key)->bounds;
        const QString range = QString::number(row.minimum) + QStringLiteral(" to ") + QString::number(row.maximum);
        return row.reason ? range + QStringLiteral(" (") + QString::fromUtf8(row.reason) + u')' : range;
    }
    case Rule::MailAddress: return QStringLiteral("one mail address such as you@example.com, or empty for nobody");
    case Rule::OneWord: return QStringLiteral("one word without spaces, or empty for none");
    case Rule::SmtpUrl: return QStringLiteral("smtp:// or smtps:// address, or empty");
    case Rule::ImapUrl: return QStringLiteral("imap:// or imaps:// address, or empty");
    case Rule::MailTransport: return namesInWords(mailTransportNames());
    case Rule::ChatTransport: return namesInWords(chatTransportNames());
    case Rule::ReadableFile: return QStringLiteral("a readable file, or empty");
    case Rule::KeyFingerprints: return QStringLiteral("key fingerprints of 40 or 64 hex digits, separated by commas, or empty for none");
    }
    return QString();
}

QString checkSettingValue(const QString &key, const QVariant &value)
{
    const SettingInfo *info = findSetting(key);
    if (!info)
        return QString();
    if (const QString wrongType = checkType(*info, value); !wrongType.isEmpty())
        return wrongType;
    const Rule rule = info->bounds.rule;
    switch (rule) {
    case Rule::Any:
    case Rule::Tightens: return QString();
    case Rule::NonNegative:
    case Rule::Positive:
    case Rule::Fraction:
    case Rule::Range: {
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        return ok && numberFits(*info, number) ? QString() : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    // The sender test looks for the address inside the sender, so anything
    // but one whole address ("." or a lone letter) would let nearly anyone in.
    case Rule::MailAddress: {
        const QString text = value.toString();
        return text.isEmpty() || isOneMailAddress(text) ? QString() : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    // The secret is the one word after the keyword: with a blank inside it
    // could never match, and every command would be refused.
    case Rule::OneWord: {
        const QString word = value.toString().trimmed();
        const bool blank = std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isSpace(); });
        return blank ? QStringLiteral("expected ") + settingAllowedValues(key) : QString();
    }
    case Rule::SmtpUrl: return checkUrl(value.toString().trimmed(), QStringLiteral("smtp"));
    case Rule::ImapUrl: return checkUrl(value.toString().trimmed(), QStringLiteral("imap"));
    case Rule::MailTransport:
    case Rule::ChatTransport: {
        return settingChoices(key).contains(value.toString()) ? QString() : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    case Rule::KeyFingerprints: {
        QString error;
        parseKeyFingerprints(value.toString(), &error);
        return error.isEmpty() ? QString() : QStringLiteral("expected ") + settingAllowedValues(key) + QStringLiteral(": ") + error;
    }
    case Rule::ReadableFile: {
        const QFileInfo file(value.toString().trimmed());
        return file.filePath().isEmpty() || (file.isFile() && file.isReadable()) ? QString()
                                                                                 : QStringLiteral("expected ") + settingAllowedValues(key);
    }
    }
    return QString();
}

QString normalizedSettingText(const QString &key, const QString &text)
{
    const Rule rule = ruleOf(key);
    if (rule == Rule::MailTransport || rule == Rule::ChatTransport)
        return text.trimmed().toLower();
    // Fingerprints as gpg prints them (blanks in groups, any case) are stored
    // the one way they are compared; text that is none is left for the check.
    if (rule == Rule::KeyFingerprints) {
        QString error;
        const QStringList fingerprints = parseKeyFingerprints(text, &error);
        return error.isEmpty() ? fingerprints.join(QLatin1String(", ")) : text.trimmed();
    }
    return text.trimmed();
}

QVariant storedForm(const QString &key, const QVariant &value)
{
    const SettingInfo *info = findSetting(key);
    if (!info || !value.isValid())
        return value;
    if (info->type == SettingType::Dictionaries && value.typeId() == QMetaType::QVariantList)
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(value.toList())).toJson(QJsonDocument::Compact));
    if (info->type == SettingType::Color) {
        const QString color = colorTextFromStored(value);
        return color.isNull() ? value : QVariant(color);
    }
    return value;
}

QVariant usableForm(const QString &key, const QVariant &stored)
{
    const SettingInfo *info = findSetting(key);
    if (!info || info->type != SettingType::Dictionaries || stored.typeId() == QMetaType::QVariantList)
        return stored;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toString().toUtf8());
    return document.isArray() ? QVariant(document.array().toVariantList()) : stored;
}

QVariant checkedSettingValue(const Preferences &preferences, const QString &key)
{
    const QVariant stored = usableForm(key, preferences.value(key));
    if (!stored.isValid() || checkSettingValue(key, stored).isEmpty())
        return stored;
    // What guards who may give commands never falls back to something wider:
    // the default addresses are examples anybody can forge, and a secret
    // with a blank inside already matches no command.
    switch (ruleOf(key)) {
    case Rule::MailAddress:
    case Rule::KeyFingerprints: return QStringLiteral("");
    case Rule::OneWord: return stored;
    // A check the owner turned on and then mistyped stays on.
    case Rule::Tightens: return true;
    default: return usableForm(key, preferences.registeredDefaults().value(key));
    }
}

QString storedSettingProblem(const Preferences &preferences, const QString &key)
{
    if (!preferences.storedKeys().contains(key))
        return QString();
    return checkSettingValue(key, usableForm(key, preferences.value(key)));
}

QStringList similarSettingKeys(const QString &key)
{
    QList<QPair<int, QString>> scored;
    const QString lowered = key.toLower();
    for (const SettingInfo &info : knownSettings()) {
        const QString candidate = info.key.toLower();
        // A third of the name may be wrong; a fragment of a name counts too.
        const int distance = editDistance(lowered, candidate);
        if (distance <= std::max<qsizetype>(2, candidate.size() / 3) || (lowered.size() >= 4 && candidate.contains(lowered)))
            scored.append({distance, info.key});
    }
    std::sort(scored.begin(), scored.end());
    QStringList keys;
    for (const auto &entry : scored.mid(0, 3))
        keys << entry.second;
    return keys;
}

} // namespace wendle
