#include "support/WendleInstance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.com");
const QString ExceededText = QStringLiteral("Wendle: the hourly command limit has been reached. Please try again later.");

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!session.isReady())
            GTEST_SKIP() << "dbus-daemon is not available; scripts/install-deps installs it";
    }
    void configure(const QString &key, const QString &value)
    {
        ASSERT_EQ(session.runWendle({QStringLiteral("config"), QStringLiteral("set"), key, value}), 0) << key.toStdString();
    }
    int entriesOf(const QString &text) const { return session.logText().count(text); }

    // A direct call on the session's bus, for payloads no command line can carry.
    bool callInbound(const QString &method, const QVariantMap &arguments)
    {
        QDBusConnection bus = QDBusConnection::connectToBus(session.busAddress(), QStringLiteral("test"));
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.wendle.Wendle"), QStringLiteral("/org/wendle/Wendle"),
                                                           QStringLiteral("org.wendle.Wendle.Inbound"), method);
        call << arguments;
        const QDBusMessage reply = bus.call(call, QDBus::Block, 60000);
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    TestSession session;
};

} // namespace

TEST_F(DaemonTest, StartsOnceLogsCommandsAndShutsDownOnSigterm)
{
    ASSERT_TRUE(session.startDaemon());
    QByteArray errors;
    EXPECT_EQ(session.runWendle({QStringLiteral("run"), QStringLiteral("--headless")}, nullptr, &errors), 1);
    EXPECT_TRUE(errors.contains("already running")) << errors.constData();

    EXPECT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), Owner,
                                 QStringLiteral("wndl"), QStringLiteral("email")}), 0);
    EXPECT_EQ(session.runProgram(QStringLiteral("gdbus"),
                                 {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"), QStringLiteral("org.wendle.Wendle"),
                                  QStringLiteral("--object-path"), QStringLiteral("/org/wendle/Wendle"), QStringLiteral("--method"),
                                  QStringLiteral("org.wendle.Wendle.Inbound.InboundMessage"),
                                  QStringLiteral("{'FromAddress': <'Owner <OWNER@example.com>'>, 'MessageText': <'Please wndl email'>}")}), 0);
    EXPECT_TRUE(waitFor([&] { return entriesOf(QStringLiteral("Processing command from")) == 2; }));
    EXPECT_TRUE(session.logText().contains(QStringLiteral("Processing command from Owner <OWNER@example.com>")));

    // A stranger's message leaves no trace.
    EXPECT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"),
                                 QStringLiteral("eve@example.org"), QStringLiteral("wndl email")}), 0);
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(entriesOf(QStringLiteral("Processing command from")), 2);
    EXPECT_TRUE(session.logText().endsWith(QStringLiteral(": Wendle shut down")));
}

TEST_F(DaemonTest, SendWithoutARunningInstanceFailsClearly)
{
    QByteArray errors;
    EXPECT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), Owner, QStringLiteral("wndl")}, nullptr, &errors), 1);
    EXPECT_TRUE(errors.contains("not running")) << errors.constData();
    EXPECT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--from"), Owner, QStringLiteral("wndl")}), 2);
    EXPECT_EQ(session.runWendle({QStringLiteral("bogus")}), 2);
    QByteArray help;
    EXPECT_EQ(session.runWendle({QStringLiteral("--help")}, &help), 0);
    EXPECT_TRUE(help.contains("wendle send --mail|--chat"));
}

TEST_F(DaemonTest, OverTheLimitTheSenderGetsANoticeByMailAndByChat)
{
    configure(QStringLiteral("limitCommandsFlag"), QStringLiteral("true"));
    configure(QStringLiteral("maxCommandsPerHour"), QStringLiteral("1"));
    configure(QStringLiteral("limitNotificationFlag"), QStringLiteral("yes"));
    configure(QStringLiteral("remoteChatAddress"), QStringLiteral("owner@jabber.example"));
    ASSERT_TRUE(session.startDaemon());
    // The schedule command answers nothing, so the notice is the only mail.
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), Owner, QStringLiteral("wndl cal 12 may")}), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(QStringLiteral(".eml")).size() == 1; }));
    QFile eml(session.outboxFiles(QStringLiteral(".eml")).first());
    ASSERT_TRUE(eml.open(QIODevice::ReadOnly));
    const QString message = QString::fromUtf8(eml.readAll());
    EXPECT_TRUE(message.contains(QStringLiteral("\r\nTo: owner@example.com\r\n"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("From: computer@example.com\r\n")));
    EXPECT_TRUE(message.contains(QStringLiteral("Subject: Wendle Results\r\n")));
    EXPECT_TRUE(message.contains(ExceededText));

    ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--chat"), QStringLiteral("--from"), QStringLiteral("x"), QStringLiteral("wndl cal 12 may")}), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(QStringLiteral(".chat.json")).size() == 1; }));
    QFile chat(session.outboxFiles(QStringLiteral(".chat.json")).first());
    ASSERT_TRUE(chat.open(QIODevice::ReadOnly));
    const QJsonObject entry = QJsonDocument::fromJson(chat.readAll()).object();
    EXPECT_EQ(entry.value(QStringLiteral("handle")).toString(), QStringLiteral("owner@jabber.example"));
    EXPECT_EQ(entry.value(QStringLiteral("text")).toString(), ExceededText);
    EXPECT_EQ(session.stopDaemon(), 0);
}

TEST_F(DaemonTest, BadInputNeitherCrashesNorCorruptsTheLog)
{
    ASSERT_TRUE(session.startDaemon());
    QByteArray huge(10 * 1024 * 1024, 'a');
    huge.replace(0, 10, "x wndl fi ");
    const QVariantMap inputs[] = {
        {{QStringLiteral("FromAddress"), Owner}, {QStringLiteral("MessageText"), QString::fromLatin1(huge)}},
        {{QStringLiteral("FromAddress"), Owner}, {QStringLiteral("MessageText"), QByteArray("wndl \0 nul\xff\xfe bad", 19)}},
        {{QStringLiteral("FromAddress"), QStringLiteral("\"\\\"owner@example.com\\\\\" \"\"")}, {QStringLiteral("MessageText"), QStringLiteral("wndl \"quoted\\\"")}},
        {{QStringLiteral("FromAddress"), QByteArray("owner@example.com \xc3\x28")}, {QStringLiteral("MessageText"), QByteArray("wndl \xe2\x82")}},
        {{QStringLiteral("FromAddress"), 42}, {QStringLiteral("MessageText"), QVariantList{}}},
        {},
    };
    for (const QVariantMap &input : inputs) {
        EXPECT_TRUE(callInbound(QStringLiteral("InboundMessage"), input));
        EXPECT_TRUE(callInbound(QStringLiteral("InboundChat"), input));
    }
    EXPECT_TRUE(session.daemonRunning());
    EXPECT_TRUE(waitFor([&] { return entriesOf(QStringLiteral("Processing command")) >= 8; }));
    EXPECT_EQ(session.stopDaemon(), 0);

    QFile log(session.supportFolder() + QLatin1String("/wendle.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "the log is not valid UTF-8";
    EXPECT_TRUE(bytes.endsWith(": Wendle shut down"));
}
