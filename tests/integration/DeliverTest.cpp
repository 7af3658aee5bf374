#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

#include <QRandomGenerator>
#include <QThread>

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
    QByteArray message = "From: Owner <owner@example.com>\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
                         "Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\nContent-Type: application/octet-stream\r\n"
                         "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=big.bin\r\n\r\n";
    const QByteArray encoded = randomBytes(attachmentBytes, 3).toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        message += encoded.mid(i, 76) + "\r\n";
    return message + "--B\r\nContent-Type: text/plain\r\n\r\n" + command + "\r\n--B--\r\n";
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

QByteArray withId(const QByteArray &id, const QByteArray &from, const QByteArray &command)
{
    return "From: " + from + "\r\nMessage-ID: <" + id + ">\r\nSubject: x\r\n\r\n" + command + "\r\n";
}

} // namespace

TEST_F(DeliverTest, RefusesDeepOrCrowdedMimeAndDeliversEachMessageOnce)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    struct Case { const char *name; QByteArray message; int exitCode; const char *error; };
    const Case cases[] = {
        {"5000 deep", nested(5000, "wndl find named deep5000"), 65, "more than 1000 MIME parts"},
        {"40 deep", nested(40, "wndl find named deep40"), 65, "nested more than 32 deep"},
        {"20 deep", nested(20, "wndl find named deep20"), 0, nullptr},
        {"first delivery", withId("once@example.com", "owner@example.com", "wndl find named onceterm"), 0, nullptr},
        {"second delivery", withId("once@example.com", "owner@example.com", "wndl find named onceterm"), 0, nullptr},
        {"bounce", "Auto-Submitted: auto-replied\r\n" + withId("b@x", "owner@example.com", "wndl find named bounceterm"), 0, "Auto-Submitted"},
    };
    for (const Case &c : cases) {
        QByteArray errors;
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, &errors, c.message), c.exitCode) << c.name;
        if (c.error) {
            EXPECT_TRUE(errors.contains(c.error)) << c.name << ": " << errors.constData();
        }
    }
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("files named:  onceterm"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);
    // Across a restart the Message-ID is still known.
    ASSERT_TRUE(session.startDaemon());
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, cases[4].message), 0);
    EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, withId("last@x", "owner@example.com", "wndl find named lastterm")), 0);
    ASSERT_TRUE(waitFor([&] { return session.logText().contains("files named:  lastterm"); }, WaitMs));
    EXPECT_EQ(session.stopDaemon(), 0);

    const QString log = session.logText();
    EXPECT_EQ(log.count("files named:  onceterm"), 1);
    EXPECT_TRUE(log.contains("files named:  deep20"));
    for (const char *never : {"deep5000", "deep40", "bounceterm"})
        EXPECT_FALSE(log.contains(never)) << never;
}

TEST_F(DeliverTest, AttachmentsStayOnlyWhileAnAcceptedCommandRuns)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const QString folder = session.supportFolder() + "/attachments";
    const QByteArray picture = randomBytes(1 << 20, 5);
    QByteArray stranger = mailWithAttachment("wndl find named strangerterm", picture, "a.bin");
    stranger.replace("owner@example.com", "eve@example.org");
    struct Case { const char *name; QByteArray message; const char *logged; };
    const Case cases[] = {
        {"refused sender", stranger, nullptr},
        {"no command", mailWithAttachment("hello, just a picture", picture, "b.bin"), nullptr},
        {"accepted command", mailWithAttachment("wndl find named ownerterm", picture, "c.bin"), "files named:  ownerterm"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(session.runWendle({"deliver"}, nullptr, nullptr, c.message), 0) << c.name;
        if (c.logged) {
            EXPECT_TRUE(waitFor([&] { return session.logText().contains(c.logged); }, WaitMs)) << c.name;
        }
        // Done with: nothing of it is left.
        EXPECT_TRUE(waitFor([&] { return QDir(folder).entryList(QDir::Files).isEmpty(); }, WaitMs))
            << c.name << ": " << str(QDir(folder).entryList(QDir::Files).join(' '));
    }
    EXPECT_EQ(session.stopDaemon(), 0);
}
