#include "support/WendleInstance.h"

#include <QDBusArgument>
#include <QRegularExpression>

#include <csignal>

using namespace wendle::test;

// `wendle index rebuild` in a home of its own with no Wendle running, as the
// owner would run it.
using SearchIndexCrash = SessionTest;

TEST_F(SearchIndexCrash, AnIndexKilledWhileBuildingReopensAndFinishes)
{
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(writeFile(session.home() + QStringLiteral("/docs/f%1/note %2.txt").arg(i % 30).arg(i),
                              QByteArray("a note about the roof, number ") + QByteArray::number(i)));
    }
    QProcess building;
    building.setProcessEnvironment(session.environment());
    endWithTheTest(building);
    building.start(QStringLiteral(WENDLE_BINARY), {"index", "rebuild"});
    const QString database = session.home() + "/.cache/wendle/search-index.sqlite";
    // Killed once the build has begun (a slow start must not make it a kill
    // before the index exists), and if it can be, with rows written.
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(database); }, 60000));
    waitFor([&] { return QFileInfo(database + "-wal").size() >= 64 * 1024; }, 4000);
    ::kill(pid_t(building.processId()), SIGKILL);
    building.waitForFinished();

    const auto run = [&](const QString &action) {
        QByteArray output, errors;
        EXPECT_EQ(session.runWendle({"index", action}, &output, &errors), 0) << errors.constData();
        return QString::fromUtf8(output);
    };
    const QString afterKill = run("status");
    EXPECT_TRUE(afterKill.contains("state: being built") || afterKill.contains("state: complete")) << afterKill.toStdString();
    EXPECT_FALSE(afterKill.contains("unreadable")) << afterKill.toStdString();
    const QString rebuilt = run("rebuild");
    EXPECT_TRUE(rebuilt.contains("files: 3000 (3000 with text)")) << rebuilt.toStdString();
    // The build tells how far it has come while it runs, and ends at the whole.
    EXPECT_TRUE(rebuilt.contains("\n3000 of 3000 files (100 %)\n")) << rebuilt.toStdString();
    EXPECT_FALSE(rebuilt.contains("damaged")) << rebuilt.toStdString();
}

// While the running Wendle builds its index, status says how far it has come.
// The daemon is asked over the bus, which is quicker than a client start: a
// build of a few thousand files can end between two `wendle status` runs.
TEST_F(SearchIndexCrash, StatusTellsHowFarTheBuildHasCome)
{
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(writeFile(session.home() + QStringLiteral("/docs/f%1/note %2.txt").arg(i % 30).arg(i), "a note about the roof"));
    }
    ASSERT_TRUE(session.startDaemon());
    const QRegularExpression building(
        QStringLiteral("^being built: \\d+ of \\d+ files \\(\\d+ %\\)(, about \\d+ (s|min) left)?; searches walk the folders$"));
    QStringList seen;
    EXPECT_TRUE(waitFor(
        [&] {
            const QDBusMessage answer = session.callWendle("Status", "Status");
            const QString state = qdbus_cast<QVariantMap>(answer.arguments().value(0)).value("IndexState").toString();
            if (seen.isEmpty() || seen.last() != state)
                seen << state;
            return state == "ready";
        },
        120000))
        << seen.join(u'\n').toStdString();
    EXPECT_FALSE(seen.filter(building).isEmpty()) << seen.join(u'\n').toStdString();
    // The owner's view of the finished index.
    QByteArray output;
    EXPECT_EQ(session.runWendle({"status"}, &output), 0);
    EXPECT_TRUE(output.contains("\nsearch index: ready\n")) << output.constData();
    EXPECT_EQ(session.stopDaemon(), 0);
}
