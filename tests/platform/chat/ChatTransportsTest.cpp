#include "platform/chat/ChatAdapters.h"
#include "platform/chat/McabberChatTransport.h"
#include "platform/chat/McabberCommands.h"
#include "settings/Settings.h"
#include "support/Doubles.h"
#include "support/QtApplication.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.test");
const QByteArray Prefix = "/say_to -q -e owner@example.test ";
const QString WordJoiner = QStringLiteral("\u2060");

// What mcabber 1.1 makes of the text of a /say_to -e command (its
// ut_unescape_tabs_cr), to check that every reply arrives as it was meant.
QString asMcabberSends(const QByteArray &command)
{
    const QString text = QString::fromUtf8(command.mid(Prefix.size()).chopped(1));
    QString sent;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        const QChar afterNext = i + 2 < text.size() ? text[i + 2] : QChar();
        if (text[i] == u'\\' && next == u'\\' && (afterNext == u'n' || afterNext == u't')) {
            sent += QLatin1String("\\n");
            i += 2;
        } else if (text[i] == u'\\' && (next == u'n' || next == u't')) {
            sent += next == u'n' ? u'\n' : u'\t';
            ++i;
        } else {
            sent += text[i];
        }
    }
    // Blanks at the ends go; the word joiners that hold them are invisible.
    while (sent.startsWith(u' '))
        sent.remove(0, 1);
    while (sent.endsWith(u' '))
        sent.chop(1);
    return sent.remove(WordJoiner);
}

class McabberTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApplication();
        preferences.setValue(RBMcabberFifo, fifo);
    }
    void TearDown() override
    {
        if (reader >= 0)
            ::close(reader);
    }
    bool makeFifo() { return ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0; }
    void openReader() { reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
    QByteArray readAll()
    {
        QByteArray all;
        char buffer[65536];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        return all;
    }
    bool send(const QString &text, const QString &file = QString()) { return transport.send({Owner, text, file}, QString()); }

    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("mcabber.fifo"));
    MemoryPreferences preferences;
    QStringList log;
    McabberChatTransport transport{preferences, [this](const QString &line) { log << line; }};
    int reader = -1;
};

} // namespace

// Nothing is written and nothing blocks until a FIFO with a reader is there;
// the replies wait, with one log line for the wait and one for its end.
TEST_F(McabberTransportTest, RepliesWaitUntilTheFifoHasAReader)
{
    // The problem's %1 is the path.
    const std::tuple<const char *, std::function<bool(const QString &path)>, QString> cases[] = {
        {"missing", [](const QString &) { return true; },
         "the FIFO %1 does not exist (is mcabber running, with fifo_name set and the fifo module loaded?)"},
        {"regular file", [](const QString &path) { return writeFile(path, "keep"); }, "%1 is not a FIFO; nothing is written into it"},
        {"link to a FIFO",
         [this](const QString &path) {
             return ::mkfifo(QFile::encodeName(dir.filePath("elsewhere")).constData(), 0600) == 0
                    && QFile::link(dir.filePath("elsewhere"), path);
         },
         "%1 is a symbolic link; mcabberFifo must name the FIFO itself"},
        {"no reader", [](const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
         "nothing reads the FIFO %1 (is mcabber running?)"},
    };
    for (const auto &[name, prepare, problem] : cases) {
        SCOPED_TRACE(name);
        QFile::remove(fifo);
        log.clear();
        ASSERT_TRUE(prepare(fifo));
        EXPECT_TRUE(send(QStringLiteral("first")));
        EXPECT_TRUE(send(QStringLiteral("second")));
        EXPECT_EQ(transport.waitingReplies(), 2);
        EXPECT_EQ(log, QStringList{"Wendle Error: chat replies wait for mcabber: " + QString(problem).arg(fifo)});
        if (QFileInfo(fifo).isFile() && !QFileInfo(fifo).isSymLink()) {
            EXPECT_EQ(readFile(fifo), "keep");
        }

        QFile::remove(fifo);
        ASSERT_TRUE(makeFifo());
        openReader();
        transport.flush();
        EXPECT_EQ(readAll(), Prefix + "first\n" + Prefix + "second\n");
        EXPECT_EQ(transport.waitingReplies(), 0);
        EXPECT_EQ(log.value(1), "Wendle Log Update:  mcabber reads its FIFO " + fifo + " again; 2 waiting chat replies were sent");
        ::close(reader);
        reader = -1;
    }
}

TEST_F(McabberTransportTest, RepliesArriveAsTheyWereMeant)
{
    ASSERT_TRUE(makeFifo());
    openReader();
    // Text and file of the reply, the one command written, what mcabber sends of it.
    struct Case {
        const char *name;
        QString text, file;
        QByteArray written;
        QString sent;
    };
    const Case cases[] = {
        {"lines", "471:  budget.txt\n472:  notes.txt", "", Prefix + "471:  budget.txt\\n472:  notes.txt\n",
         "471:  budget.txt\n472:  notes.txt"},
        {"line ends and control characters", QString::fromUtf8("a\r\nb\rc\u2028d\u2029e\x01\x1b[2J\x7f\xc2\x85\tf"), "",
         Prefix + "a\\nb\\nc\\nd\\ne[2J\tf\n", "a\nb\nc\nd\ne[2J\tf"},
        {"backslashes", "C:\\new\\temp\\\nx\\\\n", "", Prefix + "C:\\\\new\\\xe2\x81\xa0temp\\\xe2\x81\xa0\\nx\\\\\\n\n",
         "C:\\new\\temp\\\nx\\\\n"},
        {"blanks at the ends", "  indented ", "", Prefix + "\xe2\x81\xa0  indented \xe2\x81\xa0\n", "  indented "},
        {"a file goes as its path", "Wendle found it", "/home/me/a b.pdf", Prefix + "Wendle found it\\n/home/me/a b.pdf\n",
         "Wendle found it\n/home/me/a b.pdf"},
    };
    for (const auto &[name, text, file, written, sent] : cases) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(send(text, file));
        const QByteArray command = readAll();
        EXPECT_EQ(command, written);
        EXPECT_EQ(asMcabberSends(command), sent);
    }
    EXPECT_TRUE(log.isEmpty()) << log.join(u'\n').toStdString();

    // An address that would change the command is refused, not written.
    EXPECT_FALSE(transport.send({QStringLiteral("owner@example.test\n/quit"), QStringLiteral("x"), QString()}, QString()));
    EXPECT_EQ(log.value(0), "Wendle Error: a chat reply cannot go to mcabber for remoteChatAddress \"owner@example.test\n/quit\": "
                            "the address holds a blank, a quote, a backslash or a control character");
    EXPECT_TRUE(readAll().isEmpty());
}

