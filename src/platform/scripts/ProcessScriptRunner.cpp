#include "platform/scripts/ScriptRunner.h"

#include "platform/scripts/ProgramRun.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

namespace wendle {

namespace {

ScriptResult runProgram(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutSeconds)
{
    return ProgramRun(program, arguments, input, timeoutSeconds).runToEnd();
}

// A script whose interpreter cannot even parse it is one that does not
// compile, not one that failed while running.
ScriptResult asNotCompiled(ScriptResult checked)
{
    checked.status = ScriptResult::Status::CannotLoad;
    return checked;
}

// C0 controls but the three layout ones, DEL, and the C1 controls that
// Latin-1 gives bytes 0x80 to 0x9f.
bool isUnwantedControl(char16_t c)
{
    if (c == u'\t' || c == u'\n' || c == u'\r')
        return false;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// The interpreter named by a #! line ("#!/bin/sh -e", "#!/usr/bin/env
// python3"), as a path; empty when the line names none that can be found.
QString interpreterOf(const QByteArray &firstLine)
{
    const QStringList words =
        QString::fromLocal8Bit(firstLine.mid(2)).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return QString();
    if (QFileInfo(words[0]).fileName() != QLatin1String("env"))
        return words[0];
    for (const QString &word : words.mid(1)) {
        if (!word.startsWith(u'-') && !word.contains(u'='))
            return QStandardPaths::findExecutable(word);
    }
    return QString();
}

// How the interpreters that can check a file without running it are asked
// to; the path goes last. Others run unchecked.
QStringList syntaxCheckArguments(const QString &interpreter)
{
    static const QRegularExpression version(QStringLiteral("[0-9.]+$"));
    const QString name = QFileInfo(interpreter).fileName().remove(version);
    if (QStringList{"sh", "bash", "dash", "ksh", "mksh", "zsh"}.contains(name))
        return {QStringLiteral("-n")};
    if (name == QLatin1String("perl") || name == QLatin1String("ruby"))
        return {QStringLiteral("-c")};
    if (name == QLatin1String("python"))
        return {QStringLiteral("-c"), QStringLiteral("import sys; compile(open(sys.argv[1], 'rb').read(), sys.argv[1], 'exec')")};
    return {};
}

// What running a script file takes: the reason it cannot run, or the
// program and the syntax check to run first (none when the interpreter
// cannot check a file without running it).
struct ScriptFilePlan {
    QString refusal;
    QString program;
    QString checker;
    QStringList checkArguments;
};

ScriptFilePlan planScriptFile(const QString &path)
{
    ScriptFilePlan plan;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        plan.refusal = QStringLiteral("cannot read %1").arg(path);
        return plan;
    }
    if (!info.isExecutable()) {
        plan.refusal = QStringLiteral("%1 is not executable").arg(path);
        return plan;
    }
    QFile file(path);
    const QByteArray firstLine = file.open(QIODevice::ReadOnly) ? file.readLine(4096).trimmed() : QByteArray();
    if (!firstLine.startsWith("#!")) {
        plan.refusal = QStringLiteral("%1 has no #! line naming its interpreter").arg(path);
        return plan;
    }
    plan.program = info.absoluteFilePath();
    plan.checker = interpreterOf(firstLine);
    plan.checkArguments = syntaxCheckArguments(plan.checker);
    if (plan.checkArguments.isEmpty())
        plan.checker.clear();
    else
        plan.checkArguments << plan.program;
    return plan;
}

} // namespace

QString decodeScriptText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        if (isUnwantedControl(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

ScriptResult ProcessScriptRunner::runScriptFile(const QString &path, int timeoutSeconds)
{
    const ScriptFilePlan plan = planScriptFile(path);
    if (!plan.refusal.isNull())
        return ScriptResult{ScriptResult::Status::CannotLoad, QString(), plan.refusal};
    if (!plan.checker.isEmpty()) {
        const ScriptResult checked = runProgram(plan.checker, plan.checkArguments, {}, timeoutSeconds);
        if (checked.status == ScriptResult::Status::FailedToRun)
            return asNotCompiled(checked);
    }
    return runProgram(plan.program, {}, {}, timeoutSeconds);
}

void ProcessScriptRunner::startScriptFile(const QString &path, int timeoutSeconds, QObject *context, ScriptFinished finished)
{
    // Always from the event loop, never inside this call. The runs are
    // children of the context: they, and the answer, go with it.
    const auto answer = [context, finished](const ScriptResult &result) {
        QMetaObject::invokeMethod(
            context, [finished, result] { finished(result); }, Qt::QueuedConnection);
    };
    const ScriptFilePlan plan = planScriptFile(path);
    if (!plan.refusal.isNull()) {
        answer(ScriptResult{ScriptResult::Status::CannotLoad, QString(), plan.refusal});
        return;
    }
    auto *run = new ProgramRun(plan.program, {}, {}, timeoutSeconds, context);
    const auto runScript = [run, answer] {
        run->start([run, answer](const ScriptResult &result) {
            run->deleteLater();
            answer(result);
        });
    };
    if (plan.checker.isEmpty()) {
        runScript();
        return;
    }
    auto *check = new ProgramRun(plan.checker, plan.checkArguments, {}, timeoutSeconds, context);
    check->start([check, run, answer, runScript](const ScriptResult &checked) {
        check->deleteLater();
        if (checked.status != ScriptResult::Status::FailedToRun) {
            runScript();
            return;
        }
        run->deleteLater();
        answer(asNotCompiled(checked));
    });
}

ScriptResult ProcessScriptRunner::runShellSource(const QString &source, int timeoutSeconds)
{
    const QByteArray bytes = source.toUtf8();
    const ScriptResult check = runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-n")}, bytes, timeoutSeconds);
    if (check.status != ScriptResult::Status::Succeeded)
        return asNotCompiled(check);
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-s")}, bytes, timeoutSeconds);
}

QString withoutTrailingLineBreaks(QString text)
{
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

} // namespace wendle
