#pragma once

#include "platform/search/MetadataSearch.h"

#include <QDir>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class QObject;

namespace wendle {

namespace search {
class SearchIndex;
}

// The metadata search of Linux: our own engine, walking the scope's folders on a
// background thread and testing each file against the query (see
// search/QueryEvaluator.h for how and in which order attributes are read).
//
// Use it from one thread, the one that created it: the finished callback is
// delivered through that thread's event loop. A query text that does not parse is
// refused and leaves a search already running untouched. Starting a search while another runs,
// cancelling, or destroying the adapter stops the running walk and waits for it,
// which takes a moment at most: the walk checks for cancellation at every entry.
class FileSystemSearch : public MetadataSearch {
public:
    explicit FileSystemSearch(QString homePath = QDir::homePath(), QString computerRoot = QStringLiteral("/"));
    ~FileSystemSearch() override;
    FileSystemSearch(const FileSystemSearch &) = delete;
    FileSystemSearch &operator=(const FileSystemSearch &) = delete;

    bool start(const QString &queryText, SearchScope scope, qsizetype listLength, std::function<void(const QList<SearchHit> &)> onFinished,
               QString *error) override;
    void cancel() override;

    // Walker threads; two by default, enough to keep a disk and a core busy
    // without taking the whole machine from its owner.
    void setThreadCount(int threads) { m_threads = threads; }
    // Searches of the home folder are answered from this index once it is ready;
    // until then, and for the whole computer, the walk answers.
    void setIndex(const search::SearchIndex *index) { m_index = index; }

private:
    QString m_homePath;
    QString m_computerRoot;
    int m_threads = 2;
    const search::SearchIndex *m_index = nullptr;
    std::unique_ptr<QObject> m_receiver; // lives on the caller's thread
    std::thread m_walk;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    quint64 m_generation = 0;
    std::function<void(const QList<SearchHit> &)> m_onFinished;

    void finish(quint64 generation, const QList<SearchHit> &hits);
};

} // namespace wendle
