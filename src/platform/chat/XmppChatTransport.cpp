#include "platform/chat/XmppChatTransport.h"

#include "platform/chat/ChatSettingKeys.h"
#include "platform/chat/ChatTransports.h"
#include "platform/chat/XmppSession.h"
#include "platform/log/PrintableText.h"
#include "platform/preferences/Preferences.h"

#include <QTimer>

namespace wendle {

namespace {

constexpr int ReviewIntervalMs = 30000;
// Strangers are named in the log once each, up to this many.
constexpr qsizetype MostStrangersNamed = 100;

} // namespace

XmppChatTransport::XmppChatTransport(const Preferences &preferences, Log log)
    : m_preferences(preferences)
    , m_log(std::move(log))
    , m_remoteLog([this](const QString &line) {
        if (m_log)
            m_log(line);
    })
    , m_context(std::make_unique<QObject>())
{
    QObject *context = m_context.get();
    XmppSession::Callbacks callbacks;
    callbacks.messageReceived = [this, context](const QString &from, const QString &text) {
        QMetaObject::invokeMethod(
            context, [this, from, text] { received(from, text); }, Qt::QueuedConnection);
    };
    callbacks.log = [this, context](const QString &line) {
        QMetaObject::invokeMethod(
            context,
            [this, line] {
                if (m_log)
                    m_log(line);
            },
            Qt::QueuedConnection);
    };
    callbacks.remoteLog = [this, context](const QString &kind, const QString &line) {
        QMetaObject::invokeMethod(
            context, [this, kind, line] { m_remoteLog.write(kind, text::printableLine(line), QDateTime::currentDateTime()); },
            Qt::QueuedConnection);
    };
    callbacks.linkChanged = [this, context](bool up, int failedTries) {
        QMetaObject::invokeMethod(
            context,
            [this, up, failedTries] {
                if (up != m_linkUp || !m_linkChangedAt.isValid())
                    m_linkChangedAt = QDateTime::currentDateTime();
                m_linkUp = up;
                m_everUp = m_everUp || up;
                m_failedTries = failedTries;
            },
            Qt::QueuedConnection);
    };
    m_session = new XmppSession(std::move(callbacks));
    m_session->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("xmpp"));
    m_review = new QTimer(context);
    m_review->setInterval(ReviewIntervalMs);
    QObject::connect(m_review, &QTimer::timeout, context, [this] { review(); });
}

XmppChatTransport::~XmppChatTransport()
{
    stop();
    if (m_thread.isRunning()) {
        QMetaObject::invokeMethod(
            m_session, [session = m_session] { delete session; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    } else {
        delete m_session;
    }
}

template <typename Call> void XmppChatTransport::post(Call call)
{
    QMetaObject::invokeMethod(
        m_session, [session = m_session, call] { call(*session); }, Qt::QueuedConnection);
}

void XmppChatTransport::start()
{
    if (!m_thread.isRunning())
        m_thread.start();
    m_review->start();
    review();
}

void XmppChatTransport::stop()
{
    m_review->stop();
    if (m_active && m_thread.isRunning())
        QMetaObject::invokeMethod(
            m_session, [session = m_session] { session->close(); }, Qt::BlockingQueuedConnection);
    m_active = false;
    m_remoteLog.flush(QDateTime::currentDateTime());
}

QString XmppChatTransport::state() const
{
    const ChatTransportInfo &chosen = chosenChatTransport(m_preferences);
    if (chosen.route != ChatRoute::Xmpp)
        return QString::fromLatin1(chosen.name);
    if (!m_active)
        return m_reportedProblem.isEmpty() ? QStringLiteral("xmpp, not started")
                                           : QStringLiteral("xmpp, cannot start: %1").arg(m_reportedProblem);
    const QString since = m_linkChangedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (m_linkUp)
        return QStringLiteral("xmpp, connected as %1 since %2").arg(m_account.jid, since);
    const QString tries = m_failedTries > 0
                              ? QStringLiteral(" (%1 %2 failed)").arg(m_failedTries).arg(m_failedTries == 1 ? "try has" : "tries have")
                              : QString();
    if (m_linkChangedAt.isValid() && m_everUp)
        return QStringLiteral("xmpp, disconnected since %1; logging in again as %2%3").arg(since, m_account.jid, tries);
    return QStringLiteral("xmpp, logging in as %1%2").arg(m_account.jid, tries);
}

void XmppChatTransport::review()
{
    if (!m_thread.isRunning())
        return;
    const bool wanted = chosenChatTransport(m_preferences).route == ChatRoute::Xmpp;
    const XmppAccount account = wanted ? readXmppAccount(m_preferences) : XmppAccount();
    if (wanted && !account.usable()) {
        if (m_reportedProblem != account.error)
            m_log(QStringLiteral("Wendle Error: chat by XMPP cannot start: %1").arg(account.error));
        m_reportedProblem = account.error;
    } else {
        m_reportedProblem.clear();
    }
    const bool active = wanted && account.usable();
    if (active == m_active && (!active || account == m_account))
        return;
    m_active = active;
    m_account = account;
    m_linkUp = m_everUp = false;
    m_failedTries = 0;
    m_linkChangedAt = QDateTime();
    if (active)
        post([account](XmppSession &session) { session.open(account); });
    else
        post([](XmppSession &session) { session.close(); });
}

bool XmppChatTransport::send(const OutgoingChat &chat, const QString &)
{
    review();
    if (!m_active)
        return false;
    post([chat](XmppSession &session) { session.send(chat); });
    return true;
}

void XmppChatTransport::received(const QString &from, const QString &text)
{
    const QString remote = bareAddress(m_preferences.stringValue(RBRemoteChatAddress));
    const QString sender = bareAddress(from);
    if (!remote.isEmpty() && sender == remote) {
        if (m_inbound)
            m_inbound(from, text);
        return;
    }
    ++m_ignored;
    if (m_strangersReported.size() < MostStrangersNamed && !m_strangersReported.contains(sender)) {
        m_strangersReported.insert(sender);
        m_log(QStringLiteral("Wendle Log Update:  ignored a chat message from %1, which is not the remote chat address "
                             "(%2 ignored so far)")
                  .arg(sender.left(200))
                  .arg(m_ignored));
    }
}

} // namespace wendle
