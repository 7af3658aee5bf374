#include "app/ActivityLog.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Header = QStringLiteral("-------------Wendle Log File-------------\n");

class ActivityLogTest : public ControllerFixture {
protected:
    QString folder() const { return platform.supportFolder; }
    QString oldLogText() const { return QString::fromUtf8(readFile(folder() + QLatin1String("/wendle_old.log"))); }
    void writeLog(const QByteArray &content) { ASSERT_TRUE(writeFile(folder() + QLatin1String("/wendle.log"), content)); }
};

} // namespace

TEST_F(ActivityLogTest, FirstEntryCreatesFolderHeaderAndEntry)
{
    controller->addLogEntry(QStringLiteral("café ☃ 日本"));
    EXPECT_EQ(logText(), Header + QStringLiteral("\n2026-12-04 (13:35:31): café ☃ 日本"));
    clock.advanceSeconds(3600 * 11);
    controller->addLogEntry(QStringLiteral("two\nlines"));
    EXPECT_EQ(logText(), Header + QStringLiteral("\n2026-12-04 (13:35:31): café ☃ 日本\n2026-12-05 (00:35:31): two\nlines"));
}

// A second rotation replaces the old log.
TEST_F(ActivityLogTest, RotatesOnlyAboveTheThreshold)
{
    // the size of the log, the byte that fills it, whether the next entry rotates it
    const std::tuple<qint64, char, bool> cases[] = {{262144, 'x', false}, {262145, 'y', true}, {300000, 'z', true}};
    for (const auto &[size, filler, rotates] : cases) {
        QByteArray content = Header.toUtf8();
        content += QByteArray(size - content.size(), filler);
        writeLog(content);
        controller->addLogEntry(QStringLiteral("next"));
        if (rotates) {
            EXPECT_EQ(oldLogText().toUtf8(), content);
            EXPECT_EQ(logText(), Header + QStringLiteral("\n2026-12-04 (13:35:31): next"));
        } else {
            EXPECT_TRUE(oldLogText().isEmpty());
            EXPECT_EQ(logText().size(), size + 28); // LF, 21-character stamp, ": ", "next"
        }
    }
}

// Four characters, not bytes, are too short.
TEST_F(ActivityLogTest, EmptiedOrShortLogRestartsWithHeader)
{
    for (const QByteArray &content : {QByteArray(), QByteArray("abcd"), QByteArray("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")}) {
        writeLog(content);
        controller->addLogEntry(QStringLiteral("e"));
        EXPECT_EQ(logText(), Header + QStringLiteral("\n2026-12-04 (13:35:31): e"));
    }
    writeLog("abcde");
    controller->addLogEntry(QStringLiteral("e"));
    EXPECT_EQ(logText(), QStringLiteral("abcde\n2026-12-04 (13:35:31): e"));
}

TEST_F(ActivityLogTest, InvalidBytesNeverSpreadIntoTheLog)
{
    writeLog(QByteArray("-------------Wendle Log File-------------\n\nbad \xff\xfe bytes"));
    controller->addLogEntry(QStringLiteral("after"));
    const QByteArray bytes = readFile(folder() + QLatin1String("/wendle.log"));
    EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes); // valid UTF-8 again
}

// With logging off the log still opens.
TEST_F(ActivityLogTest, StartAndShutdownEntriesAndOpeningTheLog)
{
    controller->awakeFromNib(nullptr);
    controller->applicationWillTerminate();
    EXPECT_EQ(logEntries(), (QStringList{QStringLiteral("Wendle started"), QStringLiteral("Wendle shut down")}));
    preferences.setValue(RBLogData, false);
    controller->openLog();
    EXPECT_EQ(workspace.opened, QStringList{folder() + QLatin1String("/wendle.log")});
}

// Entries held while a command runs reach the file together, each with its
// own time, rotating where a lone entry would; the timer bounds the wait.
TEST_F(ActivityLogTest, HeldEntriesAreWrittenTogetherInTheirOrder)
{
    QByteArray full = Header.toUtf8();
    full += QByteArray(262140 - full.size(), 'x');
    writeLog(full);
    controller->holdLogUntilSettled();
    controller->addLogEntry(QStringLiteral("first"));
    clock.advanceSeconds(2);
    controller->addLogEntry(QStringLiteral("second"));
    EXPECT_EQ(logText().toUtf8(), full) << "nothing is written while held";
    controller->releaseLogWhenSettled();
    EXPECT_EQ(oldLogText().toUtf8(), full + "\n2026-12-04 (13:35:31): first");
    EXPECT_EQ(logText(), Header + QStringLiteral("\n2026-12-04 (13:35:33): second"));

    controller->holdLogUntilSettled();
    controller->addLogEntry(QStringLiteral("third"));
    scheduler.advance(std::chrono::milliseconds(HeldLogLimitMs));
    EXPECT_EQ(logEntries().last(), QStringLiteral("third"));
    controller->addLogEntry(QStringLiteral("fourth"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("fourth")) << "no longer held after the bound";
}
