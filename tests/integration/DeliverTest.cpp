#include "app/InboundLimits.h"
#include "platform/mail/AttachmentFile.h"
#include "support/ParsedMail.h"
#include "support/ScratchDisk.h"
#include "support/WendleInstance.h"

#include <QRandomGenerator>
#include <QThread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::test;

namespace {

constexpr int WaitMs = 30000;

class DeliverTest : public SessionTest {
protected:
    // `wendle deliver` fed through a real pipe in uneven pieces with pauses
    // between them, as a delivery agent copies a message it is still reading.
    int deliverInPieces(const QByteArray &message, QByteArray *errors, bool *everythingWritten)
    {
        QProcess deliver;
        deliver.setProcessEnvironment(session.environment());
        endWithTheTest(deliver);
        deliver.start(QStringLiteral(WENDLE_BINARY), {"deliver"});
        if (!deliver.waitForStarted(10000))
            return -1;
        QRandomGenerator pieces(7);
        for (qsizetype at = 0; at < message.size() && deliver.state() == QProcess::Running;) {
            const qsizetype size = pieces.bounded(1, 16384);
            deliver.write(message.mid(at, size));
            while (deliver.bytesToWrite() > 0 && deliver.waitForBytesWritten(10000)) {}
            at += size;
            if (pieces.bounded(8) == 0)
                QThread::msleep(2);
        }
        *everythingWritten = deliver.bytesToWrite() == 0 && deliver.error() != QProcess::WriteError;
        deliver.closeWriteChannel();
        if (!deliver.waitForFinished(60000))
            return -1;
        *errors = deliver.readAllStandardError();
        return deliver.exitStatus() == QProcess::NormalExit ? deliver.exitCode() : -1;
    }
};

QByteArray plainMessage(const QByteArray &headers, const QByteArray &body)
{
    return "To: computer@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n" + headers + "\r\n" + body;
}

QByteArray withId(const QByteArray &id, const QByteArray &command, const QByteArray &from = "owner@example.org")
{
    return "From: " + from + "\r\nMessage-ID: <" + id + ">\r\nSubject: x\r\n\r\n" + command + "\r\n";
}

} // namespace

// Each message's command runs once, if it has one and its sender is the
// owner; what cannot be read is refused; no attachment outlives its command.
// The text of each encoding and shape is InboundMessage's test, and what is
// read of it (nesting, quotes) MailIntakeTest's: here one encoded message
// shows the road.
TEST_F(DeliverTest, RealMessagesReachTheRunningInstanceOnceAndBrokenOnesAreRefused)
{
    const QByteArray owner = "From: owner@example.org\r\n";
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, plainMessage(owner, "wndl find named early\r\n")), 75);
    // The full program reads a message itself only when no Wendle runs, to
    // tell a broken one (bounced) from one to bring again.
    const QString fullProgram = QFileInfo(WENDLE_BINARY).path() + "/wendle-daemon";
    QByteArray said;
    EXPECT_EQ(session.runProgram(fullProgram, {"deliver"}, nullptr, &said, plainMessage(owner, "wndl find named early\r\n")), 75);
    EXPECT_TRUE(said.contains("wendle deliver: Wendle is not running (start it with: wendle run)\n")) << said.constData();
    EXPECT_EQ(session.runProgram(fullProgram, {"deliver"}, nullptr, nullptr, plainMessage("", "wndl find named early")), 65);
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.runProgram(fullProgram, {"deliver"}, nullptr, nullptr, plainMessage(owner, "wndl find named byfullprogram\r\n")), 0);
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("files named:  byfullprogram"); }, WaitMs));
    // Read to its end from a pipe, whatever pieces it comes in: the text after
    // a large attachment is the part a short read used to lose.
    for (const qsizetype megabytes : {3, 38}) {
        const QByteArray term = "afterterm" + QByteArray::number(megabytes);
        QByteArray errors;
        bool everythingWritten = false;
        const QByteArray message =
            mailWithAttachment("wndl find named " + term, randomBytes(megabytes << 20, 3), "big.bin", "application/octet-stream", true);
        EXPECT_EQ(deliverInPieces(message, &errors, &everythingWritten), megabytes == 3 ? 0 : 65) << errors.constData();
        EXPECT_TRUE(everythingWritten) << megabytes << " MB: the writer got a broken pipe";
        if (megabytes == 3) {
            EXPECT_TRUE(waitFor([&] { return session.logText().contains("files named:  " + term); }, WaitMs));
        } else {
            EXPECT_TRUE(errors.contains("larger than 50 MB")) << errors.constData();
        }
    }
    const QByteArray picture = randomBytes(1 << 20, 5);
    QByteArray stranger = mailWithAttachment("wndl find named strangerterm", picture, "a.bin");
    stranger.replace("owner@example.org", "eve@example.org");
    const QByteArray once = withId("once@example.com", "wndl find named onceterm");
    // term: the file name searched for, logged when the command runs.
    struct Case {
        const char *name;
        QByteArray message;
        int exitCode;
        const char *error;
        const char *term;
        bool runs;
    };
    const Case cases[] = {
        {"attachment", mailWithAttachment("wndl find named attached", QByteArray(5000, '\x01'), "../../evil.bin"), 0, nullptr, "attached",
         true},
        {"base64", plainMessage(owner + "Content-Transfer-Encoding: base64\r\n", QByteArray("wndl find named b64term").toBase64()), 0,
         nullptr, "b64term", true},
        {"text past its bound", plainMessage(owner, "wndl find named longtext\r\n" + QByteArray(MaxInboundTextBytes, 'x')), 65,
         "the message text is longer than 1 MiB; it was not handed to Wendle", "longtext", false},
        {"first delivery", once, 0, nullptr, "onceterm", true},
        {"second delivery", once, 0, nullptr, nullptr, false},
        // A stranger cannot use up the id of a command still to come.
        {"stranger's id", withId("taken@x", "wndl find named evetaken", "eve@example.org"), 0, nullptr, "evetaken", false},
        {"owner's same id", withId("taken@x", "wndl find named ownertaken"), 0, nullptr, "ownertaken", true},
        {"bounce", "Auto-Submitted: auto-replied\r\n" + withId("b@x", "wndl find named bounceterm"), 0, "Auto-Submitted", "bounceterm",
         false},
        {"refused sender", stranger, 0, nullptr, "strangerterm", false},
        {"no command", mailWithAttachment("hello, just a picture", picture, "b.bin"), 0, nullptr, nullptr, false},
    };
    const QString attachments = session.supportFolder() + "/attachments";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray errors;
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, &errors, c.message), c.exitCode);
        if (c.error) {
            EXPECT_TRUE(errors.contains(c.error)) << errors.constData();
        }
        if (c.runs) {
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(QStringLiteral("files named:  ") + c.term); }, WaitMs));
        }
        EXPECT_TRUE(waitFor([&] { return QDir(attachments).entryList(QDir::Files).isEmpty(); }, WaitMs))
            << str(QDir(attachments).entryList(QDir::Files).join(' '));
    }
    EXPECT_EQ(session.stopDaemon(), 0);
    // Across a restart the Message-ID is still known.
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, once), 0);
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, withId("last@x", "wndl find named lastterm")), 0);
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("files named:  lastterm"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QString log = session.logText();
    EXPECT_EQ(log.count("files named:  onceterm"), 1);
    EXPECT_FALSE(log.contains("afterterm38"));
    for (const Case &c : cases) {
        if (c.term && !c.runs) {
            EXPECT_FALSE(log.contains(QLatin1String(c.term))) << c.name;
        }
    }
}

