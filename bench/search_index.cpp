// Times the search index beside the tools people use for the same jobs, on the same
// tree in the same run, and prints the figures with their ratios:
//   - the build: `wendle index rebuild` beside recollindex, both at idle CPU and I/O
//     priority as Wendle builds, and updatedb (plocate's database);
//   - the whole road first, as the owner waits for it: `wendle send … wndl find named
//     tax return` to a running Wendle until the reply file is written, beside plocate;
//     `wndl find containing budget` the same way, beside `recollq -b` and grep -rliw
//     (runs paired, medians and spreads, by the road harness);
//   - then the index's own part: the same searches inside this process (no client, no
//     D-Bus, no reply), beside the same peers;
//   - how soon a new file is found;
//   - the memory of a running Wendle daemon, idle with its index open; the sizes on disk.
//
//   build/bench/bench_search_index [runs]                   # the mixed tree, 40,000 files
//   build/bench/bench_search_index --files 5000 [runs]      # a quick run on a small tree
//   build/bench/bench_search_index --reuse [runs]           # the searches again, on the indexes of the last run
//   build/bench/bench_search_index --names 1000000 [runs]   # a tree of empty files, names only
//   WENDLE_BENCH_TREE_FILES=200000 build/bench/bench_search_index
//   build/bench/bench_search_index --files 50000 --memory 100   # only the daemon's memory: idle, then after 100 searches
//   ... --binary /other/build/wendle                            # the same with another build of wendle
//
// The tree (see search_index_tree.h) holds documents, PDFs, office files, source code,
// mail, web pages and media in folders up to a dozen deep, 45 % of the files with text.
// It is made once per size and kept under /tmp; the run prints how long the tree and
// every index took to make. On a 2-core machine 1,500 files take seconds in all;
// recollindex is the slowest by far on large trees (--recoll-minutes N stops it, 0
// leaves recoll out).

#include "platform/search/QueryEvaluator.h"
#include "platform/search/SearchQuery.h"
#include "platform/search/index/SearchIndex.h"
#include "process_cpu.h"
#include "road.h"
#include "search_index_peers.h"
#include "search_index_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace wendle;
using namespace wendle::search;
using namespace wendle::bench;

namespace {

const QString kWork = QStringLiteral("/tmp/wendle-bench-search-index");
// What the Controller sends for "find named tax*return*" and "find containing budget".
const QString kFilenameQuery = QStringLiteral("*=='tax*return*'cd && kMDItemFSSize < 4194304");
const QString kContentQuery = QStringLiteral("((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
                                             "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
                                             "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)");

CompiledQuery compile(const QString &text)
{
    QString error;
    return CompiledQuery(*parseQuery(text, &error));
}

double searchIndex(const SearchIndex &index, const CompiledQuery &query, int *hits)
{
    const std::atomic<bool> cancelled{false};
    QElapsedTimer timer;
    timer.start();
    const std::optional<QList<SearchHit>> found = index.search(query, cancelled);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    *hits = found ? int(found->size()) : -1;
    return seconds;
}

void compare(const char *title, const std::vector<double> &engine, const char *peerName, const std::vector<double> &peer)
{
    std::printf("%-16s index %.4f s, %-11s %.4f s, ratio %.3f\n", title, median(engine), peerName, median(peer),
                median(engine) / median(peer));
}

double secondsUntilFound(const SearchIndex &index, const QString &path)
{
    QFile::remove(path);
    QThread::msleep(500);
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("fresh");
    file.close();
    const CompiledQuery byName = compile(kFilenameQuery);
    double seconds = -1;
    while (timer.elapsed() < 10000) {
        const std::atomic<bool> cancelled{false};
        const std::optional<QList<SearchHit>> found = index.search(byName, cancelled);
        if (found && std::any_of(found->begin(), found->end(), [&](const SearchHit &hit) { return hit.path == path; })) {
            seconds = double(timer.nsecsElapsed()) / 1e9;
            break;
        }
        QThread::msleep(10);
    }
    QFile::remove(path);
    return seconds;
}

struct Options {
    int runs = 5;
    qint64 files = wendle::bench::environmentNumber("WENDLE_BENCH_TREE_FILES", 40000); // the mixed tree's size
    qint64 names = 0; // a names-only tree of this many files instead of the content tree
    bool keepNamesTree = false;
    int recollMinutes = 60; // recollindex is stopped after this long, and its progress told
    bool recollReuse = false;
    bool indexReuse = false;
    int memorySearches = 0; // only the daemon's memory, idle and after this many searches
    QString binary = QStringLiteral(WENDLE_BINARY);
};

Options parse(const QStringList &arguments)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--names") && i + 1 < arguments.size())
            options.names = arguments[++i].toLongLong();
        else if (arguments[i] == QLatin1String("--files") && i + 1 < arguments.size())
            options.files = std::max<qint64>(100, arguments[++i].toLongLong());
        else if (arguments[i] == QLatin1String("--keep"))
            options.keepNamesTree = true;
        else if (arguments[i] == QLatin1String("--recoll-reuse"))
            options.recollReuse = true;
        else if (arguments[i] == QLatin1String("--reuse"))
            options.indexReuse = true;
        else if (arguments[i] == QLatin1String("--memory") && i + 1 < arguments.size())
            options.memorySearches = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--binary") && i + 1 < arguments.size())
            options.binary = arguments[++i];
        else if (arguments[i] == QLatin1String("--recoll-minutes") && i + 1 < arguments.size())
            options.recollMinutes = arguments[++i].toInt();
        else
            options.runs = std::max(1, arguments[i].toInt());
    }
    return options;
}

