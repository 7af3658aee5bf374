#include "search_index_peers.h"

#include "process_cpu.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace wendle::bench {

namespace {

constexpr int kFilesPerFolder = 1000;

double seconds(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

double childrenCpu()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 childNamed(qint64 parent, const QByteArray &name)
{
    for (const QByteArray &child : readProc(QStringLiteral("/proc/%1/task/%1/children").arg(parent)).split(' ')) {
        if (!child.isEmpty() && readProc(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(child))).trimmed() == name)
            return child.toLongLong();
    }
    return 0;
}

} // namespace

QByteArray readProc(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 statusKb(const QByteArray &status, const char *key)
{
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Timed runTimed(const QStringList &command, QProcessEnvironment environment, int limitMs)
{
    if (!environment.contains(QStringLiteral("LC_ALL")))
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    Timed timed;
    const double cpuBefore = childrenCpu();
    QElapsedTimer timer;
    timer.start();
    process.start(command.first(), command.mid(1));
    const bool finished = process.waitForFinished(limitMs);
    timed.wall = double(timer.nsecsElapsed()) / 1e9;
    if (!finished) {
        process.terminate();
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished(-1);
        }
    }
    timed.cpu = childrenCpu() - cpuBefore;
    timed.exitCode = !finished ? -2 : process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    timed.output = process.readAllStandardOutput();
    return timed;
}

QStringList atIdlePriority(const QStringList &command)
{
    return QStringList{"chrt", "--idle", "0", "ionice", "-c", "3", "nice", "-n", "19"} + command;
}

bool makeNamesTree(const QString &tree, qint64 count)
{
    const QString marker = QFileInfo(tree).path() + QStringLiteral("/complete");
    if (QFile::exists(marker)) {
        std::printf("tree: %s (reused)\n", qPrintable(tree));
        return true;
    }
    QDir(QFileInfo(tree).path()).removeRecursively();
    static const char *words[] = {"tax",     "return",    "budget", "invoice", "report",    "photo",    "holiday", "meeting",
                                  "notes",   "draft",     "final",  "scan",    "letter",    "contract", "summary", "plan",
                                  "receipt", "statement", "garden", "house",   "insurance", "bank",     "trip",    "recipe"};
    static const char *extensions[] = {"pdf", "jpg", "txt", "odt", "docx", "png", "mp3", "zip", "xlsx", "eml"};
    std::mt19937 random(20240601);
    QElapsedTimer timer;
    timer.start();
    const std::string root = QFile::encodeName(tree).toStdString();
    std::string folder;
    for (qint64 i = 0; i < count; ++i) {
        if (i % kFilesPerFolder == 0) {
            const qint64 serial = i / kFilesPerFolder;
            folder = root + "/part-" + std::to_string(serial / 40) + "/box " + std::to_string(serial % 40);
            QDir().mkpath(QString::fromStdString(folder));
        }
        std::string name = words[random() % std::size(words)];
        for (unsigned more = random() % 3; more > 0; --more)
            name += std::string(random() % 2 ? " " : "_") + words[random() % std::size(words)];
        name += " " + std::to_string(i) + "." + extensions[random() % std::size(extensions)];
        const int fd = ::open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(name.c_str());
            return false;
        }
        ::close(fd);
    }
    QFile(marker).open(QIODevice::WriteOnly);
    std::printf("tree: %s, %lld empty files made in %.1f s\n", qPrintable(tree), qlonglong(count), double(timer.elapsed()) / 1000);
    return true;
}

// ---- Wendle -------------------------------------------------------------------------

Wendle::Wendle(QString binary, QString home, QString work) : m_binary(std::move(binary)), m_home(std::move(home)), m_work(std::move(work))
{}

QString Wendle::databasePath() const
{
    return m_work + QStringLiteral("/cache/wendle/search-index.sqlite");
}

QProcessEnvironment Wendle::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_work + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_work + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_work + QStringLiteral("/data"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=%1/no-bus").arg(m_work));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("LC_ALL"));
    return environment;
}

Timed Wendle::rebuildIndex() const
{
    return runTimed({m_binary, "index", "rebuild"}, environment());
}

Memory Wendle::idleDaemonMemory() const
{
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QProcess session;
    session.setProcessEnvironment(env);
    session.setStandardOutputFile(m_work + QStringLiteral("/daemon.out"));
    session.setStandardErrorFile(m_work + QStringLiteral("/daemon.out"));
    session.start(QStringLiteral("dbus-run-session"), {"--", m_binary, "run", "--headless"});
    Memory memory;
    if (!session.waitForStarted())
        return memory;
    qint64 daemon = 0;
    // `wendle run` becomes the full program in the same process.
    for (int i = 0; i < 100 && !daemon; ++i, QThread::msleep(100))
        daemon = childNamed(session.processId(), "wendle-daemon");
    // Idle: no CPU used for five seconds running.
    double lastCpu = -1;
    int quietChecks = 0;
    for (int i = 0; daemon && quietChecks < 10 && i < 7200; ++i) {
        QThread::msleep(500);
        const double cpu = processCpuSeconds(daemon);
        quietChecks = cpu == lastCpu ? quietChecks + 1 : 0;
        lastCpu = cpu;
    }
    if (daemon) {
        const QByteArray status = readProc(QStringLiteral("/proc/%1/status").arg(daemon));
        memory = {statusKb(status, "VmRSS:"), statusKb(status, "RssAnon:"), statusKb(status, "RssFile:")};
        ::kill(pid_t(daemon), SIGTERM);
    }
    if (!session.waitForFinished(30000)) {
        session.kill();
        session.waitForFinished();
    }
    return memory;
}

// ---- recoll --------------------------------------------------------------------------

Recoll::Recoll(QString tree, QString configFolder) : m_tree(std::move(tree)), m_config(std::move(configFolder))
{}

bool Recoll::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("recollindex")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("recollq")).isEmpty();
}

Timed Recoll::build(int minutes) const
{
    QDir().mkpath(m_config);
    QFile config(m_config + QStringLiteral("/recoll.conf"));
    config.open(QIODevice::WriteOnly);
    // Hidden files stay out as in Wendle's index; no spelling dictionary, which Wendle does not make.
    config.write("topdirs = " + QFile::encodeName(m_tree) + "\nskippedNames+ = .*\nnoaspell = 1\nloglevel = 1\n");
    config.close();
    return runTimed(atIdlePriority({"recollindex", "-c", m_config, "-z"}), QProcessEnvironment::systemEnvironment(), minutes * 60000);
}

QString Recoll::progress() const
{
    const QByteArray status = readProc(m_config + QStringLiteral("/idxstatus.txt"));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("docsdone"))
            return QString::fromLatin1(line.mid(line.indexOf('=') + 1).trimmed());
    }
    return QStringLiteral("an unknown number");
}

QStringList Recoll::queryCommand(const QString &word) const
{
    return {"recollq", "-c", m_config, "-b", "-n", "0", "-s", "", word};
}

Timed Recoll::query(const QString &word) const
{
    return runTimed(queryCommand(word));
}

qint64 Recoll::databaseBytes() const
{
    qint64 bytes = 0;
    QDirIterator files(m_config + QStringLiteral("/xapiandb"), QDir::Files);
    while (files.hasNext())
        bytes += QFileInfo(files.next()).size();
    return bytes;
}

} // namespace wendle::bench