namespace {

// `wendle deliver` reading the message from a file, so that many can run at
// once. deliverMeasured below starts it by fork and wait4 instead, only to read
// that one process's own rusage.
std::unique_ptr<QProcess> startDeliver(const QProcessEnvironment &environment, const QString &input)
{
    auto deliver = std::make_unique<QProcess>();
    deliver->setProcessEnvironment(environment);
    deliver->setStandardInputFile(input);
    endWithTheTest(*deliver);
    deliver->start(QStringLiteral(WENDLE_BINARY), {"deliver"});
    return deliver;
}

// Runs `wendle deliver` on the file to its end, for its exit code and its own
// peak size: wait4 gives that of one child alone (what getrusage gives for the
// children is the largest of all, and an earlier client may be larger).
std::pair<int, qint64> deliverMeasured(const QProcessEnvironment &environment, const QString &input, const QString &errors)
{
    // Everything the child needs is made before the fork: after it, only
    // calls that are safe in a copy of a threaded process.
    QList<QByteArray> pairs;
    for (const QString &entry : environment.toStringList())
        pairs << entry.toLocal8Bit();
    std::vector<char *> envp;
    for (QByteArray &pair : pairs)
        envp.push_back(pair.data());
    envp.push_back(nullptr);
    const QByteArray inputPath = QFile::encodeName(input), errorsPath = QFile::encodeName(errors);
    char program[] = WENDLE_BINARY, command[] = "deliver";
    char *argv[] = {program, command, nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(inputPath.constData(), O_RDONLY);
        const int err = ::open(errorsPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in >= 0 && err >= 0 && ::dup2(in, 0) >= 0 && ::dup2(err, 2) >= 0)
            ::execve(program, argv, envp.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return {-1, 0};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, qint64(usage.ru_maxrss) * 1024};
}

} // namespace

// Each part of the mail takes GMime some hundreds of bytes: 1.9 million of them
// once took 2.6 GB. The bound holds before GMime builds anything.
TEST_F(DeliverTest, AMessageOfMillionsOfUntypedPartsIsRefusedInLittleMemory)
{
    QTemporaryDir dir;
    const QByteArray head = "From: owner@example.org\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    const QByteArray message = head + QByteArray("--b\r\n\r\nwndl find named x\r\n").repeated(1900000) + "--b--\r\n";
    ASSERT_LT(message.size(), 50 << 20);
    ASSERT_TRUE(writeFile(dir.filePath("parts.eml"), message));
    const auto [exitCode, peakBytes] = deliverMeasured(session.environment(), dir.filePath("parts.eml"), dir.filePath("errors"));
    EXPECT_EQ(exitCode, 65);
    EXPECT_TRUE(readFile(dir.filePath("errors")).contains("more than 1000 MIME parts")) << readFile(dir.filePath("errors")).constData();
    EXPECT_LT(peakBytes, qint64(200) << 20);
}

// Deliveries that run together reserve their room in the attachment folder
// one at a time; those that find none still hand over their command.
TEST_F(DeliverTest, ParallelDeliveriesKeepTheAttachmentFolderWithinItsBound)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const QString attachments = session.supportFolder() + "/attachments";
    const auto folderBytes = [&] {
        qint64 total = 0;
        for (const QFileInfo &file : QDir(attachments).entryInfoList(QDir::Files | QDir::Hidden))
            total += file.size();
        return total;
    };
    // What earlier messages left: room for one attachment at a time.
    ASSERT_TRUE(writeFile(attachments + "/earlier.bin", {}, MaxAttachmentFolderBytes - (40 << 20)));
    QTemporaryDir dir;
    const QByteArray picture = randomBytes(30 << 20, 11);
    constexpr int Deliveries = 12;
    std::vector<std::unique_ptr<QProcess>> deliveries;
    for (int i = 0; i < Deliveries; ++i) {
        const QByteArray command = "wndl find named parallel" + QByteArray(1, char('a' + i));
        ASSERT_TRUE(writeFile(dir.filePath(QString::number(i)), mailWithAttachment(command, picture, "big.bin")));
    }
    for (int i = 0; i < Deliveries; ++i)
        deliveries.push_back(startDeliver(session.environment(), dir.filePath(QString::number(i))));
    qint64 largest = 0;
    while (std::any_of(deliveries.begin(), deliveries.end(), [](auto &delivery) { return delivery->state() != QProcess::NotRunning; })) {
        largest = std::max(largest, folderBytes());
        QCoreApplication::processEvents();
    }
    largest = std::max(largest, folderBytes());
    EXPECT_LE(largest, MaxAttachmentFolderBytes);
    for (int i = 0; i < Deliveries; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(deliveries[i]->exitCode(), 0) << deliveries[i]->readAllStandardError().constData();
        EXPECT_TRUE(
            waitFor([&] { return session.logText().contains(QStringLiteral("files named:  parallel") + QChar(u'a' + i)); }, WaitMs));
    }
    EXPECT_EQ(session.stopDaemon(), 0);
}

