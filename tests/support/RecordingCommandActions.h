#pragma once

#include "intake/CommandActions.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace wendle::test {

// Records every call as one readable line, in order: `findFilename(" report",
// null)`. A null argument reads `null`, an empty one `""`, so the two never
// look alike. `annotate`, when set, is appended to each line (for instance
// what the scanner had echoed at the moment of the call).
class RecordingCommandActions : public CommandActions {
public:
    QStringList calls;
    std::function<QString()> annotate;

    void findFilename(const QString &term, const QString &cc) override { record("findFilename", {term, cc}); }
    void findContents(const QString &term, const QString &cc) override { record("findContents", {term, cc}); }
    void confirmCommand(const QString &code) override { record("confirmCommand", {code}); }
    void findFileForFaxing(const QString &term, const QString &number) override { record("findFileForFaxing", {term, number}); }
    void findContentsForFaxing(const QString &term, const QString &number) override { record("findContentsForFaxing", {term, number}); }
    void launchiTunes() override { record("launchiTunes", {}); }
    void launchiPhoto() override { record("launchiPhoto", {}); }
    void launchiChat() override { record("launchiChat", {}); }
    void checkEmailWithCcTo(const QString &cc) override { record("checkEmailWithCcTo", {cc}); }
    void getScheduleForDay(const QString &day, const QString &month, const QString &year) override
    {
        record("getScheduleForDay", {day, month, year});
    }
    void customCommand(const QString &name) override { record("customCommand", {name}); }
    void takeSnapshotAndEmailTo(const QString &cc) override { record("takeSnapshotAndEmailTo", {cc}); }
    void reportSyntaxError() override { record("reportSyntaxError", {}); }
    void writeConsoleLine(const QString &line) override { record("writeConsoleLine", {line}); }

private:
    void record(const char *name, const QStringList &arguments)
    {
        QStringList shown;
        for (const QString &argument : arguments)
            shown.append(argument.isNull() ? QStringLiteral("null") : u'"' + argument + u'"');
        QString line = QString::fromLatin1(name) + u'(' + shown.join(QStringLiteral(", ")) + u')';
        if (annotate)
            line += QStringLiteral(" @") + annotate();
        calls.append(line);
    }
};

} // namespace wendle::test
