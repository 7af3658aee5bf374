#include "app/ConfigCommand.h"

#include "app/InboundService.h"
#include "app/Settings.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripthost/ShellWords.h"

#include <QColor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <optional>

namespace wendle {

namespace {

const char *ConfigUsage =
    "usage: wendle config get KEY\n"
    "       wendle config set KEY VALUE\n"
    "       wendle config unset KEY\n"
    "       wendle config list\n";

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
    case SettingType::String:
        return text;
    case SettingType::ArgumentVector: {
        const std::optional<QStringList> words = splitShellWords(text);
        if (words && !words->isEmpty())
            return *words;
        *error = QStringLiteral("expected a command line such as: osascript -");
        return {};
    }
    case SettingType::Color: {
        const QColor color = QColor::fromString(text.trimmed());
        if (color.isValid())
            return archiveColor(color);
        *error = QStringLiteral("expected a colour such as #ff00ff00 (#AARRGGBB) or green");
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

// A running Wendle holds the library in memory and writes it back when it
// quits, so a library changed behind its back would be lost then.
bool refusedWhileRunning(const QString &key, QTextStream &err)
{
    if (key != QLatin1String(RBCustomCommands))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName)))
        return false;
    err << "wendle: Wendle is running and keeps the custom commands itself; change them in its settings window "
           "(Custom Commands tab), or quit Wendle and try again\n";
    return true;
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

QString displaySettingValue(const QString &key, const QVariant &value)
{
    if (!value.isValid())
        return QString();
    const SettingInfo *info = findSetting(key);
    const SettingType type = info ? info->type : SettingType::String;
    switch (type) {
    case SettingType::Boolean:
        return parseBoolean(value.toString()).value_or(value.toBool()) ? QStringLiteral("true") : QStringLiteral("false");
    case SettingType::ArgumentVector: {
        QStringList words;
        for (const QString &word : value.toStringList())
            words << shellQuoted(word);
        return words.join(u' ');
    }
    case SettingType::Color:
        return QString::fromLatin1(value.toByteArray());
    case SettingType::Dictionaries:
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(value.toList())).toJson(QJsonDocument::Compact));
    default:
        return value.toString();
    }
}

int runConfigCommand(Preferences &preferences, const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("list") && arguments.size() == 1) {
        const QStringList stored = preferences.storedKeys();
        for (const SettingInfo &info : knownSettings()) {
            const QVariant value = preferences.value(info.key);
            const QString origin = stored.contains(info.key) ? QString() : value.isValid() ? QStringLiteral("  (default)") : QStringLiteral("  (not set)");
            out << info.key << " = " << displaySettingValue(info.key, value) << origin << '\n';
        }
        return 0;
    }
    if ((verb == QLatin1String("get") || verb == QLatin1String("unset")) && arguments.size() == 2) {
        const QString key = arguments[1];
        if (!findSetting(key)) {
            err << "wendle: unknown setting '" << key << "' (see: wendle config list)\n";
            return 2;
        }
        if (verb == QLatin1String("unset")) {
            if (refusedWhileRunning(key, err))
                return 1;
            preferences.remove(key);
            return 0;
        }
        const QVariant value = preferences.value(key);
        if (!value.isValid()) {
            err << "wendle: " << key << " is not set\n";
            return 1;
        }
        out << displaySettingValue(key, value) << '\n';
        return 0;
    }
    if (verb == QLatin1String("set") && arguments.size() == 3) {
        const QString key = arguments[1];
        const SettingInfo *info = findSetting(key);
        if (!info) {
            err << "wendle: unknown setting '" << key << "' (see: wendle config list)\n";
            return 2;
        }
        QString error;
        const QVariant value = parseSettingValue(info->type, arguments[2], &error);
        if (!value.isValid()) {
            err << "wendle: cannot set " << key << ": " << error << '\n';
            return 2;
        }
        if (refusedWhileRunning(key, err))
            return 1;
        preferences.setValue(key, value);
        return 0;
    }
    err << ConfigUsage;
    return 2;
}

} // namespace wendle
