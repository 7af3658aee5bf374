// How soon a command dropped into the mailbox reaches the intake: through
// IMAP IDLE, and through polling once a second as the peer. Ten commands
// each, median and worst in milliseconds, against a private Dovecot.
#include "platform/mail/MailboxWatcher.h"
#include "support/Doubles.h"
#include "support/TestServers.h"
#include "support/WendleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace wendle;
using namespace wendle::test;

namespace {

constexpr int Commands = 10;

// Latencies in ms for Commands messages, or empty when one never arrived.
QList<qint64> measure(ImapTestServer &server, int pollSeconds, const QString &folder)
{
    MemoryPreferences preferences;
    preferences.setValue("imapUrl", server.url());
    preferences.setValue("imapFolder", folder);
    preferences.setValue("imapUser", ImapTestServer::user());
    preferences.setValue("imapPasswordCommand", QStringList{"printf", "%s", ImapTestServer::password()});
    preferences.setValue("imapPollSeconds", pollSeconds);
    preferences.setValue("remoteEmailAddress", "owner@example.com");
    // The folder exists before the watcher looks; its mail is not a command.
    server.deliver("From: friend@example.org\r\nSubject: hello\r\n\r\nhi\r\n", folder);
    QTemporaryDir attachments;
    int handled = 0;
    MailboxWatcher watcher(preferences, attachments.path(), [&](const InboundMail &) { ++handled; return true; }, {});
    watcher.start();
    QList<qint64> latencies;
    for (int i = 0; i < Commands; ++i) {
        // Let the watcher settle into its wait (IDLE or the pause between polls).
        waitFor([] { return false; }, 1500);
        QElapsedTimer clock;
        clock.start();
        server.deliver("From: owner@example.com\r\nSubject: c\r\n\r\nwndl help " + QByteArray::number(i) + "\r\n", folder);
        if (!waitFor([&] { return handled == i + 1; }, 30000))
            return {};
        latencies << clock.elapsed();
    }
    watcher.stop();
    return latencies;
}

void report(const char *name, QList<qint64> latencies)
{
    if (latencies.isEmpty()) {
        std::printf("%-28s a command did not arrive within 30 s\n", name);
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%-28s median %5lld ms   worst %5lld ms   (%d commands)\n", name, static_cast<long long>(latencies[latencies.size() / 2]),
                static_cast<long long>(latencies.last()), int(latencies.size()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!ImapTestServer::installed()) {
        std::puts("dovecot is not installed; scripts/install-deps installs it");
        return 1;
    }
    ImapTestServer server;
    if (!server.start()) {
        std::puts("Dovecot did not start");
        return 1;
    }
    report("IDLE (polls an hour apart)", measure(server, 3600, "Idle"));
    report("polling every second", measure(server, 1, "Polled"));
    return 0;
}
