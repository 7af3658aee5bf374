// Times the search engine against find and grep doing the same selection on the same
// tree of 200 000+ files, in the same run, and prints the medians and their ratios.
//
//   build/bench/bench_search [runs]
//
// The tree is built once under /tmp and reused while its version stays the same.

#include "platform/search/FileSystemSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace wendle;

namespace {

// Bump when the tree below changes, so a stale cached tree is not reused.
const QString kTreeFolder = QStringLiteral("/tmp/wendle-bench-search-v2");
constexpr int kFiles = 200000;
constexpr qint64 kBound = 4194304;

const QString kFilenameQuery = QStringLiteral("*=='tax*return*'cd && kMDItemFSSize < 4194304");
const QString kContentQuery = QStringLiteral("((*=='budget'wcd || kMDItemTextContent == 'budget'cd) && kMDItemFSSize < 4194304) && (  "
                                             "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
                                             "kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd)");
// The endings the kind clauses above accept.
const QStringList kAcceptedKindEndings = {"document", "publication", "text", "image", "tiff"};

const std::vector<std::string> kNameWords = {
    "tax",       "return",   "budget",   "invoice", "report",    "photo",  "holiday", "meeting", "notes",  "draft",   "final",   "scan",
    "letter",    "contract", "summary",  "plan",    "data",      "backup", "song",    "video",   "family", "project", "school",  "receipt",
    "statement", "garden",   "house",    "car",     "insurance", "bank",   "party",   "wedding", "trip",   "beach",   "recipe",  "menu",
    "course",    "lesson",   "homework", "thesis",  "chapter",   "slides", "poster",  "flyer",   "ticket", "booking", "hotel",   "flight",
    "visa",      "passport", "salary",   "payslip", "pension",   "loan",   "rent",    "lease",   "deed",   "will",    "medical", "dentist"};
const std::vector<std::string> kTextWords = {
    "the",   "of",    "and",    "to",   "in",   "is",    "you",   "that", "it",    "he",    "was",     "for",   "on",    "are",    "as",
    "with",  "his",   "they",   "at",   "be",   "this",  "have",  "from", "or",    "one",   "had",     "by",    "word",  "but",    "not",
    "what",  "all",   "were",   "we",   "when", "your",  "can",   "said", "there", "use",   "an",      "each",  "which", "she",    "do",
    "how",   "their", "if",     "will", "up",   "other", "about", "out",  "many",  "then",  "them",    "these", "so",    "some",   "her",
    "would", "make",  "like",   "him",  "into", "time",  "has",   "look", "two",   "more",  "write",   "go",    "see",   "number", "no",
    "way",   "could", "people", "my",   "than", "first", "water", "been", "call",  "who",   "oil",     "its",   "now",   "find",   "long",
    "down",  "day",   "did",    "get",  "come", "made",  "may",   "part", "money", "spend", "account", "costs", "month", "year",   "plan"};
const std::vector<std::string> kBinaryExtensions = {"pdf", "jpg",  "png",  "gif",  "tiff", "mp3", "ogg", "mp4",    "odt",
                                                    "ods", "odp",  "docx", "xlsx", "pptx", "doc", "zip", "tar.gz", "deb",
                                                    "iso", "epub", "wav",  "avi",  "mkv",  "jar", "exe", "bak"};
const std::vector<std::string> kTextExtensions = {"txt", "md", "csv", "html", "c", "py", "sh", "log", "json", "xml"};
// One of these per folder, with text in it. The last three have no glob in the MIME
// database: the engine has to look at their first bytes.
const std::vector<std::string> kBareNames = {"README", "Makefile", "COPYING", "AUTHORS", "ChangeLog", "INSTALL", "LICENSE", "NEWS", "TODO"};
const std::vector<std::string> kSniffedNames = {"LICENSE", "NEWS", "TODO"};

struct TreeFacts {
    int files = 0;
    int folders = 0;
    int textFiles = 0;
    qint64 textBytes = 0;
};

class TreeBuilder {
public:
    explicit TreeBuilder(std::string root) : m_root(std::move(root)) {}

