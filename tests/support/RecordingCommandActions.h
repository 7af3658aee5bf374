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

    void findFilename(const QString &term, const QString &ccAddress) override
    {
        record("findFilename", {term, ccAddress});
    }
    void findContents(const QString &term, const QString &ccAddress) override
    {
        record("findContents", {term, ccAddress});
    }
    void confirmCommand(const QString &code) override { record("confirmCommand", {code}); }
    void findFileForFaxing(const QString &term, const QString &number) override
    {
        record("findFileForFaxing", {term, number});
    }
    void findContentsForFaxing(const QString &term, const QString &number) override
    {
        record("findContentsForFaxing", {term, number});
    }
    void launchiTunes() override { record("launchiTunes", {}); }
    void launchiPhoto() override { record("launchiPhoto", {}); }
    void launchiChat() override { record("launchiChat", {}); }
    void checkEmailWithCcTo(const QString &ccAddress) override
    {
        record("checkEmailWithCcTo", {ccAddress});
    }
    void getScheduleForDay(const QString &day, const QString &month, const QString &year) override
    {
        record("getScheduleForDay", {day, month, year});
    }
    void customCommand(const QString &name) override { record("customCommand", {name}); }
    void takeSnapshotAndEmailTo(const QString &ccAddress) override
    {
        record("takeSnapshotAndEmailTo", {ccAddress});
    }
    void reportSyntaxError() override { record("reportSyntaxError", {}); }
    void writeConsoleLine(const QString &line) override { record("writeConsoleLine", {line}); }

    static QString describe(const QString &name, const QStringList &arguments)
    {
        QStringList shown;
        for (const QString &argument : arguments)
            shown.append(argument.isNull() ? QStringLiteral("null") : u'"' + argument + u'"');
        return name + u'(' + shown.join(QStringLiteral(", ")) + u')';
    }

private:
    void record(const char *name, const QStringList &arguments)
    {
        QString line = describe(QString::fromLatin1(name), arguments);
        if (annotate)
            line += QStringLiteral(" @") + annotate();
        calls.append(line);
    }
};

} // namespace wendle::test
