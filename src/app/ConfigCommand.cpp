#include "app/ConfigCommand.h"

#include "app/SubcommandParser.h"
#include "intake/SignedCommands.h"
#include "operations/Faxing.h"
#include "platform/preferences/Preferences.h"
#include "platform/preferences/SettingsPreferences.h"
#include "platform/scripthost/ShellWords.h"
#include "settings/ColorText.h"
#include "settings/SettingRules.h"
#include "settings/Settings.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <optional>

namespace wendle {

namespace {

const char *ConfigSynopsis = "config get KEY | set KEY VALUE | unset KEY | list | describe KEY";

std::optional<bool> parseBoolean(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// The value to store for the key's type, or an error text.
QVariant parseSettingValue(SettingType type, const QString &text, QString *error)
{
    bool ok = false;
    switch (type) {
    case SettingType::Boolean:
        if (const auto value = parseBoolean(text))
            return *value;
        *error = QStringLiteral("expected true/false, yes/no or 1/0");
        return {};
    case SettingType::Integer: {
        const int value = text.trimmed().toInt(&ok);
        if (ok)
            return value;
        *error = QStringLiteral("expected a whole number");
        return {};
    }
    case SettingType::Float: {
        const double value = text.trimmed().toDouble(&ok);
        if (ok)
            return value;
        *error = QStringLiteral("expected a number");
        return {};
    }
    case SettingType::String: return text;
    case SettingType::ArgumentVector: {
        const std::optional<QStringList> words = splitShellWords(text);
        if (words && !words->isEmpty())
            return *words;
        *error = QStringLiteral("expected a command line such as: osascript -");
        return {};
    }
    case SettingType::Color: {
        const QString color = colorTextFromWords(text.trimmed());
        if (!color.isNull())
            return color;
        *error = QStringLiteral("expected a colour such as #00ff00 (#RRGGBB, or #AARRGGBB) or green");
        return {};
    }
    case SettingType::Dictionaries: {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
        if (document.isArray())
            return document.array().toVariantList();
        *error = QStringLiteral("expected a JSON array such as [{\"path\": \"/p/x.scpt\", \"shortcut\": \"x\"}]");
        return {};
    }
    }
    return {};
}

QString shellQuoted(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(u'\'', QLatin1String("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

QString displaySettingValue(const QString &key, const QVariant &stored)
{
    const QVariant value = usableForm(key, stored);
    if (!value.isValid())
        return QString();
    const SettingInfo *info = findSetting(key);
    const SettingType type = info ? info->type : SettingType::String;
    switch (type) {
    case SettingType::Boolean: {
        // Text that is no boolean is shown as it stands: the owner must see what is wrong.
        const std::optional<bool> on = value.typeId() == QMetaType::Bool ? value.toBool() : parseBoolean(value.toString());
        return on ? (*on ? QStringLiteral("true") : QStringLiteral("false")) : value.toString();
    }
    case SettingType::ArgumentVector: {
        QStringList words;
        for (const QString &word : value.toStringList())
            words << shellQuoted(word);
        return words.join(u' ');
    }
    case SettingType::Color: {
        const QString color = colorTextFromStored(value);
        return color.isNull() ? value.toString() : color;
    }
    case SettingType::Dictionaries:
        if (value.typeId() != QMetaType::QVariantList)
            return value.toString();
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(value.toList())).toJson(QJsonDocument::Compact));
    default: return value.toString();
    }
}

namespace {

// The known setting, or an error that names the closest keys.
const SettingInfo *knownSetting(const QString &key, QTextStream &err)
{
    if (const SettingInfo *info = findSetting(key))
        return info;
    err << "wendle config: unknown setting '" << key << "'";
    const QStringList similar = similarSettingKeys(key);
    if (!similar.isEmpty())
        err << "; did you mean " << similar.join(QLatin1String(", ")) << '?';
    err << " (see: wendle config list)\n";
    return nullptr;
}

QString typeAndDescription(const SettingInfo &info)
{
    QString text = settingTypeName(info.type);
    const QString allowed = settingAllowedValues(info.key);
    if (!allowed.isEmpty())
        text += QStringLiteral(" (") + allowed + u')';
    const QString description = settingDescription(info.key);
    return description.isEmpty() ? text : text + QStringLiteral(": ") + description;
}

// What an unset key reads as: the registered default, else the one its row implies.
QVariant valueOrDefault(const Preferences &preferences, const SettingInfo &info)
{
    const QVariant value = preferences.value(info.key);
    return value.isValid() ? value : info.defaultValue;
}

// What readers get instead of a stored value that breaks its rule.
QString usedInstead(const Preferences &preferences, const SettingInfo &info)
{
    switch (info.bounds.rule) {
    case SettingRule::MailAddress: return QStringLiteral("nobody");
    case SettingRule::KeyFingerprints: return QStringLiteral("no key");
    case SettingRule::OneWord: return QStringLiteral("it as it is, which no command matches");
    case SettingRule::Tightens: return QStringLiteral("true, the stricter value");
    default:
        return QStringLiteral("the default ")
               + displaySettingValue(info.key, preferences.registeredDefaults().value(info.key, info.defaultValue));
    }
}

QString originOf(const Preferences &preferences, const SettingInfo &info)
{
    if (!preferences.storedKeys().contains(info.key))
        return QStringLiteral("  (default)");
    const QString problem = storedSettingProblem(preferences, info.key);
    if (problem.isEmpty())
        return QString();
    return QStringLiteral("  (invalid, using %1: %2)").arg(usedInstead(preferences, info), problem);
}

} // namespace

QVariant typedSettingValue(const SettingInfo &info, const QString &text, QString *error)
{
    error->clear();
    QVariant value = parseSettingValue(info.type, normalizedSettingText(info.key, text), error);
    if (value.isValid())
        *error = checkSettingValue(info.key, value);
    // A key that is not in the keyring could never be checked: every signed
    // command would be refused, and the owner would not learn why until then.
    if (error->isEmpty() && info.bounds.rule == SettingRule::KeyFingerprints) {
        for (const QString &fingerprint : parseKeyFingerprints(value.toString())) {
            if (*error = ownerKeyProblem(fingerprint); !error->isEmpty())
                break;
        }
    }
    return error->isEmpty() ? value : QVariant();
}

int runConfigCommand(Preferences &preferences, const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("config"), QLatin1String(ConfigSynopsis),
                             QStringLiteral("Read, change and explain the settings. set reads booleans as true/false,\n"
                                            "yes/no or 1/0, numbers as numbers, command lines split like a shell."));
    command.parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("get, set, unset, list or describe."));
    if (const auto done = command.parse(arguments, out, err))
        return *done;
    const QStringList words = command.parser.positionalArguments();
    const QString verb = words.value(0);
    static const QHash<QString, qsizetype> wordCounts = {{QStringLiteral("list"), 1},
                                                         {QStringLiteral("get"), 2},
                                                         {QStringLiteral("unset"), 2},
                                                         {QStringLiteral("describe"), 2},
                                                         {QStringLiteral("set"), 3}};
    if (!wordCounts.contains(verb))
        return command.usageError(verb.isEmpty() ? QStringLiteral("no action") : QStringLiteral("unknown action ") + verb, err);
    if (words.size() != wordCounts.value(verb))
        return command.usageError(QStringLiteral("wrong number of arguments for ") + verb, err);

    if (verb == QLatin1String("list")) {
        for (const SettingInfo &info : knownSettings()) {
            out << info.key << " = " << displaySettingValue(info.key, valueOrDefault(preferences, info)) << originOf(preferences, info)
                << '\n'
                << "    " << typeAndDescription(info) << '\n';
        }
        return 0;
    }
    const QString key = words[1];
    const SettingInfo *info = knownSetting(key, err);
    if (!info)
        return UsageExitCode;
    if (verb == QLatin1String("describe")) {
        out << key << ": " << typeAndDescription(*info) << '\n'
            << "value: " << displaySettingValue(key, valueOrDefault(preferences, *info)) << originOf(preferences, *info) << '\n';
        return 0;
    }
    if (verb == QLatin1String("unset")) {
        preferences.remove(key);
        return 0;
    }
    if (verb == QLatin1String("get")) {
        const QVariant value = valueOrDefault(preferences, *info);
        if (!value.isValid()) {
            err << "wendle config: " << key << " is not set\n";
            return 1;
        }
        out << displaySettingValue(key, value) << '\n';
        return 0;
    }
    QString error;
    QVariant value = typedSettingValue(*info, words[2], &error);
    if (!error.isEmpty()) {
        err << "wendle config: cannot set " << key << " to \"" << words[2] << "\": " << error << '\n';
        return UsageExitCode;
    }
    // A queue is stored the way the settings window's menu stores it.
    if (key == QLatin1String(RBDefaultFaxModem))
        value = faxModemForTitle(value.toString());
    preferences.setValue(key, storedForm(key, value));
    return 0;
}

int runConfigSubcommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SettingsPreferences preferences;
    const QString problem = preferences.fileProblem();
    if (!problem.isNull()) {
        err << "wendle config: " << problem << '\n';
        return 1;
    }
    registerSettingDefaults(preferences);
    const int status = runConfigCommand(preferences, arguments, out, err);
    // A folder that cannot be written shows only once a change is written to it.
    const QString unstored = status == 0 ? preferences.fileProblem() : QString();
    if (!unstored.isNull()) {
        err << "wendle config: nothing was stored: " << unstored << '\n';
        return 1;
    }
    return status;
}

} // namespace wendle
