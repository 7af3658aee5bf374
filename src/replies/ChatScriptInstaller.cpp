#include "app/Controller.h"

#include "platform/alerts/Alerts.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "replies/ReplyScripts.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace wendle {

namespace {

const QString DuplicateTitle = QStringLiteral("Duplicate iChat Accounts");
const QString DuplicateMessage = QStringLiteral("Do not set the Host Chat account to the same account used for the Remote Chat account.  "
                                                "Please try another chat account and try again.");
const QString NoAccountTitle = QStringLiteral("No Chat Account");
const QString NoAccountMessage =
    QStringLiteral("Enter your own chat address in \"Your account\" first: the script takes commands from that account only.");
const QString CreatedTitle = QStringLiteral("iChat Script Created");
const QString CreatedMessage =
    QStringLiteral("The custom iChat script has been created.  Please configure iChat to run the \"WendleChat\" script "
                   "whenever the \"Text Invitation\" and \"Message Received\" events occur.");
const QString FailedTitle = QStringLiteral("Couldn't Create Customized iChat Script");
const QString FailedMessage =
    QStringLiteral("Could not create the customized iChat script.  You will need to edit the script from the installation disk, "
                   "or try again.");
const QString NoFolderLine = QStringLiteral("Wendle Error: Could not find the \"~/Library/Scripts/iChat\" folder.");
const QString NotCreatedLine =
    QStringLiteral("Wendle Error: Could not create the customized iChat script.  You will need to edit the script from the "
                   "installation disk, or try again.");

constexpr qsizetype ShortestRemoteAccount = 5;

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The account lands inside single quotes of a shell script, so it must be
// printable without a quote or a backslash; a real chat address never holds
// those, and anything else could change what the script does.
bool fitsTheScript(const QString &account)
{
    return std::none_of(account.cbegin(), account.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'\'' || c == u'\\'; });
}

// The script calls the `wendle` of the program that writes it: one that was
// built but never installed is not on the PATH mcabber runs the script with.
// The full program lies beside `wendle` in the build folder and under
// libexec/wendle once installed; `wendle` itself starts lightest.
QString wendleProgramPath()
{
    const QString self =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString folder = QFileInfo(self).absolutePath();
    for (const QString &front : {folder + QLatin1String("/wendle"), folder + QLatin1String("/../../bin/wendle")}) {
        const QFileInfo program(front);
        if (program.isFile() && program.isExecutable())
            return QDir::cleanPath(front);
    }
    return self;
}

} // namespace

QString Controller::chatScriptPath() const
{
    return applicationSupportFolder() + u'/' + QLatin1String(ChatScriptFolderName) + u'/' + QLatin1String(ChatScriptFileName);
}

bool Controller::createChatScript()
{
    const QString scriptTemplate = wendleString(QStringLiteral("chat_script"));
    if (scriptTemplate.isEmpty())
        return false;
    const QString remote = m_platform.preferences.stringValue(RBRemoteChatAddress);
    const auto report = [this](const QString &line) {
        log(line);
        m_platform.console.writeLine(line);
    };
    if (remote.isEmpty()) {
        // Without the owner's account the script would let nobody in.
        report(QStringLiteral("Wendle Error: the chat script was not created because no remote chat address is set."));
        return false;
    }
    const QString script = chatHandlerScript(scriptTemplate, remote, wendleProgramPath());

    const QString folder = applicationSupportFolder() + u'/' + QLatin1String(ChatScriptFolderName);
    if (!QDir().mkpath(folder)) {
        report(NoFolderLine);
        return false;
    }
    QFile file(chatScriptPath());
    const bool written =
        isAscii(script) && fitsTheScript(remote) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(script.toLatin1()) == script.size()
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                               | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
    if (written)
        return true;
    m_platform.alerts.showAlert(FailedTitle, FailedMessage, AlertStyle::Critical, localized(QStringLiteral("OK")));
    report(NotCreatedLine);
    return false;
}

void Controller::forceChatScript()
{
    const QString remote = m_platform.preferences.stringValue(RBRemoteChatAddress);
    const QString host = m_platform.preferences.stringValue(RBHostChatAddress);
    const QString ok = localized(QStringLiteral("OK"));
    // Two accounts nobody has set are not the same account.
    if (!remote.isEmpty() && remote == host) {
        m_platform.alerts.showAlert(DuplicateTitle, DuplicateMessage, AlertStyle::Normal, ok);
        return;
    }
    // The owner pressed the button and waits for an answer; the log line
    // alone would leave the window silent.
    if (remote.isEmpty())
        m_platform.alerts.showAlert(NoAccountTitle, NoAccountMessage, AlertStyle::Normal, ok);
    if (createChatScript())
        m_platform.alerts.showAlert(CreatedTitle, CreatedMessage, AlertStyle::Normal, ok);
}

void Controller::controlTextDidChange(ChatAccountField field)
{
    if (field == ChatAccountField::Host)
        m_chatSettings.hostChatChanged = true;
    else if (field == ChatAccountField::Remote)
        m_chatSettings.remoteChatChanged = true;
}

void Controller::controlTextDidEndEditing(ChatAccountField field)
{
    bool &changed = field == ChatAccountField::Host ? m_chatSettings.hostChatChanged : m_chatSettings.remoteChatChanged;
    if (field == ChatAccountField::Other || !changed)
        return;
    changed = false;
    const QString remote = m_platform.preferences.stringValue(RBRemoteChatAddress);
    const QString host = m_platform.preferences.stringValue(RBHostChatAddress);
    const QString ok = localized(QStringLiteral("OK"));
    if (!remote.isEmpty() && remote == host) {
        m_platform.alerts.showAlert(DuplicateTitle, DuplicateMessage, AlertStyle::Normal, ok);
        return;
    }
    // Editing the computer's own account never rewrites the script.
    if (field == ChatAccountField::Host || remote.size() < ShortestRemoteAccount)
        return;
    if (createChatScript())
        m_platform.alerts.showAlert(CreatedTitle, CreatedMessage, AlertStyle::Normal, ok);
}

} // namespace wendle
