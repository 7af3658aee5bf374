#include "support/McabberClient.h"
#include "support/ProsodyServer.h"
#include "support/TestFiles.h"
#include "support/WendleInstance.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.test");

using ChatScriptTest = SessionTest;

} // namespace

// Which messages the script hands over is ChatScriptInstaller's test, and
// the road through it to the running Wendle the mcabber test's below. Without
// a chat program the answer waits in the outbox, addressed to the owner.
TEST_F(ChatScriptTest, TheScriptIsMadeForTheOwnersAddressAndTheAnswerWaitsInTheOutbox)
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
    EXPECT_EQ(session.send(Owner, "wndl bogus", "--chat"), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(".chat.json").size() == 1; }));
    const QJsonObject reply = QJsonDocument::fromJson(readFile(session.outboxFiles(".chat.json").first())).object();
    EXPECT_EQ(reply.value("handle").toString(), Owner);
    EXPECT_TRUE(reply.value("text").toString().contains("find named budget"));
    EXPECT_EQ(session.stopDaemon(), 0);
}

// The whole road with the real chat program: mcabber, logged in as the
// computer's account, runs the generated script for each message, and Wendle
// answers through mcabber's FIFO. The script finds the wendle that wrote it
// without WENDLE and without wendle on the PATH.
TEST_F(ChatScriptTest, TheOwnersChatIsAnsweredThroughMcabber)
{
    if (!ProsodyServer::installed() || !McabberClient::installed())
        GTEST_SKIP() << "prosody, go-sendxmpp or mcabber is missing; scripts/install-deps installs them";
    ProsodyServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(
        session.configure({{"remoteChatAddress", "Owner@Example.test"}, {"chatTransport", "mcabber"}, {"limitCommandsFlag", "no"}}));
    ASSERT_EQ(session.runWendle({"chat-script"}), 0);
    const QString script = session.supportFolder() + "/chat/WendleChat";
    EXPECT_TRUE(readFile(script).contains("\nprogram='" + QFileInfo(WENDLE_BINARY).canonicalFilePath().toUtf8() + "'\n"));
    ASSERT_TRUE(session.startDaemon());

    QProcessEnvironment environment = session.environment();
    environment.remove("WENDLE");
    environment.insert("PATH", "/usr/bin:/bin");
    McabberClient mcabber;
    ASSERT_TRUE(mcabber.start(server, session.home(), script, environment));
    OwnerPhone phone(server);
    ASSERT_TRUE(phone.ready());

    ASSERT_EQ(server.send("eve", "wndl"), 0);
    ASSERT_EQ(server.send("owner", "wndl"), 0);
    ASSERT_TRUE(phone.waitFor("-Tavo")) << phone.received().toStdString() << mcabber.traceLog().toStdString();
    const QString received = phone.received();
    EXPECT_EQ(received.mid(received.indexOf("computer@")).toStdString(),
              "computer@example.test: Wendle Syntax Error!  Commands (start with wndl):\n"
              "find named budget\nfind containing dear sir\nfind and send to a@b.com named budget\n"
              "473 (a code from a list)\nemail / email to a@b.com\nlaunch backup (your script)\n"
              "itunes / iphoto / ichat\nfax 5551234 named resume\nsnapshot / snapshot to a@b.com\n"
              "cal 12 may 2027\nSent by Wendle!   -Tavo\n")
        << received.toStdString();
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(session.logText().count("Processing command received by chat"), 1);
    EXPECT_TRUE(session.outboxFiles(".chat.json").isEmpty());
    EXPECT_TRUE(QDir(session.home() + "/.mcabber/events").isEmpty()) << "each message file is the script's to remove";
}
