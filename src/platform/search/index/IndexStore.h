#pragma once

#include "platform/search/index/StoredFolder.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace wendle::search {

// One indexed file as stored.
struct IndexedFile {
    std::int64_t id = 0;
    std::string path; // UTF-8 as the file system gave it
    std::string name;
    std::string kind; // MIME type name
    std::int64_t size = 0;
    std::int64_t mtime = 0; // nanoseconds
    bool hasText = false;
    bool textCut = false; // the index keeps only the start of its text
    // The first bytes of its folded text: enough to rule out a value that must
    // start the text without unpacking the text itself.
    std::string textHead;
    bool unreadable = false; // its text could not be extracted
};

// The index database: one SQLite file in WAL mode, so that searches read while the
// indexer writes, and a crash (even kill -9) loses at most the last transaction.
// Files are stored by folder id and name; a folder's path is kept once.
// The names and texts are looked up, folded for case and diacritics, in two
// contentless FTS5 tables with the trigram tokenizer, which answers substring and
// wildcard lookups. They keep no positions (detail=none): a third of the size and
// build time, and the candidates they give are checked against the query anyway.
// A contentless table forgets a row only when given the very values it indexed:
// the folded name is made again from the stored name, and the folded text is kept
// compressed beside it, which is also what a search checks its candidates against.
//
// One IndexStore per thread: a connection is not shared.
class IndexStore {
public:
    IndexStore() = default;
    ~IndexStore();
    IndexStore(const IndexStore &) = delete;
    IndexStore &operator=(const IndexStore &) = delete;

    // Opens (creating when missing) the database at path. A file that is not a
    // sound index of this layout is deleted and made anew when `repair` is set;
    // *repaired then says so. False with *error when the folder or disk refuses.
    bool open(const QString &path, bool repair, bool *repaired, QString *error);
    // Opens an existing index to read it, without any check: a search must start
    // at once, and the keeper of the index has checked it.
    bool openForReading(const QString &path);
    bool isOpen() const { return m_db != nullptr; }
    // A file made by a start that ended before its first transaction.
    bool hasNoTables();
    void close();

    bool begin();
    bool commit();
    // Gives back the pages cached for this connection; they are read again as needed.
    void releaseMemory();

    // Inserts or replaces the file at file.path; folded text goes to the text table,
    // up to kKeptTextBytes of it.
    bool put(const IndexedFile &file, std::string_view foldedText);
    bool remove(std::string_view path);
    // Removes the folder's files and everything below it.
    bool removeBelow(std::string_view folder);
    // Calls each with every folder holding indexed files.
    void forEachFolder(const std::function<void(std::string_view)> &each);
    // Files directly in `folder`, sealed; and the names of those files.
    StoredFolder filesIn(std::string_view folder);
    void forEachNameIn(std::string_view folder, const std::function<void(std::string_view)> &each);
    std::optional<StoredState> stateOf(std::string_view path);
    std::optional<std::string> text(std::int64_t id);
    // The files whose text the FTS query over the texts table finds, and those
    // whose text is kept cut, which it cannot rule out.
    std::optional<std::unordered_set<std::int64_t>> textMatches(const std::string &ftsQuery);

    std::optional<QString> meta(const char *key);
    bool setMeta(const char *key, const QString &value);
    std::int64_t count(bool withText);

    // Runs a SELECT over files (id, path, name, kind, size, mtime, has_text) with
    // the given WHERE clause and bound text arguments; stops when visit says so.
    bool select(const std::string &where, const std::vector<std::string> &arguments, const std::function<bool(const IndexedFile &)> &visit,
                QString *error);

    QString lastError() const;

    // The most of a file's folded text kept: what a search reads of a file anyway
    // (kMaxContentBytes). Folding can lengthen a text; a file whose folded text is
    // longer is kept cut, always a candidate, and a search reads it from the disk.
    static constexpr std::size_t kKeptTextBytes = std::size_t(1) << 20;
    static constexpr std::size_t kTextHeadBytes = 32;

private:
    sqlite3 *m_db = nullptr;
    std::unordered_map<std::string, sqlite3_stmt *> m_statements;
    // The folder of the last file put, which is most often the next one's.
    std::string m_lastFolder;
    std::int64_t m_lastFolderId = 0;
    std::string m_folded;

    sqlite3_stmt *statement(const char *sql);
    bool exec(const char *sql);
    bool createSchema();
    bool putRows(const IndexedFile &file, std::string_view foldedText);
    void addFunctions();
    // The folder's id; 0 when it has none and `create` is not set, or on failure.
    std::int64_t folderId(std::string_view folder, bool create);
    // Whether the file checks out and is of this layout; nothing when it cannot be checked.
    std::optional<bool> sound();
};

} // namespace wendle::search