// 64 KiB go as several commands of at most PIPE_BUF bytes, cut at line
// feeds; a pipe that fills up keeps the rest waiting, and nothing blocks.
TEST_F(McabberTransportTest, ALongReplyFillingThePipeWaitsForRoom)
{
    ASSERT_TRUE(makeFifo());
    openReader();
    ASSERT_GE(::fcntl(reader, F_SETPIPE_SZ, 4096), 4096);
    QString text;
    for (int line = 0; text.size() < 65536; ++line)
        text += QStringLiteral("%1: %2\n").arg(line).arg(QString(line % 97, u'x'));
    text += QString(9000, u'y'); // one line longer than a command

    ASSERT_TRUE(send(text));
    EXPECT_EQ(log,
              QStringList{"Wendle Error: chat replies wait for mcabber: mcabber does not read its FIFO " + fifo + " (the pipe is full)"});
    QByteArray all;
    while (transport.waitingReplies() > 0) {
        all += readAll();
        transport.flush();
    }
    all += readAll();

    QStringList pieces;
    for (const QByteArray &command : all.split('\n')) {
        if (command.isEmpty())
            continue;
        EXPECT_LE(command.size() + 1, PIPE_BUF);
        ASSERT_TRUE(command.startsWith(Prefix));
        pieces << asMcabberSends(command + '\n');
    }
    EXPECT_GT(pieces.size(), 16);
    EXPECT_EQ(pieces.join(u'\n').remove(u'\n'), QString(text).remove(u'\n'));
    EXPECT_TRUE(pieces.first().startsWith("0: \n1: x\n2: xx\n"));
    EXPECT_EQ(log.value(1), "Wendle Log Update:  mcabber reads its FIFO " + fifo + " again; 1 waiting chat replies were sent");
}

// The choice is read at each reply; an adapter that keeps no link is
// reported by the choice's name.
TEST(SelectingChatTransport, SendsByTheChoiceAndReportsItsState)
{
    const std::tuple<QVariant, const char *, const char *> cases[] = {
        {QVariant(), "outbox", "outbox"},         {"script", "script", "script"},         {"xmpp", "xmpp", "xmpp, logging in"},
        {" MCABBER", "mcabber", "mcabber, FIFO"}, {"carrier pigeon", "outbox", "outbox"},
    };
    MemoryPreferences preferences;
    RecordingChatTransport outbox, script, xmpp, mcabber;
    xmpp.stateText = QStringLiteral("xmpp, logging in");
    mcabber.stateText = QStringLiteral("mcabber, FIFO");
    const std::pair<const char *, RecordingChatTransport *> transports[] = {
        {"outbox", &outbox}, {"script", &script}, {"xmpp", &xmpp}, {"mcabber", &mcabber}};
    SelectingChatTransport selecting(preferences, outbox, script, xmpp, mcabber);
    for (const auto &[choice, expected, state] : cases) {
        SCOPED_TRACE(choice.toString().toStdString());
        preferences.setValue(QStringLiteral("chatTransport"), choice);
        EXPECT_TRUE(selecting.send({QStringLiteral("owner@example.org"), QStringLiteral("hi"), {}}, QString()));
        for (const auto &[name, transport] : transports) {
            EXPECT_EQ(transport->sent.size(), name == std::string_view(expected) ? 1 : 0) << name;
            transport->sent.clear();
        }
        EXPECT_EQ(selecting.state(), QString::fromLatin1(state));
    }
}
