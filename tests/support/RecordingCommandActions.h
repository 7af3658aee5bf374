#pragma once

#include "intake/CommandActions.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

namespace wendle::test {

// Records every call as one readable line, in order, a command under its
// name in remoteCommands: `findFilename(" report", null)`. A null argument
// reads `null`, an empty one `""`, so the two never look alike. `annotate`, when set, is appended to each line (for instance
// what the scanner had echoed at the moment of the call).
class RecordingCommandActions : public CommandActions {
public:
    QStringList calls;
    std::function<QString()> annotate;

    void runCommand(const CommandCall &call) override { record(remoteCommand(call.id).name, call.arguments); }
    void reportSyntaxError() override { record("reportSyntaxError", {}); }
    void writeConsoleLine(const QString &line) override { record("writeConsoleLine", {line}); }

private:
    void record(std::string_view name, const QStringList &arguments)
    {
        QStringList shown;
        for (const QString &argument : arguments)
            shown.append(argument.isNull() ? QStringLiteral("null") : u'"' + argument + u'"');
        QString line = QLatin1StringView(name.data(), qsizetype(name.size())) + u'(' + shown.join(QStringLiteral(", ")) + u')';
        if (annotate)
            line += QStringLiteral(" @") + annotate();
        calls.append(line);
    }
};

} // namespace wendle::test
