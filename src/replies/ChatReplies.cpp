#include "app/Controller.h"

#include "intake/TextHelpers.h"
#include "platform/chat/ChatTransport.h"
#include "platform/console/Console.h"
#include "platform/files/HomePath.h"
#include "platform/preferences/Preferences.h"
#include "platform/scheduler/Scheduler.h"
#include "replies/ReplyScripts.h"
#include "settings/Settings.h"

#include <QFileInfo>

namespace wendle {

namespace {

constexpr std::chrono::milliseconds ChatReplyDelay{500};

// The file as the chat script addresses it: below the startup disk, with
// ':' for '/' and no leading colon. Empty when no file goes with the reply.
QString colonPathFor(const QString &path)
{
    if (path.isNull() || !QFileInfo::exists(path))
        return QString();
    QString colonPath = text::convertPathDelimitersToColons(expandTilde(path));
    if (colonPath.size() < 2)
        return QString();
    if (colonPath.startsWith(u':'))
        colonPath.remove(0, 1);
    return colonPath;
}

} // namespace

// Each reply keeps its own values until its timer fires, so replies asked for
// within the delay all go out, in order.
void Controller::sendChatWithMessage(const QString &text, const QString &ccAddress, const QString &path)
{
    const TimerId timer = m_platform.scheduler.schedule(ChatReplyDelay, false, [this] { executeDelayedChat(); });
    m_chat.queued.push_back({text, ccAddress, path, timer});
}

void Controller::executeDelayedChat()
{
    // Every timer has its reply in the queue, in the order they fire.
    if (m_chat.queued.empty())
        return;
    const ChatReply reply = m_chat.queued.front();
    m_chat.queued.pop_front();

    const QString handle = m_platform.preferences.stringValue(RBRemoteChatAddress);
    const QString colonPath = colonPathFor(reply.path);
    const QString script = chatReplyScript(handle, reply.message, colonPath);
    if (handle.isEmpty()) {
        // No account to address; the copy below still reaches its mailbox.
        const QString notice = localized(QStringLiteral("chat_without_recipient_log"), {reply.message});
        log(notice);
        m_platform.console.writeLine(notice);
    } else {
        OutgoingChat chat;
        chat.handle = handle;
        chat.text = reply.message;
        if (!colonPath.isEmpty())
            chat.filePath = expandTilde(reply.path);
        // The script is always built, so a refusal here is the chat
        // program's; the copy is still owed.
        if (!m_platform.chat.send(chat, script))
            reportScriptFailure(
                script, QStringLiteral("Wendle Log Update:  Error trying to send the response message to the chat address: %@"), handle);
    }

    if (reply.ccAddress.size() >= 2) {
        setCmdAddress(QLatin1String(""));
        sendMessageWithContents(reply.message, reply.ccAddress, reply.path);
    }
    settleCommands();
}

} // namespace wendle
