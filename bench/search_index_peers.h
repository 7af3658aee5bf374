#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <vector>

// What bench_search_index runs beside the index: Wendle itself as a process, and
// the peer tools, each timed for wall clock and CPU.
namespace wendle::bench {

double median(std::vector<double> values);

struct Timed {
    double wall = 0; // seconds
    double cpu = 0;  // seconds of user and system time, the process and its children
    int exitCode = -1;
    QByteArray output;
};

// Runs the command to its end, with LC_ALL=C unless the environment says otherwise.
// Past `limitMs` (-1: none) it is stopped, and exitCode is -2.
Timed runTimed(const QStringList &command, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(), int limitMs = -1);

// The command at idle CPU and I/O priority, as Wendle builds its index.
QStringList atIdlePriority(const QStringList &command);

// A tree of `count` empty files with names like a home's, 1,000 to a folder; kept
// for the next run while its marker is there.
bool makeNamesTree(const QString &tree, qint64 count);

// The whole of a /proc file; empty when it cannot be read.
QByteArray readProc(const QString &path);
// A "Key:   123 kB" figure of /proc/PID/status.
qint64 statusKb(const QByteArray &status, const char *key);

struct Memory {
    qint64 residentKb = 0;
    qint64 anonymousKb = 0;
    qint64 fileKb = 0;
};

// The wendle binary with `home` as its home and its cache, settings and data in `work`.
class Wendle {
public:
    Wendle(QString binary, QString home, QString work);
    QString databasePath() const;
    QString cacheFolder() const { return m_work + QStringLiteral("/cache"); }
    // `wendle index rebuild` with no Wendle running: built here and now.
    Timed rebuildIndex() const;
    // Starts the daemon on a private session bus, waits until it has been idle for
    // a few seconds (its index checked against the disk), reads its memory, stops it.
    Memory idleDaemonMemory() const;

private:
    QString m_binary;
    QString m_home;
    QString m_work;
    QProcessEnvironment environment() const;
};

class Recoll {
public:
    Recoll(QString tree, QString configFolder);
    static bool available();
    // recollindex from nothing, at idle priority; stopped after `minutes`.
    Timed build(int minutes) const;
    // How many files the last build had done, from its status file.
    QString progress() const;
    // recollq for one word, every hit, no stemming: the files that hold the word.
    Timed query(const QString &word) const;
    QStringList queryCommand(const QString &word) const;
    qint64 databaseBytes() const;

private:
    QString m_tree;
    QString m_config;
};

} // namespace wendle::bench
