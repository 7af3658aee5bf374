#include "platform/search/FileSystemSearch.h"

#include "platform/search/FileWalker.h"
#include "platform/search/QueryEvaluator.h"
#include "platform/search/SearchQuery.h"
#include "platform/search/index/SearchIndex.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>

#include <malloc.h>

#include <algorithm>

namespace wendle {

namespace {

// Ascending by relevance, then path: the order the caller reads from the end.
void sortHits(QList<SearchHit> &hits)
{
    std::sort(hits.begin(), hits.end(), [](const SearchHit &a, const SearchHit &b) {
        if (a.relevance != b.relevance)
            return a.relevance < b.relevance;
        return a.path < b.path;
    });
}

} // namespace

FileSystemSearch::FileSystemSearch(QString homePath, QString computerRoot)
    : m_homePath(std::move(homePath))
    , m_computerRoot(std::move(computerRoot))
    , m_receiver(std::make_unique<QObject>())
{}

FileSystemSearch::~FileSystemSearch()
{
    cancel();
    // m_receiver goes next, and with it any result still queued for it.
}

bool FileSystemSearch::start(const QString &queryText, SearchScope scope, qsizetype listLength,
                             std::function<void(const QList<SearchHit> &)> onFinished, QString *error)
{
    std::optional<search::QueryNode> query = search::parseQuery(queryText, error);
    if (!query)
        return false;
    cancel();
    const quint64 generation = ++m_generation;
    m_onFinished = std::move(onFinished);
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    const QString root = QDir::cleanPath(scope == SearchScope::Home ? m_homePath : m_computerRoot);
    const search::SearchIndex *index = m_index && m_index->root() == root ? m_index : nullptr;
    m_walk = std::thread([this, receiver = m_receiver.get(), generation, threads = m_threads, cancelled = m_cancelled,
                          root = QFile::encodeName(root).toStdString(), query = std::move(*query), index, listLength] {
        // Compiling reads the MIME database, which can take a while the first time:
        // it belongs on this thread too.
        const search::CompiledQuery compiled(query);
        std::optional<QList<SearchHit>> indexed = index ? index->search(compiled, *cancelled, listLength) : std::nullopt;
        QList<SearchHit> hits =
            indexed ? std::move(*indexed) : search::walkAndMatch(compiled, root, search::foldersOutsideAnySearch(), threads, *cancelled);
        if (cancelled->load())
            return;
        sortHits(hits);
        if (listLength > 0 && hits.size() > listLength)
            hits.remove(0, hits.size() - listLength);
        // Queued to the receiver, so it runs on the caller's thread. `this` is only
        // touched there, and the receiver dies with the adapter, dropping the call.
        QMetaObject::invokeMethod(
            receiver, [this, generation, hits = std::move(hits)] { finish(generation, hits); }, Qt::QueuedConnection);
        // A walk or an index lookup leaves freed buffers with the allocator; Wendle
        // mostly idles between searches, so they go back to the system.
        indexed.reset();
        ::malloc_trim(0);
    });
    return true;
}

void FileSystemSearch::cancel()
{
    ++m_generation; // whatever is already queued is now stale
    m_onFinished = nullptr;
    if (!m_walk.joinable())
        return;
    m_cancelled->store(true);
    m_walk.join();
}

void FileSystemSearch::finish(quint64 generation, const QList<SearchHit> &hits)
{
    if (generation != m_generation || !m_onFinished)
        return;
    // The callback may start the next search, which replaces m_onFinished.
    const auto onFinished = std::move(m_onFinished);
    m_onFinished = nullptr;
    onFinished(hits);
}

} // namespace wendle
