#include "support/ParsedMail.h"
#include "support/ScratchDisk.h"
#include "support/WendleInstance.h"

#include <QDirIterator>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

QByteArray message(const QByteArray &headers, const QByteArray &term)
{
    return headers + "Subject: x\r\n\r\nwndl find named " + term + "\r\n";
}

using OwnerOnlyTest = SessionTest;

} // namespace

// The sender checks on the road: the Sender header, the Authentication-Results
// in their order, the Date header and the secret reach the intake whole from
// `wendle deliver`. Each check's table is MailIntakeTest.SenderChecksAddToTheAddressTest.
TEST_F(OwnerOnlyTest, OptionalSenderChecksAddToTheAddressTest)
{
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"},
                                   {"authservId", "mx.owner.example"},
                                   {"strictSenderMatch", "yes"},
                                   {"requireAuthenticatedSender", "yes"},
                                   {"commandSecret", "Open-Sesame"},
                                   {"maxCommandAgeMinutes", "60"}}));
    ASSERT_TRUE(session.startDaemon());
    const QByteArray pass = "Authentication-Results: mx.owner.example; dkim=pass header.d=example.org\r\n";
    const QByteArray fail = "Authentication-Results: mx.owner.example; dkim=fail header.d=example.org\r\n";
    const QByteArray from =
        "From: =?utf-8?b?" + QByteArray("Bob\n2026-12-06 (10:00:00): Wendle shut down").toBase64() + "?= <owner@example.org>\r\n";
    const QByteArray owner = from + "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8() + "\r\n";
    const struct {
        QByteArray headers;
        const char *term;
        QString refusal;
    } cases[] = {
        {owner + "Sender: owner@example.org\r\n" + pass + fail, "roadowner", {}},
        {owner + "Sender: attacker@evil.example\r\n" + pass, "bysender",
         "the message was sent by attacker@evil.example on behalf of owner@example.org"},
        {owner + fail + pass, "forgedbelow",
         "no Authentication-Results header from mx.owner.example shows dkim=pass or spf=pass for example.org"},
        {"From: owner@example.org, attacker@evil.example\r\n" + pass, "twomailboxes",
         "the sender names 2 addresses; a command must come from one"},
        {from + "Date: the day after tomorrow\r\n" + pass, "baddate", "the Date header \"the day after tomorrow\" does not parse"},
    };
    for (const auto &c : cases) {
        const QByteArray mail = c.headers + "Subject: x\r\n\r\nwndl open-sesame find named " + c.term + "\r\n";
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, mail), 0) << c.term;
    }
    ASSERT_TRUE(waitFor(
        [&] { return session.logText().contains("files named:  roadowner") && session.logText().count("was refused") == 4; }, WaitMs))
        << str(session.logText());
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    for (const auto &c : cases) {
        EXPECT_EQ(log.contains(QStringLiteral("files named:  ") + c.term), c.refusal.isEmpty()) << c.term;
        EXPECT_TRUE(c.refusal.isEmpty() || log.contains("was refused: " + c.refusal)) << c.term;
    }
    EXPECT_FALSE(log.contains("\n2026-12-06 (10:00:00): Wendle shut down")) << "a sender writes no lines of its own";
    EXPECT_FALSE(log.contains("sesame", Qt::CaseInsensitive)) << "the secret is never logged";
    // Answers go to the one address of the mailbox, never to what its name says.
    ASSERT_EQ(session.outboxFiles().size(), 1);
    const ParsedMail reply = parseMail(readFile(session.outboxFiles().first()));
    EXPECT_EQ(reply.to, QStringList{"owner@example.org"}) << str(reply.headers.value("to"));
    EXPECT_TRUE(reply.cc.isEmpty());
}

// Whoever forges the example addresses of the defaults is no owner, on
// any road; the mailbox watcher waits until the owner set real ones.
TEST_F(OwnerOnlyTest, TheExampleAddressesGiveNoCommands)
{
    ASSERT_TRUE(session.configure({{"imapUrl", "imap://127.0.0.1:9/INBOX"}, {"limitCommandsFlag", "no"}}));
    ASSERT_EQ(session.runWendle({"config", "unset", "remoteEmailAddress"}), 0);
    ASSERT_EQ(session.runWendle({"config", "unset", "phoneEmailAddress"}), 0);
    ASSERT_TRUE(session.startDaemon());
    // The example addresses the defaults name.
    EXPECT_EQ(session.send("Owner <owner@example.com>", "wndl find named bybus"), 0);
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, message("From: 5551234567@txt.example.com\r\n", "bydeliver")), 0);
    QByteArray status;
    EXPECT_EQ(session.runWendle({"status"}, &status), 0);
    EXPECT_TRUE(status.contains("not reading imap://127.0.0.1:9/INBOX: the allowed senders are still the example addresses"))
        << status.constData();
    ASSERT_TRUE(waitFor([&] { return session.logText().count("are still the example addresses") >= 3; }, WaitMs)) << str(session.logText());

    // Set while Wendle runs: the watcher starts, and the owner's commands run.
    ASSERT_TRUE(session.configure({{"phoneEmailAddress", ""}, {"remoteEmailAddress", "me@owner.example"}}));
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("cannot read the mailbox"); }, WaitMs)) << str(session.logText());
    EXPECT_EQ(session.send("me@owner.example", "wndl find named bytheowner"), 0);
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("files named:  bytheowner"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    EXPECT_EQ(log.count("the mailbox watcher does not start"), 1);
    EXPECT_FALSE(log.contains("bybus") || log.contains("bydeliver")) << str(log);
}

