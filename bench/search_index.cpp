// Times the search index against plocate (names) and grep (contents) on the tree
// bench_search builds, in the same run, and prints the figures and their ratios:
// the build, "find named" and "find containing" from the index, how soon a new
// file is found, the memory held and the size on disk.
//
//   build/bench/bench_search        # once, to build the tree
//   build/bench/bench_search_index [runs]

#include "platform/search/FileWalker.h"
#include "platform/search/QueryEvaluator.h"
#include "platform/search/SearchQuery.h"
#include "platform/search/index/SearchIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace wendle;
using namespace wendle::search;

namespace {

const QString kTree = QStringLiteral("/tmp/wendle-bench-search-v2/tree");
const QString kWork = QStringLiteral("/tmp/wendle-bench-search-index");
const QString kFilenameQuery = QStringLiteral("*=='tax*return*'cd && kMDItemFSSize < 4194304");
const QString kContentQuery = QStringLiteral(
    "((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
    "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
    "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)");

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double runCommand(const QStringList &command, int *lines = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(command.first(), command.mid(1));
    process.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (lines)
        *lines = int(process.readAllStandardOutput().count('\n'));
    return seconds;
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

CompiledQuery compile(const QString &text)
{
    QString error;
    return CompiledQuery(*parseQuery(text, &error));
}

qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

void compare(const char *title, const std::vector<double> &engine, const char *peerName, const std::vector<double> &peer)
{
    std::printf("%s: index %.4f s, %s %.4f s, ratio %.2f\n", title, median(engine), peerName, median(peer),
                median(engine) / median(peer));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!QDir(kTree).exists()) {
        std::fprintf(stderr, "no tree at %s: run bench_search first\n", qPrintable(kTree));
        return 1;
    }
    QDir(kWork).removeRecursively();
    QDir().mkpath(kWork);
    const QString database = kWork + QStringLiteral("/search-index.sqlite");
    const QString locateDb = kWork + QStringLiteral("/plocate.db");

    // Builds: ours at idle priority as in Wendle, plocate's updatedb on the same tree.
    int logLines = 0;
    SearchIndex index(database, kTree, [&logLines](const QString &line) {
        if (++logLines <= 3)
            std::printf("  log: %s\n", qPrintable(line));
    });
    QElapsedTimer timer;
    timer.start();
    index.start();
    index.waitUntilReady(3600 * 1000);
    const double indexBuild = double(timer.nsecsElapsed()) / 1e9;
    const double locateBuild = runCommand({"updatedb", "-l", "0", "-U", kTree, "-o", locateDb});
    std::printf("build: index %.1f s (%d log lines), updatedb %.1f s, ratio %.1f\n", indexBuild, logLines,
                locateBuild, indexBuild / locateBuild);
    const SearchIndex::Status status = SearchIndex::readStatus(database);
    std::printf("index: %lld files, %lld with text, %.1f MB on disk\n", qlonglong(status.files),
                qlonglong(status.filesWithText), double(status.databaseBytes) / 1e6);

    const CompiledQuery byName = compile(kFilenameQuery);
    const CompiledQuery byContent = compile(kContentQuery);
    std::vector<double> indexName, locateName, indexContent, grepContent;
    int hits = 0, lines = 0;
    searchIndex(index, byName, &hits); // warm
    for (int i = 0; i < runs; ++i) {
        indexName.push_back(searchIndex(index, byName, &hits));
        locateName.push_back(runCommand({"plocate", "-d", locateDb, "-i", "-b", "tax*return*"}, &lines));
        indexContent.push_back(searchIndex(index, byContent, &hits));
        grepContent.push_back(runCommand({"grep", "-rliw", "--exclude-dir=.*", "budget", kTree}, &lines));
    }
    std::printf("\n%d runs, medians\n", runs);
    compare("find named", indexName, "plocate", locateName);
    std::printf("  hits: index %d, plocate %d lines (plocate has no size bound and keeps hidden files)\n", hits, lines);
    compare("find containing", indexContent, "grep -rliw", grepContent);

    // How soon a new file is found.
    const QString fresh = kTree + QStringLiteral("/area-3/tax return fresh.txt");
    QFile::remove(fresh);
    QThread::msleep(500);
    timer.restart();
    QFile file(fresh);
    file.open(QIODevice::WriteOnly);
    file.write("fresh");
    file.close();
    while (timer.elapsed() < 10000) {
        const std::atomic<bool> cancelled{false};
        const std::optional<QList<SearchHit>> found = index.search(byName, cancelled);
        if (found && std::any_of(found->begin(), found->end(), [&](const SearchHit &hit) { return hit.path == fresh; }))
            break;
        QThread::msleep(10);
    }
    std::printf("update visible after %.3f s\n", double(timer.nsecsElapsed()) / 1e9);
    QFile::remove(fresh);
    QThread::sleep(2);
    std::printf("resident memory of this process with the index open and idle: %.1f MB\n",
                double(residentKilobytes()) / 1024);
    index.stop();
    return 0;
}