    TreeFacts build()
    {
        makeFolders();
        for (int i = 0; i < kFiles; ++i)
            addFile(m_folders[std::size_t(i) % m_folders.size()], i);
        for (std::size_t i = 0; i < m_folders.size(); ++i)
            addTextFile(m_folders[i] + "/" + kBareNames[i % kBareNames.size()], 512 + int(i % 4) * 1024);
        addHiddenAndOversized();
        return m_facts;
    }

private:
    std::string m_root;
    std::vector<std::string> m_folders;
    std::mt19937 m_random{20240601};
    TreeFacts m_facts;

    int below(int n) { return int(m_random() % unsigned(n)); }
    template <typename T> const T &pick(const std::vector<T> &list) { return list[std::size_t(below(int(list.size())))]; }

    void makeFolders()
    {
        for (int a = 0; a < 20; ++a) {
            const std::string area = m_root + "/area-" + std::to_string(a);
            m_folders.push_back(area);
            for (int b = 0; b < 10; ++b) {
                const std::string box = area + "/box " + std::to_string(b);
                m_folders.push_back(box);
                for (int c = 0; c < 10; ++c)
                    m_folders.push_back(box + "/shelf_" + std::to_string(c));
            }
        }
        for (const std::string &folder : m_folders)
            ::mkdir(folder.c_str(), 0755);
        m_facts.folders = int(m_folders.size());
    }

    std::string word()
    {
        std::string text = pick(kNameWords);
        const int style = below(20);
        if (style < 5)
            text[0] = char(std::toupper(text[0]));
        else if (style == 5)
            std::transform(text.begin(), text.end(), text.begin(), [](char c) { return char(std::toupper(c)); });
        return text;
    }

    std::string name(int serial, const std::string &extension)
    {
        static const std::vector<std::string> joiners = {" ", "_", "-"};
        const std::string joiner = pick(joiners);
        std::string text = word();
        for (int words = below(3); words > 0; --words)
            text += joiner + word();
        return text + joiner + std::to_string(serial) + "." + extension;
    }

    std::string prose(int bytes)
    {
        std::string text = "Notes";
        while (int(text.size()) < bytes) {
            text += below(12) == 0 ? ".\n" : below(8) == 0 ? ", " : " ";
            text += below(30000) == 0 ? (below(2) ? "budget" : "Budget") : pick(kTextWords);
        }
        return text + "\n";
    }

    void write(const std::string &path, const std::string &content, qint64 size = -1)
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        if (!content.empty() && ::write(fd, content.data(), content.size()) < 0)
            std::perror(path.c_str());
        if (size >= 0 && ::ftruncate(fd, size) != 0)
            std::perror(path.c_str());
        ::close(fd);
        ++m_facts.files;
    }

    void addTextFile(const std::string &path, int bytes)
    {
        const std::string text = prose(bytes);
        write(path, text);
        ++m_facts.textFiles;
        m_facts.textBytes += qint64(text.size());
    }

    void addFile(const std::string &folder, int serial)
    {
        const int roll = below(1000);
        if (roll < 20)
            return addTextFile(folder + "/" + name(serial, pick(kTextExtensions)), 1024 + below(15 * 1024));
        if (roll < 25) { // unknown to the MIME database by name, binary inside
            std::string junk(std::size_t(4 + below(200)), '\0');
            for (std::size_t i = 2; i < junk.size(); ++i) // the leading NULs mark it binary
                junk[i] = char(below(256));
            return write(folder + "/" + name(serial, "dat"), junk);
        }
        std::string content;
        if (below(10) < 3)
            content.assign(std::size_t(1 + below(200)), char('a' + below(26)));
        write(folder + "/" + name(serial, pick(kBinaryExtensions)), content);
    }

    void addHiddenAndOversized()
    {
        for (int a = 0; a < 20; ++a) {
            const std::string area = m_root + "/area-" + std::to_string(a);
            ::mkdir((area + "/.cache").c_str(), 0755);
            for (int i = 0; i < 50; ++i) {
                write(area + "/.cache/tax return " + std::to_string(i) + ".txt", "tax return budget\n");
                write(area + "/.tax return budget " + std::to_string(i) + ".pdf", "");
            }
            write(area + "/tax return big " + std::to_string(a) + ".pdf", "%PDF", kBound + a * 1000);
            write(area + "/budget big " + std::to_string(a) + ".pdf", "%PDF", kBound + a * 1000);
        }
        write(m_root + "/tax return edge below.pdf", "%PDF", kBound - 1);
        write(m_root + "/tax return edge at.pdf", "%PDF", kBound);
    }
};

