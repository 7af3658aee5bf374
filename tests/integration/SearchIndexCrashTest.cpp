#include "support/WendleInstance.h"

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
    QProcessEnvironment environment = session.environment();
    environment.insert("XDG_CACHE_HOME", session.home() + "/.cache");
    QProcess building;
    building.setProcessEnvironment(environment);
    endWithTheTest(building);
    building.start(QStringLiteral(WENDLE_BINARY), {"index", "rebuild"});
    const QString database = session.home() + "/.cache/wendle/search-index.sqlite";
    waitFor([&] { return QFileInfo(database + "-wal").size() >= 64 * 1024; }, 4000);
    ::kill(pid_t(building.processId()), SIGKILL);
    building.waitForFinished();

    const auto run = [&](const QString &action) {
        QByteArray output, errors;
        EXPECT_EQ(runProcess(QStringLiteral(WENDLE_BINARY), {"index", action}, environment, &output, &errors), 0) << errors.constData();
        return QString::fromUtf8(output);
    };
    const QString afterKill = run("status");
    EXPECT_TRUE(afterKill.contains("state: being built") || afterKill.contains("state: complete")) << afterKill.toStdString();
    EXPECT_FALSE(afterKill.contains("unreadable")) << afterKill.toStdString();
    const QString rebuilt = run("rebuild");
    EXPECT_TRUE(rebuilt.contains("files: 3000 (3000 with text)")) << rebuilt.toStdString();
    EXPECT_FALSE(rebuilt.contains("damaged")) << rebuilt.toStdString();
}