// A running Wendle on the tree, its index the one built above: idle once it
// has checked the index against the disk (no CPU used for five seconds).
bool startDaemon(WendleDaemon &daemon, const QString &tree, const Wendle &wendle)
{
    daemon.setEnvironment(QStringLiteral("HOME"), tree);
    daemon.setEnvironment(QStringLiteral("XDG_CACHE_HOME"), wendle.cacheFolder());
    if (!daemon.configure("limitCommandsFlag", "no") || !daemon.start())
        return false;
    double lastCpu = -1;
    for (int quiet = 0, i = 0; quiet < 10 && i < 7200; ++i) {
        QThread::msleep(500);
        const double cpu = processCpuSeconds(daemon.pid());
        quiet = cpu == lastCpu ? quiet + 1 : 0;
        lastCpu = cpu;
    }
    return true;
}

// Waits until the process has used no CPU for five seconds running.
void waitUntilIdle(qint64 pid)
{
    double lastCpu = -1;
    for (int quiet = 0, i = 0; quiet < 10 && i < 7200; ++i) {
        QThread::msleep(500);
        const double cpu = processCpuSeconds(pid);
        quiet = cpu == lastCpu ? quiet + 1 : 0;
        lastCpu = cpu;
    }
}

void printMemory(const char *when, qint64 pid)
{
    const QByteArray status = readProc(QStringLiteral("/proc/%1/status").arg(pid));
    std::printf("memory     %-34s VmRSS %6.1f MB (anonymous %5.1f MB, files %5.1f MB), VmHWM %6.1f MB\n", when,
                double(statusKb(status, "VmRSS:")) / 1024, double(statusKb(status, "RssAnon:")) / 1024,
                double(statusKb(status, "RssFile:")) / 1024, double(statusKb(status, "VmHWM:")) / 1024);
}