QString treeRoot()
{
    return kTreeFolder + QStringLiteral("/tree");
}

void prepareTree()
{
    const QString marker = kTreeFolder + QStringLiteral("/complete");
    if (QFile::exists(marker)) {
        std::printf("tree: %s (reused; delete %s to rebuild)\n", qPrintable(treeRoot()), qPrintable(kTreeFolder));
        return;
    }
    QDir(kTreeFolder).removeRecursively();
    QDir().mkpath(treeRoot());
    QElapsedTimer timer;
    timer.start();
    const TreeFacts facts = TreeBuilder(QFile::encodeName(treeRoot()).toStdString()).build();
    QFile file(marker);
    file.open(QIODevice::WriteOnly);
    std::printf("tree: %s built in %.1f s: %d files in %d folders, %d of them text files with content (%.1f MB)\n", qPrintable(treeRoot()),
                double(timer.elapsed()) / 1000, facts.files, facts.folders, facts.textFiles, double(facts.textBytes) / 1e6);
}

// ---- what each side runs ----------------------------------------------------------

struct Run {
    double seconds = 0;
    std::vector<double> commandSeconds; // peers: one per command
    QSet<QString> paths;
};

Run runEngine(FileSystemSearch &search, const QString &query)
{
    Run run;
    QEventLoop loop;
    QString error;
    QElapsedTimer timer;
    timer.start();
    const bool started = search.start(
        query, SearchScope::Home, 0,
        [&](const QList<SearchHit> &hits) {
            run.seconds = double(timer.nsecsElapsed()) / 1e9;
            for (const SearchHit &hit : hits)
                run.paths.insert(hit.path);
            loop.quit();
        },
        &error);
    if (!started) {
        std::fprintf(stderr, "query refused: %s\n", qPrintable(error));
        std::exit(1);
    }
    loop.exec();
    return run;
}

Run runCommands(const QList<QStringList> &commands)
{
    Run run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the peers' fastest mode
    for (const QStringList &command : commands) {
        QProcess process;
        process.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        process.start(command.first(), command.mid(1));
        process.waitForFinished(-1);
        run.commandSeconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        run.seconds += run.commandSeconds.back();
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                run.paths.insert(QString::fromUtf8(line));
        }
    }
    return run;
}

// The names the kind clauses accept, as find and grep globs: every extension and
// bare name of the tree whose kind ends in one of the accepted words. textOnly keeps
// those whose content the engine reads.
QStringList acceptedGlobs(bool textOnly)
{
    const QMimeDatabase database;
    QStringList globs;
    auto consider = [&](const QString &glob, const QMimeType &type) {
        const QString kind = type.comment().toLower();
        const bool accepted = std::any_of(kAcceptedKindEndings.begin(), kAcceptedKindEndings.end(),
                                          [&](const QString &ending) { return kind.endsWith(ending); });
        if (accepted && (!textOnly || type.inherits(QStringLiteral("text/plain"))))
            globs << glob;
    };
    for (const auto *list : {&kBinaryExtensions, &kTextExtensions}) {
        for (const std::string &extension : *list) {
            const QString glob = QStringLiteral("*.") + QString::fromStdString(extension);
            consider(glob, database.mimeTypeForFile(glob.mid(1).prepend(u'x'), QMimeDatabase::MatchExtension));
        }
    }
    for (const std::string &bare : kBareNames) {
        const bool sniffed = std::find(kSniffedNames.begin(), kSniffedNames.end(), bare) != kSniffedNames.end();
        consider(QString::fromStdString(bare), sniffed
                                                   ? database.mimeTypeForData(QByteArray("Notes the of and\n"))
                                                   : database.mimeTypeForFile(QString::fromStdString(bare), QMimeDatabase::MatchExtension));
    }
    return globs;
}

QStringList filenamePeer()
{
    return {"find",  treeRoot(), "-name",  ".*",          "-prune", "-o",
            "-type", "f",        "-iname", "tax*return*", "-size",  QStringLiteral("-%1c").arg(kBound),
            "-print"};
}

