#include "app/InboundLimits.h"
#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

#include <QRandomGenerator>
#include <QThread>

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
            while (deliver.bytesToWrite() > 0 && deliver.waitForBytesWritten(10000)) {
            }
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

// Text after a large attachment, the part a short read used to lose.
QByteArray attachmentThenCommand(qsizetype attachmentBytes, const QByteArray &command)
{
    return mailWithAttachment(command, randomBytes(attachmentBytes, 3), "big.bin", "application/octet-stream", true);
}

} // namespace

TEST_F(DeliverTest, ReadsAPipeToItsEndWhateverPiecesItComesIn)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    struct Case { const char *name; QByteArray message; int exitCode; const char *logged; };
    const Case cases[] = {
        {"3 MB attachment, command after it", attachmentThenCommand(3 << 20, "wndl find named afterterm"), 0, "files named:  afterterm"},
        {"larger than the bound", attachmentThenCommand(38 << 20, "wndl find named hugeterm"), 65, nullptr},
    };
    for (const Case &c : cases) {
        QByteArray errors;
        bool everythingWritten = false;
        EXPECT_EQ(deliverInPieces(c.message, &errors, &everythingWritten), c.exitCode) << c.name << ": " << errors.constData();
        EXPECT_TRUE(everythingWritten) << c.name << ": the writer got a broken pipe";
        if (c.logged) {
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(c.logged); }, WaitMs)) << c.name;
        } else {
            EXPECT_TRUE(errors.contains("larger than 50 MB")) << c.name << ": " << errors.constData();
        }
    }
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_FALSE(session.logText().contains("hugeterm"));
}

namespace {

QByteArray nested(int depth, const QByteArray &command)
{
    QByteArray head, tail;
    for (int i = 0; i < depth; ++i) {
        const QByteArray boundary = "b" + QByteArray::number(i);
        head += "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n";
        tail = "\r\n--" + boundary + "--\r\n" + tail;
    }
    return "From: owner@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n" + head
           + "Content-Type: text/plain\r\n\r\n" + command + tail;
}

QByteArray plainMessage(const QByteArray &headers, const QByteArray &body)
{
    return "To: computer@example.com\r\nSubject: x\r\nMIME-Version: 1.0\r\n" + headers + "\r\n" + body;
}

QByteArray withId(const QByteArray &id, const QByteArray &command)
{
    return "From: owner@example.com\r\nMessage-ID: <" + id + ">\r\nSubject: x\r\n\r\n" + command + "\r\n";
}

} // namespace

// Each message's command runs once, if it has one and its sender is the
// owner; what cannot be read is refused; no attachment outlives its command.
TEST_F(DeliverTest, RealMessagesReachTheRunningInstanceOnceAndBrokenOnesAreRefused)
{
    const QByteArray owner = "From: owner@example.com\r\n";
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, plainMessage(owner, "wndl find named early\r\n")), 75);
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const QByteArray picture = randomBytes(1 << 20, 5);
    QByteArray stranger = mailWithAttachment("wndl find named strangerterm", picture, "a.bin");
    stranger.replace("owner@example.com", "eve@example.org");
    const QByteArray once = withId("once@example.com", "wndl find named onceterm");
    // term: the file name searched for, logged when the command runs.
    struct Case { const char *name; QByteArray message; int exitCode; const char *error; const char *term; bool runs; };
    const Case cases[] = {
        {"attachment", mailWithAttachment("wndl find named attached", QByteArray(5000, '\x01'), "../../evil.bin"), 0, nullptr, "attached", true},
        {"html only", plainMessage(owner + "Content-Type: text/html\r\n", "<p>Please <b>wndl</b> find named htmlterm</p>"), 0, nullptr, "htmlterm", true},
        {"quoted-printable", plainMessage(owner + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                                          "wndl=20find named qpterm=\r\n"), 0, nullptr, "qpterm", true},
        {"base64", plainMessage(owner + "Content-Transfer-Encoding: base64\r\n", QByteArray("wndl find named b64term").toBase64()), 0, nullptr, "b64term", true},
        {"latin-1", plainMessage(owner + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n",
                                 "Gr\xfc\xdf" "e: wndl find named isoterm"), 0, nullptr, "isoterm", true},
        {"no From", plainMessage("", "wndl find named nofrom"), 65, nullptr, "nofrom", false},
        {"text past its bound", plainMessage(owner, "wndl find named longtext\r\n" + QByteArray(MaxInboundTextBytes, 'x')), 65,
         "the message text is longer than 1 MiB; it was not handed to Wendle", "longtext", false},
        {"garbage", QByteArray("\x00\xff\xfe garbage \x01\x02", 15), 65, nullptr, nullptr, false},
        {"5000 deep", nested(5000, "wndl find named deep5000"), 65, "more than 1000 MIME parts", "deep5000", false},
        {"40 deep", nested(40, "wndl find named deep40"), 65, "nested more than 32 deep", "deep40", false},
        {"20 deep", nested(20, "wndl find named deep20"), 0, nullptr, "deep20", true},
        {"first delivery", once, 0, nullptr, "onceterm", true},
        {"second delivery", once, 0, nullptr, nullptr, false},
        {"bounce", "Auto-Submitted: auto-replied\r\n" + withId("b@x", "wndl find named bounceterm"), 0, "Auto-Submitted", "bounceterm", false},
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
    for (const Case &c : cases) {
        if (c.term && !c.runs) {
            EXPECT_FALSE(log.contains(QLatin1String(c.term))) << c.name;
        }
    }
}
