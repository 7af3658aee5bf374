#pragma once

#include "platform/search/MetadataSearch.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

// Readable failure messages for paths.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace wendle::test {

// Runs one search and waits for its answer through the event loop.
inline QList<SearchHit> searchAndWait(MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
{
    std::optional<QList<SearchHit>> answer;
    QEventLoop loop;
    QString error;
    const bool started = search.start(
        query, scope, 0,
        [&](const QList<SearchHit> &hits) {
            answer = hits;
            loop.quit();
        },
        &error);
    EXPECT_TRUE(started) << error.toStdString();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit); // only a guard against a hang
    if (started && !answer)
        loop.exec();
    EXPECT_TRUE(answer || !started) << "the search never finished";
    return answer.value_or(QList<SearchHit>());
}

// The hits' paths below root, sorted.
inline QStringList foundBelow(const QString &root, MetadataSearch &search, const QString &query, SearchScope scope = SearchScope::Home)
{
    QStringList paths;
    for (const SearchHit &hit : searchAndWait(search, query, scope))
        paths << QDir(root).relativeFilePath(hit.path);
    paths.sort();
    return paths;
}

} // namespace wendle::test
