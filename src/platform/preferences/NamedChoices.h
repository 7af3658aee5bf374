#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>

namespace wendle {

// A table of the words a choice setting allows, one row each, the default
// first; a row is a struct whose `name` is the word. The stored word is
// compared trimmed and in any case, and an empty one names the default.
// Null for a word that names no row.
template <typename Row, std::size_t N> const Row *findNamedChoice(const std::array<Row, N> &rows, const QString &stored)
{
    static_assert(N > 0);
    const QString word = stored.trimmed().toLower();
    if (word.isEmpty())
        return &rows.front();
    for (const Row &row : rows) {
        if (word == QLatin1String(row.name))
            return &row;
    }
    return nullptr;
}

template <typename Row, std::size_t N> QStringList choiceNames(const std::array<Row, N> &rows)
{
    QStringList names;
    for (const Row &row : rows)
        names << QLatin1String(row.name);
    return names;
}

// The names as a sentence says them: "outbox, smtp or script".
inline QString namesInWords(const QStringList &names)
{
    return names.size() < 2 ? names.join(QString())
                            : names.first(names.size() - 1).join(QLatin1String(", ")) + QLatin1String(" or ") + names.last();
}

} // namespace wendle
