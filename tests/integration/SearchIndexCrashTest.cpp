#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// `wendle index rebuild` in a home of its own, as the owner would run it.
class SearchIndexCrash : public ::testing::Test {
protected:
    QProcess *index(const QString &action)
    {
        auto *process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", m_home.path());
        environment.insert("XDG_CACHE_HOME", m_home.path() + "/.cache");
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.path() + "/no-bus"); // no Wendle runs
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(WENDLE_BINARY), {"index", action});
        m_processes.emplace_back(process);
        return process;
    }

    QString run(const QString &action)
    {
        QProcess *process = index(action);
        EXPECT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
        return QString::fromUtf8(process->readAllStandardOutput());
    }

    void TearDown() override
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    QTemporaryDir m_home;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace

TEST_F(SearchIndexCrash, AnIndexKilledWhileBuildingReopensAndFinishes)
{
    for (int i = 0; i < 3000; ++i) {
        const QString path = m_home.path() + QStringLiteral("/docs/f%1/note %2.txt").arg(i % 30).arg(i);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("a note about the roof, number ") + QByteArray::number(i));
    }
    QProcess *building = index("rebuild");
    const QString database = m_home.path() + "/.cache/wendle/search-index.sqlite";
    for (int waited = 0; waited < 200 && QFileInfo(database + "-wal").size() < 64 * 1024; ++waited)
        QThread::msleep(20);
    ::kill(pid_t(building->processId()), SIGKILL);
    building->waitForFinished();

    const QString afterKill = run("status");
    EXPECT_TRUE(afterKill.contains("state: being built") || afterKill.contains("state: complete")) << afterKill.toStdString();
    EXPECT_FALSE(afterKill.contains("unreadable")) << afterKill.toStdString();
    const QString rebuilt = run("rebuild");
    EXPECT_TRUE(rebuilt.contains("files: 3000 (3000 with text)")) << rebuilt.toStdString();
    EXPECT_FALSE(rebuilt.contains("damaged")) << rebuilt.toStdString();
}
