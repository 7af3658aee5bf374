#include "support/WendleInstance.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace wendle::test;

namespace {

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The road of one command, as the owner's phone travels it: a find command,
// the numbered list by mail, a code back, the file by mail.
TEST(CommandRoad, FindThenConfirmMailsTheFile)
{
    TestSession session;
    if (!session.isReady())
        GTEST_SKIP() << "dbus-daemon is not available; scripts/install-deps installs it";
    QDir(session.home()).mkpath(QStringLiteral("Documents"));
    QFile budget(session.home() + QLatin1String("/Documents/budget 2027.txt"));
    ASSERT_TRUE(budget.open(QIODevice::WriteOnly));
    budget.write("rent 1200\nfood 400\n");
    budget.close();
    ASSERT_EQ(session.runWendle({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("limitCommandsFlag"), QStringLiteral("no")}), 0);
    ASSERT_TRUE(session.startDaemon());

    const QString owner = QStringLiteral("owner@example.com");
    ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), owner,
                                 QStringLiteral("wndl find named budget")}), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(QStringLiteral(".eml")).size() == 1; }));
    const QString list = readFile(session.outboxFiles(QStringLiteral(".eml")).first());
    const QRegularExpressionMatch line = QRegularExpression(QStringLiteral("(\\d\\d1):  budget 2027\\.txt \\(0 kB \\)")).match(list);
    ASSERT_TRUE(line.hasMatch()) << list.toStdString();

    ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), owner,
                                 QStringLiteral("wndl ") + line.captured(1)}), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(QStringLiteral(".eml")).size() == 2; }));
    const QString reply = readFile(session.outboxFiles(QStringLiteral(".eml")).last());
    EXPECT_TRUE(reply.contains(QStringLiteral("filename=\"budget 2027.txt\""))) << reply.toStdString();
    EXPECT_TRUE(reply.contains(QString::fromLatin1(QByteArray("rent 1200\nfood 400\n").toBase64())));
    EXPECT_TRUE(reply.contains(QStringLiteral("To: owner@example.com")));

    // A code the list never gave is answered as invalid.
    ASSERT_EQ(session.runWendle({QStringLiteral("send"), QStringLiteral("--mail"), QStringLiteral("--from"), owner, QStringLiteral("wndl 9")}), 0);
    ASSERT_TRUE(waitFor([&] { return session.outboxFiles(QStringLiteral(".eml")).size() == 3; }));
    EXPECT_EQ(session.stopDaemon(), 0);
    const QString log = session.logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Searching the home folder for files named:  budget")));
    EXPECT_TRUE(log.contains(QStringLiteral("Invalid confirmation number 9 received")));
}
