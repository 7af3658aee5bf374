#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.test");

class ChatScriptTest : public SessionTest {
protected:
    // Runs the handler script the way mcabber does, with the message text in
    // a file of its own; the script finds wendle through WENDLE.
    int deliverEvent(const QString &script, const QString &jid, const QByteArray &text)
    {
        const QString file = session.home() + QStringLiteral("/event-%1").arg(++m_events);
        writeFile(file, text);
        return session.runProgram("/bin/sh", {"-c", "WENDLE=\"$0\" exec \"$1\" MSG IN \"$2\" \"$3\"",
                                              QStringLiteral(WENDLE_BINARY), script, jid, file});
    }
    int m_events = 0;
};

} // namespace

TEST_F(ChatScriptTest, TheGeneratedScriptHandsTheOwnersChatToTheRunningWendle)
{
    QByteArray output, errors;
    EXPECT_EQ(session.runWendle({"chat-script"}, &output, &errors), 1) << "no remote chat address yet";
    EXPECT_TRUE(errors.contains("no remote chat address is set")) << errors.constData();

    ASSERT_TRUE(session.configure("remoteChatAddress", Owner));
    ASSERT_EQ(session.runWendle({"chat-script"}, &output, &errors), 0) << errors.constData();
    const QString script = session.supportFolder() + "/chat/WendleChat";
    EXPECT_TRUE(output.contains("set events_command = " + script.toUtf8())) << output.constData();
    EXPECT_TRUE(errors.contains("iChat Script Created")) << errors.constData();

    ASSERT_TRUE(session.startDaemon());
    // A stranger's message never reaches Wendle; the owner's does, and the
    // answer to its syntax error goes back by chat.
    EXPECT_EQ(deliverEvent(script, "eve@example.test", "wndl bogus"), 0);
    EXPECT_EQ(deliverEvent(script, "Owner@Example.test/phone", "wndl bogus"), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(".chat.json").size() == 1; }));
    const QJsonObject reply = QJsonDocument::fromJson(readFile(session.outboxFiles(".chat.json").first())).object();
    EXPECT_EQ(reply.value("handle").toString(), Owner);
    EXPECT_TRUE(reply.value("text").toString().contains("find named budget"));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count("Processing command received by chat"), 1);
}
