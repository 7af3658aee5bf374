#include "operations/OwnerFixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Sent = QStringLiteral("Here is the file you asked for.\n\n");

class ConfirmationTest : public OwnerFixture {
protected:
    ConfirmationTest()
    {
        random.values = {347}; // 347 % 100 = 47
        preferences.setValue(RBMaxFilesReturned, 20);
    }

    // A list of n real files, listed strongest first as file1 ... fileN.
    void listFiles(int n)
    {
        controller->findFilename(QStringLiteral("file"), QStringLiteral("boss@example.com"));
        QList<SearchHit> hits;
        for (int i = n; i >= 1; --i)
            hits << SearchHit{writeFile(path(i), "content"), QStringLiteral("file%1.txt").arg(i), QString(), QString(), double(n - i), 7};
        search.finish(hits);
        mail.sent.clear();
        console.lines.clear();
    }
    QString path(int line) const { return supportDir.filePath(QStringLiteral("file%1.txt").arg(line)); }
};

} // namespace

TEST_F(ConfirmationTest, CodesAgainstAListOfFiveAndOfTwelve)
{
    enum Outcome { Mailed, Invalid, Silent };
    struct Case {
        int listSize;
        const char *code;
        Outcome outcome;
        int line;
    };
    const Case cases[] = {
        {5, "473", Mailed, 3},  {5, "476", Invalid, 0}, {5, "470", Silent, 0},          {5, "0473", Silent, 0},   {5, "47", Invalid, 0},
        {5, "-473", Silent, 0}, {5, "abc", Silent, 0},  {5, "99999999999", Invalid, 0}, {12, "4710", Mailed, 10}, {12, "4713", Invalid, 0},
    };
    for (const Case &c : cases) {
        listFiles(c.listSize);
        const QString code = QString::fromLatin1(c.code);
        controller->confirmCommand(code);
        if (c.outcome == Silent) {
            EXPECT_TRUE(mail.sent.isEmpty()) << c.code;
            EXPECT_TRUE(console.lines.isEmpty()) << c.code;
            continue;
        }
        ASSERT_EQ(mail.sent.size(), 1) << c.code;
        const OutgoingMail &sent = mail.sent[0].mail;
        if (c.outcome == Mailed) {
            EXPECT_EQ(sent.body, Sent);
            EXPECT_EQ(sent.attachmentPath, path(c.line)) << c.code;
            EXPECT_EQ(sent.cc, QStringLiteral("boss@example.com"));
            EXPECT_EQ(logEntries().last(),
                      QStringLiteral("Sent message: Here is the file you asked for. (attachment: %1)").arg(path(c.line)));
        } else {
            EXPECT_EQ(sent.body, QStringLiteral("That confirmation number is not valid. Search again to get a new list.\n\n"));
            EXPECT_TRUE(sent.attachmentPath.isEmpty());
            EXPECT_EQ(console.lines,
                      QStringList{QStringLiteral("Wendle Log Update:  Invalid confirmation number received (%1)").arg(code)});
            EXPECT_EQ(logEntries().last(), QStringLiteral("Invalid confirmation number %1 received (the current number is 47)").arg(code));
        }
    }
}

// A code of the list works again and again, sends a file deleted since
// without it, and is no longer valid once a new search runs.
TEST_F(ConfirmationTest, ConfirmingTwiceMailsTwiceUntilANewSearchRuns)
{
    listFiles(5);
    controller->confirmCommand(QStringLiteral("472"));
    controller->confirmCommand(QStringLiteral("472"));
    QFile::remove(path(2));
    controller->confirmCommand(QStringLiteral("472"));
    controller->findFilename(QStringLiteral("again"), QString());
    controller->confirmCommand(QStringLiteral("471"));
    ASSERT_EQ(mail.sent.size(), 4);
    EXPECT_EQ(mail.sent[1].mail.attachmentPath, path(2));
    EXPECT_TRUE(mail.sent[2].mail.attachmentPath.isEmpty());
    EXPECT_EQ(mail.sent[2].mail.body, Sent);
    EXPECT_TRUE(mail.sent[3].mail.body.startsWith(QStringLiteral("That confirmation number is not valid.")));
}

// Deletes the file and makes another at its path on the same inode number, as
// ext4 does when it is the lowest free one: the numbers taken meanwhile are held
// by stand-ins, which go at the end.
static bool replaceOnSameInode(const QString &path, const QByteArray &content)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    ::stat(name, &status);
    const ino_t inode = status.st_ino;
    ::unlink(name);
    QList<QByteArray> standIns;
    bool same = false;
    for (int attempt = 0; attempt < 256 && !same; ++attempt) {
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        same = fd >= 0 && ::fstat(fd, &status) == 0 && status.st_ino == inode
               && ::write(fd, content.constData(), size_t(content.size())) == content.size();
        ::close(fd);
        if (!same) {
            standIns << name + ".stand-in" + QByteArray::number(attempt);
            ::rename(name, standIns.last());
        }
    }
    for (const QByteArray &standIn : standIns)
        ::unlink(standIn);
    return same;
}

TEST_F(ConfirmationTest, OnlyTheFileThatWasListedIsSent)
{
    const QString outside = writeFile(supportDir.filePath(QStringLiteral("elsewhere/secret.txt")), "secret");
    const QString changed =
        QStringLiteral("Wendle: file3.txt was not sent; the file at its place is no longer the one listed. Search again.\n\n");
    struct Case {
        const char *name;
        std::function<void(const QString &)> swap;
        bool sent;
    };
    const Case cases[] = {
        {"untouched", [](const QString &) {}, true},
        {"rewritten in place", [](const QString &path) { writeFile(path, "new content"); }, true},
        {"swapped for a link",
         [&](const QString &path) {
             QFile::remove(path);
             QFile::link(outside, path);
         },
         false},
        {"swapped for another file the way an editor saves",
         [&](const QString &path) {
             QFile::copy(outside, path + QStringLiteral(".new"));
             QFile::remove(path);
             QFile::rename(path + QStringLiteral(".new"), path);
         },
         false},
        // The new file usually takes over the freed inode number.
        {"deleted, and another file made on its inode number",
         [&](const QString &path) { ASSERT_TRUE(replaceOnSameInode(path, "secret")) << "the file system never gave the number out again"; },
         false},
        {"folder swapped for a link",
         [&](const QString &path) {
             const QString folder = QFileInfo(path).path(), decoy = folder + QStringLiteral(".decoy");
             QDir().rename(folder, folder + QStringLiteral(".old"));
             QDir().mkpath(decoy);
             QFile::copy(outside, decoy + QStringLiteral("/file3.txt"));
             QFile::link(decoy, folder);
         },
         false},
    };
    for (const Case &c : cases) {
        controller->findFilename(QStringLiteral("file"), QString());
        const QString listedPath = writeFile(supportDir.filePath(QLatin1String(c.name) + QStringLiteral("/file3.txt")), "content");
        search.finish({SearchHit{listedPath, QStringLiteral("file3.txt"), QString(), QString(), 1.0, 7}});
        mail.sent.clear();
        c.swap(listedPath);
        controller->confirmCommand(QStringLiteral("471"));
        ASSERT_EQ(mail.sent.size(), 1) << c.name;
        EXPECT_EQ(mail.sent[0].mail.body, c.sent ? Sent : changed) << c.name;
        EXPECT_EQ(mail.sent[0].mail.attachmentPath, c.sent ? listedPath : QString()) << c.name;
    }
}
