// How long the owner waits for an answer: a command sent from the owner's
// chat account to a running Wendle logged in by XMPP, until the reply is in
// the owner's chat, against the same command handed over as mail until the
// mailed reply is in the outbox. Fifty commands each on loopback (a private
// Prosody and session bus); median and worst in milliseconds. The chat reply
// waits 0.5 s by design before it leaves.
#include "app/SendCommand.h"
#include "support/ProsodyServer.h"
#include "support/WendleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <strophe.h>

#include <algorithm>
#include <cstdio>

using namespace wendle::test;

namespace {

constexpr int Commands = 50;
constexpr qint64 GiveUpMs = 20000;

// The owner's phone: a plain libstrophe client that counts Wendle's replies.
struct Phone {
    xmpp_ctx_t *ctx = xmpp_ctx_new(nullptr, nullptr);
    xmpp_conn_t *conn = xmpp_conn_new(ctx);
    bool connected = false;
    int replies = 0;

    static int onMessage(xmpp_conn_t *, xmpp_stanza_t *stanza, void *self)
    {
        if (xmpp_stanza_get_child_by_name(stanza, "body"))
            ++static_cast<Phone *>(self)->replies;
        return 1;
    }
    static void onConnection(xmpp_conn_t *conn, xmpp_conn_event_t event, int, xmpp_stream_error_t *, void *self)
    {
        Phone *phone = static_cast<Phone *>(self);
        phone->connected = event == XMPP_CONN_CONNECT;
        if (!phone->connected)
            return;
        xmpp_handler_add(conn, &Phone::onMessage, nullptr, "message", nullptr, phone);
        xmpp_stanza_t *presence = xmpp_presence_new(phone->ctx);
        xmpp_send(conn, presence);
        xmpp_stanza_release(presence);
    }
    bool runUntil(const std::function<bool()> &condition)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > GiveUpMs)
                return false;
            xmpp_run_once(ctx, 1);
        }
        return true;
    }
    bool login(const QString &address)
    {
        xmpp_conn_set_flags(conn, XMPP_CONN_FLAG_TRUST_TLS);
        xmpp_conn_set_jid(conn, "owner@example.test/bench");
        xmpp_conn_set_pass(conn, "secret1");
        const QStringList hostPort = address.split(u':');
        xmpp_connect_client(conn, hostPort[0].toUtf8().constData(), hostPort[1].toUShort(), &Phone::onConnection, this);
        return runUntil([this] { return connected; });
    }
    void send(const char *text)
    {
        xmpp_stanza_t *message = xmpp_message_new(ctx, "chat", "computer@example.test", nullptr);
        xmpp_message_set_body(message, text);
        xmpp_send(conn, message);
        xmpp_stanza_release(message);
    }
    ~Phone()
    {
        xmpp_conn_release(conn);
        xmpp_ctx_free(ctx);
    }
};

void report(const char *name, QList<qint64> latencies)
{
    if (latencies.size() < Commands) {
        std::printf("%-34s a reply did not arrive within %lld s\n", name, static_cast<long long>(GiveUpMs / 1000));
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%-34s median %5lld ms   worst %5lld ms   (%d commands)\n", name,
                static_cast<long long>(latencies[latencies.size() / 2]), static_cast<long long>(latencies.last()),
                int(latencies.size()));
}

QList<qint64> byChat(const ProsodyServer &server)
{
    Phone phone;
    QList<qint64> latencies;
    if (!phone.login(server.address()))
        return latencies;
    for (int i = 0; i < Commands; ++i) {
        const int before = phone.replies;
        QElapsedTimer clock;
        clock.start();
        phone.send("wndl bogus");
        if (!phone.runUntil([&] { return phone.replies > before; }))
            break;
        latencies << clock.elapsed();
    }
    return latencies;
}

QList<qint64> byMail(const TestSession &session)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.busAddress().toUtf8());
    QList<qint64> latencies;
    for (int i = 0; i < Commands; ++i) {
        const qsizetype before = session.outboxFiles().size();
        QElapsedTimer clock;
        clock.start();
        QString error;
        if (!wendle::callInbound(false, {{"FromAddress", "owner@example.com"}, {"MessageText", "wndl bogus"}}, &error))
            break;
        while (session.outboxFiles().size() == before && clock.elapsed() < GiveUpMs)
            QThread::usleep(200);
        if (session.outboxFiles().size() == before)
            break;
        latencies << clock.elapsed();
    }
    return latencies;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!ProsodyServer::installed()) {
        std::puts("prosody or go-sendxmpp is not installed; scripts/install-deps installs them");
        return 1;
    }
    ProsodyServer server;
    TestSession session;
    if (!session.isReady() || !server.start()) {
        std::puts("the session bus or Prosody did not start");
        return 1;
    }
    const std::pair<const char *, QString> settings[] = {
        {"chatTransport", "xmpp"}, {"hostChatAddress", "computer@example.test"},
        {"hostChatPasswordCommand", "echo secret2"}, {"hostChatServer", server.address()},
        {"chatTrustedCertificate", server.certificate()}, {"remoteChatAddress", "owner@example.test"},
        {"limitCommandsFlag", "no"}};
    for (const auto &[key, value] : settings)
        session.configure(key, value);
    if (!session.startDaemon() || !waitFor([&] { return server.logins("computer") > 0; })) {
        std::puts("Wendle did not log in to chat");
        return 1;
    }
    QThread::sleep(1); // its presence and service discovery settle first
    xmpp_initialize();
    report("chat (XMPP, 500 ms designed delay)", byChat(server));
    report("mail (outbox)", byMail(session));
    session.stopDaemon();
    return 0;
}
