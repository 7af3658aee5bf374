#include "app/Controller.h"

#include "custom/ShortcutLibrary.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "platform/scripts/ScriptRunner.h"
#include "platform/workspace/Workspace.h"
#include "settings/SettingRules.h"
#include "settings/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace wendle {

namespace {

constexpr int DefaultTimeoutSeconds = 60;
constexpr qint64 MaxSourceBytes = 16 * 1024;
const QString CustomCommandKind = QStringLiteral("customCommand");

// The first entry whose name equals the command in any mix of case and whose
// path can be run; entries with a path shorter than two characters are passed
// over, so a later entry of the same name may be taken.
const Shortcut *findShortcut(const QList<Shortcut> &library, const QString &name)
{
    if (name.isNull())
        return nullptr;
    const QString wanted = name.toLower();
    for (const Shortcut &entry : library) {
        if (entry.shortcut().isNull() || entry.shortcut().toLower() != wanted)
            continue;
        if (entry.path().size() >= 2)
            return &entry;
    }
    return nullptr;
}

bool isInLibrary(const QList<Shortcut> &library, const QString &path)
{
    for (const Shortcut &entry : library) {
        if (entry.path() == path)
            return true;
    }
    return false;
}

// What the failure reports quote as the script's text. A binary file has
// none worth showing; a long one is cut so the log stays readable.
QString scriptSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.read(MaxSourceBytes);
    if (bytes.contains('\0'))
        return QString();
    return decodeScriptText(bytes);
}

} // namespace

void Controller::customCommand(const QString &name)
{
    const Shortcut *entry = findShortcut(libraryArray(), name);
    if (!entry) {
        answerCustomCommand(localized(QStringLiteral("custom_not_found"), {name}));
        return;
    }
    const QString path = entry->path();
    setLastPath(path);
    setLastCommand(CustomCommandKind);
    if (m_platform.preferences.boolValue(RBConfirmCustomCommands)) {
        m_search.lastConfirmationNumber = getConfirmationNumber();
        const QVariantList arguments{library::fileNameWithoutExtension(path), m_search.lastConfirmationNumber};
        sendMessageWithContents(localized(QStringLiteral("confirm_custom_command"), arguments), QString(), QString());
        log(localized(QStringLiteral("custom_command_confirm_log"), {name}));
        return;
    }
    log(localized(QStringLiteral("custom_command_log"), {name}));
    executeLastCustomCommand();
}

void Controller::executeLastCustomCommand()
{
    const QString path = m_custom.lastPath;
    if (path.size() < 2) {
        log(localized(QStringLiteral("custom_command_unknown_error_log")));
        m_platform.console.writeLine(QStringLiteral(
            "Wendle Log Update:  Error trying to execute the last custom command experienced; ensure custom command path is not blank."));
        return;
    }
    const QString name = library::fileNameWithoutExtension(path);
    // The owner may have removed the entry between the question and the
    // answer: only what the library holds now may run.
    if (!isInLibrary(libraryArray(), path)) {
        answerCustomCommand(localized(QStringLiteral("custom_not_in_library"), {name}));
        return;
    }
    // Only the exact lower-case extension marks the owner's script; any other
    // file, "SCPT" included, is opened like a document. A missing script is
    // one that cannot be loaded: logged and written to the console, no reply.
    if (library::pathExtension(path) == QLatin1String("scpt")) {
        runCustomScript(path);
        return;
    }
    // Said plainly rather than left to an opener that fails in silence.
    if (!QFileInfo::exists(path)) {
        answerCustomCommand(localized(QStringLiteral("custom_file_missing"), {name}));
        return;
    }
    m_platform.workspace.openFile(path);
    answerCustomCommand(localized(QStringLiteral("custom_launched"), {name}));
}

// The script runs while the event loop goes on: D-Bus calls are answered
// and messages taken meanwhile; the commands among them wait their turn.
void Controller::runCustomScript(const QString &path)
{
    int timeout = checkedSettingValue(m_platform.preferences, RBCustomCommandTimeout).toInt();
    if (timeout < 1)
        timeout = DefaultTimeoutSeconds;
    m_custom.runningScript = std::make_unique<QObject>();
    m_platform.scripts.startScriptFile(path, timeout, m_custom.runningScript.get(), [this, path](const ScriptResult &result) {
        m_custom.runningScript.release()->deleteLater(); // this call comes from it
        answerCustomScript(path, result);
        commandFinished();
    });
}

void Controller::answerCustomScript(const QString &path, const ScriptResult &result)
{
    switch (result.status) {
    case ScriptResult::Status::CannotLoad: {
        const QString source = scriptSource(path);
        log(localized(QStringLiteral("custom_command_script_error_log"), {path, source}));
        m_platform.console.writeLine(QStringLiteral("Wendle Log Update:  Error trying to execute the last custom command "
                                                    "experienced while compiling custom script (script follows)\n\n")
                                     + source);
        return;
    }
    case ScriptResult::Status::FailedToRun:
        log(localized(QStringLiteral("custom_command_error_log"), {QUrl::fromLocalFile(path).toString()}));
        return;
    case ScriptResult::Status::Succeeded: break;
    }
    const QString output = withoutTrailingLineBreaks(result.output);
    if (output.isEmpty()) {
        answerCustomCommand(localized(QStringLiteral("script_no_results"), {library::fileNameWithoutExtension(path)}));
        return;
    }
    answerCustomCommand(localized(QStringLiteral("script_results"), {output}));
}

// Every custom-command answer goes to the sender as it is and into the log.
void Controller::answerCustomCommand(const QString &text)
{
    sendMessageWithContents(text, QString(), QString());
    log(text);
}

} // namespace wendle
