#include "app/SubcommandParser.h"

#include <QTextStream>

namespace wendle {

SubcommandParser::SubcommandParser(const QString &name, const QString &synopsis, const QString &description)
    : name(name)
    , synopsis(synopsis)
{
    parser.setApplicationDescription(description);
    // Qt's own help option would also offer --help-all with Qt's options.
    parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")));
    // Words after the first argument are the subcommand's text, even when
    // they look like options ("wndl find named --help").
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
}

std::optional<int> SubcommandParser::parse(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (!parser.parse(QStringList{QStringLiteral("wendle ") + name} + arguments))
        return usageError(parser.errorText(), err);
    if (parser.isSet(QStringLiteral("help"))) {
        out << helpText();
        return 0;
    }
    return std::nullopt;
}

std::optional<int> SubcommandParser::parseWithoutArguments(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (const auto done = parse(arguments, out, err))
        return done;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("takes no arguments"), err);
    return std::nullopt;
}

QString SubcommandParser::helpText() const
{
    // Qt's text starts with a usage line built from the options; ours names
    // the arguments and their alternatives.
    QString text = parser.helpText();
    const qsizetype endOfFirstLine = text.indexOf(u'\n');
    return QStringLiteral("usage: wendle ") + synopsis + text.mid(endOfFirstLine);
}

int SubcommandParser::usageError(const QString &message, QTextStream &err) const
{
    err << "wendle " << name << ": " << message << '\n' << "usage: wendle " << synopsis << '\n';
    return UsageExitCode;
}

} // namespace wendle
