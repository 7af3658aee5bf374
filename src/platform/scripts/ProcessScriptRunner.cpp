#include "platform/scripts/ScriptRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

#include <signal.h>
#include <unistd.h>

namespace wendle {

namespace {

constexpr qint64 MaxOutputBytes = 16 * 1024 * 1024;
constexpr qint64 MaxErrorBytes = 4096;

// Keeps the first `limit` bytes a channel delivers and drops the rest, so a
// script that prints without end cannot fill the memory while it runs.
void appendBounded(QByteArray &buffer, const QByteArray &chunk, qint64 limit)
{
    const qint64 room = limit - buffer.size();
    if (room > 0)
        buffer.append(chunk.left(room));
}

// The program runs in a process group of its own, so that the time limit
// also ends whatever it started (a shell script's `sleep`, a pipeline).
void startInOwnProcessGroup(QProcess &process)
{
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
}

void killProcessGroup(QProcess &process)
{
    const qint64 pid = process.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process.kill();
    process.waitForFinished(5000);
}

// Runs program with arguments, feeding input, within the time limit. A
// program that cannot start is CannotLoad; everything after the start that
// is not a clean exit is FailedToRun.
ScriptResult runProgram(const QString &program, const QStringList &arguments, const QByteArray &input, int timeoutSeconds)
{
    ScriptResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    QByteArray output;
    QByteArray errors;
    // waitForFinished delivers these while it waits.
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        appendBounded(output, process.readAllStandardOutput(), MaxOutputBytes);
    });
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        appendBounded(errors, process.readAllStandardError(), MaxErrorBytes);
    });
    startInOwnProcessGroup(process);
    if (!process.waitForStarted(10000)) {
        result.status = ScriptResult::Status::CannotLoad;
        result.error = process.errorString();
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    const int seconds = qMax(1, timeoutSeconds);
    if (!process.waitForFinished(seconds * 1000)) {
        killProcessGroup(process);
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("stopped after %1 seconds").arg(seconds);
        return result;
    }
    appendBounded(output, process.readAllStandardOutput(), MaxOutputBytes);
    appendBounded(errors, process.readAllStandardError(), MaxErrorBytes);
    result.output = decodeScriptText(output);
    const QString errorText = decodeScriptText(errors).trimmed();
    if (process.exitStatus() != QProcess::NormalExit) {
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("crashed");
        return result;
    }
    if (process.exitCode() != 0) {
        result.status = ScriptResult::Status::FailedToRun;
        result.error = QStringLiteral("exit status %1%2").arg(process.exitCode()).arg(errorText.isEmpty() ? QString() : QLatin1String(": ") + errorText);
        return result;
    }
    result.status = ScriptResult::Status::Succeeded;
    return result;
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
    const QStringList words = QString::fromLocal8Bit(firstLine.mid(2)).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
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
    ScriptResult refused;
    refused.status = ScriptResult::Status::CannotLoad;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        refused.error = QStringLiteral("cannot read %1").arg(path);
        return refused;
    }
    if (!info.isExecutable()) {
        refused.error = QStringLiteral("%1 is not executable").arg(path);
        return refused;
    }
    QFile file(path);
    const QByteArray firstLine = file.open(QIODevice::ReadOnly) ? file.readLine(4096).trimmed() : QByteArray();
    if (!firstLine.startsWith("#!")) {
        refused.error = QStringLiteral("%1 has no #! line naming its interpreter").arg(path);
        return refused;
    }
    // A script its interpreter cannot even parse is one that does not
    // compile, not one that failed while running.
    const QString interpreter = interpreterOf(firstLine);
    const QStringList check = syntaxCheckArguments(interpreter);
    if (!check.isEmpty()) {
        ScriptResult checked = runProgram(interpreter, check + QStringList{info.absoluteFilePath()}, {}, timeoutSeconds);
        if (checked.status == ScriptResult::Status::FailedToRun) {
            checked.status = ScriptResult::Status::CannotLoad;
            return checked;
        }
    }
    return runProgram(info.absoluteFilePath(), {}, {}, timeoutSeconds);
}

ScriptResult ProcessScriptRunner::runShellSource(const QString &source, int timeoutSeconds)
{
    const QByteArray bytes = source.toUtf8();
    ScriptResult check = runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-n")}, bytes, timeoutSeconds);
    if (check.status != ScriptResult::Status::Succeeded) {
        check.status = ScriptResult::Status::CannotLoad;
        return check;
    }
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-s")}, bytes, timeoutSeconds);
}

QString withoutTrailingLineBreaks(QString text)
{
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

} // namespace wendle