QList<QStringList> contentPeers()
{
    // The most selective test first and the stat last, so that find does as little
    // as it can. The kinds go into one regular expression: find's optimiser would
    // hoist a group of -iname alternatives in front of the name test.
    QStringList extensions;
    QStringList bareNames;
    for (const QString &glob : acceptedGlobs(false)) {
        if (glob.startsWith(QStringLiteral("*.")))
            extensions << QRegularExpression::escape(glob.mid(2));
        else
            bareNames << QRegularExpression::escape(glob);
    }
    const QString kinds = QStringLiteral(".*/([^/]*\\.(%1)|%2)").arg(extensions.join(u'|'), bareNames.join(u'|'));
    const QStringList find = {"find",    treeRoot(), "-name",      ".*",
                              "-prune",  "-o",       "-type",      "f",
                              "-iname",  "*budget*", "-regextype", "posix-extended",
                              "-iregex", kinds,      "-size",      QStringLiteral("-%1c").arg(kBound),
                              "-print"};
    // grep: the first --include makes unmatched files excluded; for a file matching
    // several options the last one wins, so the hidden-file exclusions come last.
    QStringList grep = {"grep", "-rliw"};
    for (const QString &glob : acceptedGlobs(true))
        grep << QStringLiteral("--include=") + glob;
    grep << "--exclude=.*"
         << "--exclude-dir=.*"
         << "budget" << treeRoot();
    return {find, grep};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *title, const QString &query, const QList<QStringList> &peers, const std::vector<Run> &engine,
            const std::vector<Run> &peer)
{
    std::vector<double> engineTimes, peerTimes;
    for (const Run &run : engine)
        engineTimes.push_back(run.seconds);
    for (const Run &run : peer)
        peerTimes.push_back(run.seconds);
    std::printf("\n%s\n  engine: %s\n", title, qPrintable(query));
    for (std::size_t i = 0; i < std::size_t(peers.size()); ++i) {
        std::vector<double> times;
        for (const Run &run : peer)
            times.push_back(run.commandSeconds[i]);
        std::printf("  peer:   %s\n          (median %.3f s)\n", qPrintable(peers[qsizetype(i)].join(u' ')), median(times));
    }
    const bool same = engine.front().paths == peer.front().paths;
    std::printf("  hits: engine %lld, peer %lld, same files: %s\n", qlonglong(engine.front().paths.size()),
                qlonglong(peer.front().paths.size()), same ? "yes" : "NO");
    if (!same) {
        const auto show = [](const char *side, const QSet<QString> &only) {
            int shown = 0;
            for (const QString &path : only) {
                if (shown++ == 5)
                    break;
                std::printf("    only %s: %s\n", side, qPrintable(path));
            }
        };
        show("engine", engine.front().paths - peer.front().paths);
        show("peer", peer.front().paths - engine.front().paths);
    }
    std::printf("  runs (s): engine");
    for (double t : engineTimes)
        std::printf(" %.3f", t);
    std::printf(" | peer");
    for (double t : peerTimes)
        std::printf(" %.3f", t);
    std::printf("\n  median: engine %.3f s, peer %.3f s, ratio engine/peer %.2f\n", median(engineTimes), median(peerTimes),
                median(engineTimes) / median(peerTimes));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    prepareTree();
    FileSystemSearch search(treeRoot());
    const QList<QStringList> filenameCommands = {filenamePeer()};
    const QList<QStringList> contentCommands = contentPeers();

    // One untimed round first, so every side meets a warm page cache.
    runEngine(search, kFilenameQuery);
    runCommands(filenameCommands);
    runEngine(search, kContentQuery);
    runCommands(contentCommands);

    std::vector<Run> engineByName, peerByName, engineByContent, peerByContent;
    for (int i = 0; i < runs; ++i) { // interleaved, so load from elsewhere hits both sides alike
        engineByName.push_back(runEngine(search, kFilenameQuery));
        peerByName.push_back(runCommands(filenameCommands));
        engineByContent.push_back(runEngine(search, kContentQuery));
        peerByContent.push_back(runCommands(contentCommands));
    }
    std::printf("\n%d runs each; the engine uses 2 walker threads, the peers run with LC_ALL=C; "
                "a peer's time is the sum of its commands\n",
                runs);
    report("filename query", kFilenameQuery, filenameCommands, engineByName, peerByName);
    report("content query (documents and images)", kContentQuery, contentCommands, engineByContent, peerByContent);
    return 0;
}