// A message Wendle cannot keep on disk is not taken: the delivery agent keeps
// it and tries again (exit 75), `wendle send` says so, and nothing is lost.
// The spool folder gets a small disk of its own, made read-only, then full.
TEST_F(DeliverTest, AMessageWendleCannotKeepStaysWithItsBringer)
{
    const QString spool = session.supportFolder() + "/inbox";
    ScratchDisk disk(spool);
    if (!disk.mount("size=64k"))
        GTEST_SKIP() << "a disk of its own for the spool folder needs a mount namespace (root)";
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const auto command = [](const char *term) {
        return QByteArray("From: owner@example.org\r\nSubject: x\r\n\r\nwndl find named ") + term + "\r\n";
    };
    struct Case {
        const char *disk;
        QByteArray reason;
    };
    const Case cases[] = {{"read-only", "Read-only file system"}, {"full", "No space left on device"}};
    for (const Case &c : cases) {
        ASSERT_TRUE(QByteArray(c.disk) == "full" ? disk.remount(0) && (disk.fill(), true) : disk.remount(MS_RDONLY)) << c.disk;
        QByteArray errors;
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, &errors, command(c.disk)), 75) << c.disk;
        EXPECT_TRUE(errors.contains("wendle deliver: Wendle cannot take the message now: cannot write in " + spool.toUtf8()))
            << errors.constData();
        EXPECT_TRUE(errors.contains(c.reason)) << c.disk << ": " << errors.constData();
        EXPECT_EQ(session.runWendle({"send", "--mail", "--from", "owner@example.org", "wndl", "find", "named", c.disk}, nullptr, &errors),
                  1);
        EXPECT_TRUE(errors.contains(c.reason)) << c.disk << ": " << errors.constData();
    }
    // Room again: the agent's next try is taken and runs.
    ASSERT_TRUE(QFile::remove(spool + "/filler"));
    QByteArray errors;
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, &errors, command("againwithroom")), 0)
        << errors.constData() << "\nin the spool: " << str(QDir(spool).entryList(QDir::AllEntries | QDir::Hidden).join(u' '))
        << "\nconsole: " << str(session.daemonConsole());
    EXPECT_TRUE(waitFor([&] { return session.logText().contains("files named:  againwithroom"); }, WaitMs)) << str(session.logText());
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.logText().contains("files named:  full") || session.logText().contains("files named:  read-only"));
}
