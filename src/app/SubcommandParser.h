#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

namespace wendle {

inline constexpr int UsageExitCode = 2;

// One subcommand's parser: `--help` is added here, so every subcommand answers
// it. The synopsis is the usage line after "wendle ".
struct SubcommandParser {
    SubcommandParser(const QString &name, const QString &synopsis, const QString &description);

    // Parses the words after the subcommand's name. Returns an exit code when
    // the command is finished here: 0 after printing the help, 2 after an
    // error; nothing when the caller goes on.
    std::optional<int> parse(const QStringList &arguments, QTextStream &out, QTextStream &err);
    // The same for a subcommand that takes options only: any other word is a
    // usage error.
    std::optional<int> parseWithoutArguments(const QStringList &arguments, QTextStream &out, QTextStream &err);
    QString helpText() const;
    // Prints "wendle NAME: MESSAGE" and the usage line; returns 2.
    int usageError(const QString &message, QTextStream &err) const;

    QCommandLineParser parser;
    QString name;
    QString synopsis;
};

} // namespace wendle