// The daemon idle with its index open, then idle again after `searches` finds
// through the whole road, alternately by name and by content.
int measureMemory(const QString &binary, const QString &tree, const Wendle &wendle, int searches)
{
    WendleDaemon daemon(binary);
    if (!startDaemon(daemon, tree, wendle)) {
        std::printf("memory     the wendle daemon did not start\n");
        return 1;
    }
    printMemory("idle, index open", daemon.pid());
    FolderWatch outbox(daemon.outbox());
    const QProcessEnvironment environment = daemon.environment();
    int answered = 0;
    for (int i = 0; i < searches; ++i) {
        const QString text = i % 2 ? QStringLiteral("wndl find containing budget") : QStringLiteral("wndl find named tax return");
        answered += replyRoad(outbox, daemon.wendle({"send", "--mail", "--from", "owner@example.org", text}), environment) ? 1 : 0;
    }
    printMemory(qPrintable(QStringLiteral("right after %1 searches (%2 answered)").arg(searches).arg(answered)), daemon.pid());
    waitUntilIdle(daemon.pid());
    printMemory("idle again", daemon.pid());
    daemon.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, even into a file
    const Options options = parse(application.arguments());
    const bool namesOnly = options.names > 0;
    QString tree;
    if (namesOnly) {
        tree = QStringLiteral("/tmp/wendle-bench-names-%1/tree").arg(options.names);
        if (!makeNamesTree(tree, options.names))
            return 1;
    } else {
        tree = makeMixedTree(options.files).root;
        if (tree.isEmpty())
            return 1;
    }
    const QString work = namesOnly ? kWork + QStringLiteral("-names") : kWork + QStringLiteral("-%1").arg(options.files);
    // --reuse keeps all indexes of an earlier run, to measure the searches again
    // without the builds; --recoll-reuse only recoll's, whose build can take an hour.
    for (const QFileInfo &entry : QDir(work).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (((options.recollReuse || options.indexReuse) && entry.fileName() == QLatin1String("recoll"))
            || (options.indexReuse && (entry.fileName() == QLatin1String("cache") || entry.fileName() == QLatin1String("plocate.db"))))
            continue;
        if (entry.isDir())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    QDir().mkpath(work);
    const Wendle wendle(options.binary, tree, work);
    const QString locateDb = work + QStringLiteral("/plocate.db");
    const bool withRecoll = !namesOnly && options.recollMinutes > 0 && Recoll::available();
    const Recoll recoll(tree, work + QStringLiteral("/recoll"));

    // ---- builds
    Timed ours;
    if (options.indexReuse && SearchIndex::readStatus(wendle.databasePath()).complete) {
        std::printf("build      wendle and updatedb: their indexes of an earlier run\n");
    } else {
        ours = wendle.rebuildIndex();
        std::printf("%s", ours.output.constData());
        const Timed locate = runTimed({"updatedb", "-l", "0", "-U", tree, "-o", locateDb});
        std::printf("\nbuild      wendle index rebuild %7.1f s wall %7.1f s CPU\n", ours.wall, ours.cpu);
        std::printf("           updatedb             %7.1f s wall %7.1f s CPU   wall ratio %.1f\n", locate.wall, locate.cpu,
                    ours.wall / locate.wall);
    }
    const SearchIndex::Status status = SearchIndex::readStatus(wendle.databasePath());
    if (options.memorySearches > 0)
        return measureMemory(options.binary, tree, wendle, options.memorySearches);
    std::printf("size       index %.1f MB (%lld files, %lld with text), plocate %.1f MB\n", double(status.databaseBytes) / 1e6,
                qlonglong(status.files), qlonglong(status.filesWithText), double(QFileInfo(locateDb).size()) / 1e6);
    bool recollPartial = false;
    if (withRecoll) {
        if (options.recollReuse || options.indexReuse) {
            std::printf("build      recollindex: its index of an earlier run, %s files\n", qPrintable(recoll.progress()));
        } else {
            const Timed theirs = recoll.build(options.recollMinutes);
            recollPartial = theirs.exitCode != 0;
            if (recollPartial) {
                std::printf("build      recollindex stopped after %.1f s wall, %.1f s CPU, with %s of %lld files done\n", theirs.wall,
                            theirs.cpu, qPrintable(recoll.progress()), qlonglong(status.files));
            } else {
                std::printf("build      recollindex          %7.1f s wall %7.1f s CPU   wendle/recoll: wall %.3f, CPU %.3f\n", theirs.wall,
                            theirs.cpu, ours.wall / theirs.wall, ours.cpu / theirs.cpu);
            }
        }
        std::printf("size       recoll %.1f MB\n", double(recoll.databaseBytes()) / 1e6);
    }

    QProcessEnvironment peerEnvironment = QProcessEnvironment::systemEnvironment();
    peerEnvironment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    const QStringList locateCommand = {"plocate", "-d", locateDb, "-i", "-b", "tax*return*"};
    const QStringList grepCommand = {"grep", "-rliw", "--exclude-dir=.*", "budget", tree};
    const QString recollNote = recollPartial ? QStringLiteral(" (recollq on its partial index: the ratio flatters it)") : QString();

    // ---- the whole road: a command to a running Wendle until its reply file
    {
        WendleDaemon daemon(options.binary);
        if (!startDaemon(daemon, tree, wendle)) {
            std::printf("\nroad       the wendle daemon did not start\n");
        } else {
            FolderWatch outbox(daemon.outbox());
            const QProcessEnvironment environment = daemon.environment();
            const auto send = [&](const QString &text) {
                return replyRoad(outbox, daemon.wendle({"send", "--mail", "--from", "owner@example.org", text}), environment);
            };
            send(QStringLiteral("wndl find named tax return")); // warm
            std::vector<Road> named = {
                {"wendle send find named tax return → reply", [&] { return send(QStringLiteral("wndl find named tax return")); }},
                {"plocate -b tax*return*", [&] { return processRoad(locateCommand, peerEnvironment, 1); }},
            };
            std::printf("\n");
            printFigures(QStringLiteral("road       find named: from starting the command to its answer, %1 rounds").arg(options.runs),
                         runPaired(named, options.runs));
            if (!namesOnly) {
                std::vector<Road> containing = {
                    {"wendle send find containing budget → reply", [&] { return send(QStringLiteral("wndl find containing budget")); }},
                    {"grep -rliw budget", [&] { return processRoad(grepCommand, peerEnvironment, 1); }},
                };
                if (withRecoll)
                    containing.insert(containing.begin() + 1,
                                      Road{"recollq -b budget",
                                           [&] { return processRoad(recoll.queryCommand(QStringLiteral("budget")), peerEnvironment, 1); }});
                printFigures(QStringLiteral("road       find containing: from starting the command to its answer, %1 rounds%2")
                                 .arg(options.runs)
                                 .arg(recollNote),
                             runPaired(containing, options.runs));
            }
            daemon.stop();
        }
    }

    // ---- the index's own part, in this process; peers as before
    SearchIndex index(wendle.databasePath(), tree, [](const QString &line) { std::printf("  log: %s\n", qPrintable(line)); });
    index.start();
    index.waitUntilReady(3600 * 1000);
    const CompiledQuery byName = compile(kFilenameQuery);
    const CompiledQuery byContent = compile(kContentQuery);
    std::vector<double> indexName, locateName, indexContent, grepContent, recollContent;
    int nameHits = 0, contentHits = 0;
    Timed locateRun, grepRun, recollRun;
    searchIndex(index, byName, &nameHits); // warm
    for (int i = 0; i < options.runs; ++i) {
        indexName.push_back(searchIndex(index, byName, &nameHits));
        locateName.push_back((locateRun = runTimed(locateCommand)).wall);
        if (namesOnly)
            continue;
        indexContent.push_back(searchIndex(index, byContent, &contentHits));
        grepContent.push_back((grepRun = runTimed(grepCommand)).wall);
        if (withRecoll)
            recollContent.push_back((recollRun = recoll.query(QStringLiteral("budget"))).wall);
    }
    std::printf("\nin-process index search (no client, no D-Bus, no reply) beside whole peer processes, %d runs, medians\n", options.runs);
    compare("find named", indexName, "plocate", locateName);
    std::printf("  hits: index %d, plocate %lld (plocate has no size bound and keeps hidden files)\n", nameHits,
                qlonglong(locateRun.output.count('\n')));
    if (!namesOnly) {
        compare("find containing", indexContent, "grep -rliw", grepContent);
        std::printf("  hits: index %d (documents and text, < 4 MB), grep %lld (any file)\n", contentHits,
                    qlonglong(grepRun.output.count('\n')));
        if (withRecoll) {
            compare("find containing", indexContent, "recollq", recollContent);
            std::printf("  hits: index %d, recollq %lld%s\n", contentHits, qlonglong(recollRun.output.count('\n')), qPrintable(recollNote));
        }
    }
    const QString fresh = QFileInfo(tree).absoluteFilePath() + QStringLiteral("/tax return fresh.txt");
    std::printf("update     visible %.3f s after the write\n", secondsUntilFound(index, fresh));
    index.stop();

    // ---- the daemon, idle with its index open
    const Memory memory = wendle.idleDaemonMemory();
    std::printf("memory     wendle daemon idle with the index open: VmRSS %.1f MB (anonymous %.1f MB, files %.1f MB)%s\n",
                memory.residentKb / 1024.0, memory.anonymousKb / 1024.0, memory.fileKb / 1024.0,
                memory.residentKb ? "" : " (the daemon did not start)");
    if (namesOnly && !options.keepNamesTree)
        QDir(QFileInfo(tree).path()).removeRecursively();
    return 0;
}
