#pragma once

#include "platform/chat/ChatTransport.h"
#include "platform/chat/XmppAccount.h"
#include "platform/log/RemoteLogCap.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QThread>

#include <functional>
#include <memory>

class QTimer;

namespace wendle {

class Preferences;
class XmppSession;

// Chat by XMPP: Wendle logs in as "hostChatAddress" and talks with the owner's
// account, "remoteChatAddress". Messages from that account (compared without
// resource and letter case) go to the inbound handler; every other sender is
// counted and otherwise ignored. The login itself runs on a thread of its own
// (XmppSession); this side, on the main thread, reads the settings, filters
// what comes in and hands replies over.
//
// It logs in while "chatTransport" chooses XMPP and follows changes to the
// settings within half a minute (or at the next reply).
class XmppChatTransport : public ChatTransport {
public:
    using InboundHandler = std::function<void(const QString &from, const QString &text)>;
    using Log = std::function<void(const QString &line)>;

    XmppChatTransport(const Preferences &preferences, Log log);
    ~XmppChatTransport() override;

    // Called on the main thread for each message from the owner's account.
    void setInboundHandler(InboundHandler handler) { m_inbound = std::move(handler); }
    // Starts following the settings; logs in when chat goes by XMPP.
    void start();
    // Logs out and stops following the settings.
    void stop();

    bool send(const OutgoingChat &chat, const QString &script) override;

    // For `wendle status`: whether chat goes by XMPP and whether the link is up.
    QString state() const override;

    // Messages from other accounts since the start.
    quint64 ignoredMessages() const { return m_ignored; }

private:
    // Logs in, out or again when the settings changed since the last look.
    void review();
    void received(const QString &from, const QString &text);
    template <typename Call> void post(Call call);

    const Preferences &m_preferences;
    Log m_log;
    RemoteLogCap m_remoteLog;
    InboundHandler m_inbound;
    std::unique_ptr<QObject> m_context; // main-thread receiver of what the session reports
    QThread m_thread;
    XmppSession *m_session = nullptr; // lives on m_thread
    QTimer *m_review = nullptr;
    bool m_active = false;
    XmppAccount m_account;
    QString m_reportedProblem;
    bool m_linkUp = false;
    bool m_everUp = false;
    int m_failedTries = 0;
    QDateTime m_linkChangedAt;
    quint64 m_ignored = 0;
    QSet<QString> m_strangersReported;
};

} // namespace wendle
