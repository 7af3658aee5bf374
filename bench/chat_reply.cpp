// How long the owner waits for an answer by chat: the owner's phone sends a
// command with go-sendxmpp to a running Wendle logged in by XMPP, until the
// reply shows in the owner's chat (a go-sendxmpp listening as the owner). The
// peer is the chat system alone: the same go-sendxmpp message from another
// account straight to the owner's listener. A private Prosody and session bus
// on loopback; runs paired, medians and spreads in milliseconds. The chat reply
// waits 0.5 s by design before it leaves.
//
//   build/bench/bench_chat_reply [rounds]   (default 30)

#include "road.h"

#include "support/ProsodyServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace wendle::bench;
using namespace wendle::test;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    if (!ProsodyServer::installed()) {
        std::puts("prosody or go-sendxmpp is not installed; scripts/install-deps installs them");
        return 1;
    }
    ProsodyServer server;
    WendleDaemon wendle(QStringLiteral(WENDLE_BINARY));
    if (!wendle.busReady() || !server.start()) {
        std::puts("the session bus or Prosody did not start");
        return 1;
    }
    const std::pair<const char *, QString> settings[] = {{"chatTransport", "xmpp"},
                                                         {"hostChatAddress", "computer@example.test"},
                                                         {"hostChatPasswordCommand", "echo secret2"},
                                                         {"hostChatServer", server.address()},
                                                         {"chatTrustedCertificate", server.certificate()},
                                                         {"remoteChatAddress", "owner@example.test"},
                                                         {"limitCommandsFlag", "no"}};
    for (const auto &[key, value] : settings)
        wendle.configure(key, value);
    if (!wendle.start()) {
        std::puts("Wendle did not start");
        return 1;
    }
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const auto goSendxmpp = [&](const char *user, const char *password, const QStringList &more) {
        return QStringList{"go-sendxmpp", "-n", "-u", QString::fromLatin1(user) + "@example.test", "-p", password, "-j", server.address()}
               + more;
    };
    OutputWatch phone;
    if (!phone.start(goSendxmpp("owner", "secret1", {"-l"}), environment)) {
        std::puts("the owner's listening go-sendxmpp did not start");
        return 1;
    }
    QTemporaryDir scratch;
    const QString message = scratch.filePath(QStringLiteral("message"));
    int serial = 0;
    // A message from a third account until the owner's listener shows it.
    const auto peer = [&]() -> std::optional<double> {
        QFile file(message);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        const QByteArray text = "ping " + QByteArray::number(++serial);
        file.write(text + '\n');
        file.close();
        Spawned sender;
        const double start = nowMs();
        if (!sender.start(goSendxmpp("eve", "secret3", {"owner@example.test"}), environment, message))
            return std::nullopt;
        const std::optional<double> shown = phone.next(text, ReplyWaitMs);
        sender.wait();
        return shown ? std::optional<double>(*shown - start) : std::nullopt;
    };
    // The listener is logged in once a message reaches it; Wendle once it answers.
    if (!peer()) {
        std::printf("the owner's listener got nothing: %s\n", phone.seen().constData());
        return 1;
    }
    const auto command = [&]() -> std::optional<double> {
        QFile file(message);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("wndl bogus\n");
        file.close();
        Spawned sender;
        const double start = nowMs();
        if (!sender.start(goSendxmpp("owner", "secret1", {"computer@example.test"}), environment, message))
            return std::nullopt;
        const std::optional<double> shown = phone.next("computer@example.test", ReplyWaitMs);
        sender.wait();
        return shown ? std::optional<double>(*shown - start) : std::nullopt;
    };
    if (!command()) {
        std::printf("Wendle did not answer by chat: %s\n", phone.seen().constData());
        return 1;
    }
    const std::vector<Road> roads = {
        {"go-sendxmpp command → reply in the owner's chat", command},
        {"go-sendxmpp message → owner's chat (peer)", peer},
    };
    printFigures(QStringLiteral("a chat command until its reply shows in the owner's chat (500 ms designed delay), %1 rounds").arg(rounds),
                 runPaired(roads, rounds));
    wendle.stop();
    return 0;
}
