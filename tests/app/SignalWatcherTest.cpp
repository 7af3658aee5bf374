#include "app/SignalWatcher.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

using namespace wendle;

// A peer that hung up makes a write fail instead of ending Wendle, while the
// programs Wendle starts still get the usual SIGPIPE.
TEST(SignalWatcher, WritesToAHungUpPeerFailWithoutEndingWendle)
{
    SignalWatcher watcher;
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    ::close(sockets[1]);
    errno = 0;
    EXPECT_EQ(::write(sockets[0], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(sockets[0]);

    QProcess child;
    child.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("kill -s PIPE $$")});
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
}