TEST_F(OwnerOnlyTest, OneInstancePerDataFolderWhateverTheBus)
{
    ASSERT_TRUE(session.startDaemon());
    TestSession otherBus;
    ASSERT_TRUE(otherBus.isReady());
    QProcess second;
    QProcessEnvironment environment = session.environment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", otherBus.busAddress());
    second.setProcessEnvironment(environment);
    endWithTheTest(second);
    second.start(QStringLiteral(WENDLE_BINARY), {"run", "--headless"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 1);
    const QString errors = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("Wendle is already running for the data folder %1: process ").arg(session.supportFolder())))
        << str(errors);
    EXPECT_EQ(session.stopDaemon(), 0);
}

// Without a data folder it can write Wendle does not start: a command it took
// and could not keep would be lost unseen. A file where the folder belongs is
// the owner's and stays as it is.
TEST_F(OwnerOnlyTest, AnUnusableDataFolderStopsTheStartWithTheReason)
{
    const QString folder = session.supportFolder();
    ScratchDisk disk(session.home() + "/data");
    struct Case {
        const char *name;
        std::function<bool()> prepare;
        QString line;
    };
    const Case cases[] = {
        {"a file", [&] { return writeFile(folder, "the owner's notes"); },
         "wendle: the data folder " + folder + " is not a folder; Wendle leaves it alone. Move it away and start Wendle again\n"},
        {"a read-only disk",
         [&] { return QFile::remove(folder) && disk.mount("size=1m") && QDir().mkpath(folder) && disk.remount(MS_RDONLY); },
         "wendle: cannot write in the data folder " + folder
             + " (Read-only file system); Wendle keeps the commands it takes, "
               "its log and its outbox there and does not start without it\n"},
        {"a full disk", [&] { return disk.remount(0) && (disk.fill(), true); },
         "wendle: cannot write in the data folder " + folder
             + " (No space left on device); Wendle keeps the commands it takes, "
               "its log and its outbox there and does not start without it\n"},
    };
    for (const Case &c : cases) {
        if (!c.prepare()) {
            EXPECT_NE(::geteuid(), 0u) << c.name;
            GTEST_SKIP() << "a disk of its own for the data folder needs a mount namespace (root)";
        }
        QByteArray errors;
        EXPECT_EQ(session.runWendle({"run", "--headless"}, nullptr, &errors), 1) << c.name;
        EXPECT_TRUE(QString::fromUtf8(errors).contains(c.line)) << c.name << ": " << errors.constData();
        if (c.line.contains("is not a folder")) {
            EXPECT_EQ(readFile(folder), QByteArray("the owner's notes"));
        }
    }
    EXPECT_FALSE(QFile::exists(session.home() + "/data/wendle/wendle.log"));
}

namespace {

// Every entry under the folders that other users could read, traverse or write.
QStringList notPrivate(const QStringList &folders)
{
    QStringList open;
    for (const QString &folder : folders) {
        QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        QStringList paths{folder};
        while (entries.hasNext())
            paths << entries.next();
        for (const QString &path : paths) {
            struct stat status;
            if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISLNK(status.st_mode) && (status.st_mode & 077) != 0)
                open << QStringLiteral("%1 %2").arg(status.st_mode & 0777, 0, 8).arg(path);
        }
    }
    return open;
}

} // namespace

// Whatever the umask, what Wendle writes is its owner's alone; what an
// earlier version left readable is made private at the next start.
TEST_F(OwnerOnlyTest, FilesArePrivateWhateverTheUmask)
{
    const QString support = session.supportFolder();
    ASSERT_TRUE(writeFile(support + "/wendle.log", "-------------Wendle Log File-------------\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(support + "/wendle.log").constData(), 0644), 0);
    ASSERT_TRUE(writeFile(session.home() + "/Documents/bank.txt", "bank pin 4711\n"));
    const mode_t sessionUmask = ::umask(0); // the programs started below inherit it
    ASSERT_TRUE(session.configure({{"limitCommandsFlag", "no"}, {"commandSecret", "s3cret"}}));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(
        session.runWendle({"deliver"}, nullptr, nullptr, mailWithAttachment("wndl s3cret find containing bank pin", "picture", "a.jpg")),
        0);
    EXPECT_TRUE(waitFor([&] { return session.outboxFiles().size() == 1; }));
    QByteArray status;
    EXPECT_TRUE(waitFor([&] { return session.runWendle({"status"}, &status) == 0 && status.contains("search index: ready"); }))
        << status.constData();
    ::umask(sessionUmask);

    const QStringList wendleFolders{session.home() + "/.config/wendle", support, session.home() + "/.cache/wendle"};
    EXPECT_TRUE(QFile::exists(session.home() + "/.cache/wendle/search-index.sqlite"));
    EXPECT_EQ(notPrivate(wendleFolders), QStringList()) << "while running";
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(notPrivate(wendleFolders), QStringList());
    EXPECT_EQ(session.logText().count("were readable by other users; they are now private to you"), 1);

    // Tried as another user, with every folder above Wendle's open to all.
    if (::geteuid() != 0 || QStandardPaths::findExecutable("runuser").isEmpty())
        GTEST_SKIP() << "checking as a second user needs root and runuser";
    for (const QString &folder : {session.home(), session.home() + "/.config", session.home() + "/data", session.home() + "/.cache"})
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    for (const QString &folder : wendleFolders) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            EXPECT_NE(session.runProgram("runuser", {"-u", "nobody", "--", "cat", file}), 0) << str(file);
        }
        EXPECT_NE(session.runProgram("runuser", {"-u", "nobody", "--", "ls", folder}), 0) << str(folder);
    }
    EXPECT_EQ(session.runProgram("runuser", {"-u", "nobody", "--", "cat", session.home() + "/Documents/bank.txt"}), 0)
        << "the check itself can read what is open";
}
