#include "platform/search/index/IndexStore.h"

#include "platform/search/TextFolding.h"
#include "platform/search/index/StoredText.h"

#include <QChar>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <mutex>

namespace wendle::search {

namespace {

// Bump when the layout or what is stored changes: an older file is rebuilt.
constexpr const char *kLayoutVersion = "6";

// The layout, and the Unicode tables the folding comes from: a name is forgotten
// by folding it again, which must give what was indexed.
QString layoutVersion()
{
    return QStringLiteral("%1 unicode %2").arg(QLatin1String(kLayoutVersion)).arg(int(QChar::currentUnicodeVersion()));
}

// Splits a path into its folder and name; the root's files are in "/".
std::pair<std::string_view, std::string_view> folderAndName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {std::string_view(), path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

std::string joined(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (path != "/")
        path += '/';
    path.append(name);
    return path;
}

std::string_view columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? std::string_view(text, std::size_t(sqlite3_column_bytes(statement, column))) : std::string_view();
}

void bindText(sqlite3_stmt *statement, int index, std::string_view text)
{
    sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// SQLite's memory in all, every connection together: past this it gives back
// cached pages before it takes more. The index is read a few pages at a time and
// Wendle idles most of the time, so a large cache would only weigh on the machine.
constexpr sqlite3_int64 kSoftHeapLimit = 8 << 20;

void boundSqliteMemory()
{
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_soft_heap_limit64(kSoftHeapLimit); });
}

// Steps a statement that returns no rows, then makes it ready for the next use.
bool run(sqlite3_stmt *statement)
{
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return result == SQLITE_DONE || result == SQLITE_ROW;
}

} // namespace

IndexStore::~IndexStore()
{
    close();
}

void IndexStore::close()
{
    for (auto &entry : m_statements)
        sqlite3_finalize(entry.second);
    m_statements.clear();
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
    m_lastFolderId = 0;
}

QString IndexStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("the index is not open");
}

bool IndexStore::exec(const char *sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt *IndexStore::statement(const char *sql)
{
    const auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return found->second;
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &prepared, nullptr) != SQLITE_OK)
        return nullptr;
    m_statements.emplace(sql, prepared);
    return prepared;
}

bool IndexStore::open(const QString &path, bool repair, bool *repaired, QString *error)
{
    close();
    boundSqliteMemory();
    if (repaired)
        *repaired = false;
    QDir().mkpath(QFileInfo(path).path());
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        const bool opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) == SQLITE_OK;
        std::optional<bool> isSound;
        if (opened) {
            addFunctions();
            sqlite3_busy_timeout(m_db, 5000);
            // A small page cache: the index serves a few lookups, not scans, and
            // Wendle idles most of the time.
            exec("PRAGMA cache_size=-2048");
            if (exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL"))
                isSound = sound();
            if (isSound == true && createSchema())
                return true;
        }
        // Only a damaged index is thrown away: one on a full or read-only disk
        // is still good once the disk is.
        const int code = m_db ? (sqlite3_errcode(m_db) & 0xff) : SQLITE_CANTOPEN;
        const bool damaged = isSound == false || code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
        const QString problem = lastError();
        close();
        if (!repair || attempt > 0 || !damaged) {
            if (error)
                *error = problem;
            return false;
        }
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(suffix));
        if (repaired)
            *repaired = true;
    }
    return false;
}

bool IndexStore::openForReading(const QString &path)
{
    close();
    boundSqliteMemory();
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    exec("PRAGMA cache_size=-2048");
    return true;
}

std::optional<bool> IndexStore::sound()
{
    sqlite3_stmt *check = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &check, nullptr) != SQLITE_OK)
        return std::nullopt;
    const int stepped = sqlite3_step(check);
    const bool ok = stepped == SQLITE_ROW && columnText(check, 0) == "ok";
    sqlite3_finalize(check);
    if (stepped != SQLITE_ROW)
        return std::nullopt;
    if (!ok)
        return false;
    // A new file has no tables yet; an old one must be of this layout.
    return hasNoTables() || meta("version") == layoutVersion();
}

void IndexStore::addFunctions()
{
    addStoredTextFunctions(m_db);
}

bool IndexStore::createSchema()
{
    // One transaction: a start killed midway leaves an empty file, which is
    // built on, never tables without the version that says what they are.
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    // has_text: 0 none, 1 kept whole, 2 kept cut. The texts of the few files kept
    // cut are always candidates, found by a small index of their own. head: the
    // text's first bytes, since a search by name asks of most texts only whether
    // they start with the value (0.6 MB at 20,000 texts, against unpacking them all).
    const bool created = exec("CREATE TABLE IF NOT EXISTS folders(folder INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE);"
                              "CREATE TABLE IF NOT EXISTS files(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, name TEXT NOT NULL,"
                              " kind TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL, has_text INTEGER NOT NULL,"
                              " unreadable INTEGER NOT NULL DEFAULT 0, head TEXT, UNIQUE(folder, name));"
                              "CREATE INDEX IF NOT EXISTS files_cut ON files(id) WHERE has_text = 2;"
                              "CREATE INDEX IF NOT EXISTS files_head ON files(head) WHERE head IS NOT NULL;"
                              "CREATE TABLE IF NOT EXISTS bodies(id INTEGER PRIMARY KEY, body BLOB NOT NULL);"
                              "CREATE VIRTUAL TABLE IF NOT EXISTS names USING fts5(name, content='', tokenize='trigram case_sensitive 1',"
                              " detail=none, columnsize=0);"
                              "CREATE VIRTUAL TABLE IF NOT EXISTS texts USING fts5(body, content='', tokenize='trigram case_sensitive 1',"
                              " detail=none, columnsize=0);"
                              "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                              "CREATE TRIGGER IF NOT EXISTS files_gone AFTER DELETE ON files BEGIN"
                              " INSERT INTO names(names, rowid, name) VALUES('delete', old.id, folded(old.name));"
                              " INSERT INTO texts(texts, rowid, body) SELECT 'delete', id, inflated(body) FROM bodies WHERE id = old.id;"
                              " DELETE FROM bodies WHERE id = old.id; END;");
    if (created && setMeta("version", layoutVersion()) && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    return false;
}

bool IndexStore::hasNoTables()
{
    sqlite3_stmt *tables = nullptr;
    sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &tables, nullptr);
    const bool empty = tables && sqlite3_step(tables) == SQLITE_ROW && sqlite3_column_int(tables, 0) == 0;
    sqlite3_finalize(tables);
    return empty;
}

bool IndexStore::begin()
{
    return exec("BEGIN IMMEDIATE");
}

bool IndexStore::commit()
{
    return exec("COMMIT");
}

void IndexStore::releaseMemory()
{
    if (m_db)
        sqlite3_db_release_memory(m_db);
}

std::int64_t IndexStore::folderId(std::string_view folder, bool create)
{
    if (m_lastFolderId != 0 && folder == m_lastFolder)
        return m_lastFolderId;
    sqlite3_stmt *find = statement("SELECT folder FROM folders WHERE path = ?");
    if (!find)
        return 0;
    bindText(find, 1, folder);
    std::int64_t id = sqlite3_step(find) == SQLITE_ROW ? sqlite3_column_int64(find, 0) : 0;
    sqlite3_reset(find);
    sqlite3_clear_bindings(find);
    if (id == 0 && create) {
        sqlite3_stmt *insert = statement("INSERT INTO folders(path) VALUES(?)");
        if (!insert)
            return 0;
        bindText(insert, 1, folder);
        if (!run(insert))
            return 0;
        id = sqlite3_last_insert_rowid(m_db);
    }
    if (id != 0) {
        m_lastFolder.assign(folder);
        m_lastFolderId = id;
    }
    return id;
}

bool IndexStore::put(const IndexedFile &file, std::string_view foldedText)
{
    // All of a file's rows or none: a file kept without its text would pass for
    // indexed, and never be read again while it stays as it is.
    sqlite3_stmt *savepoint = statement("SAVEPOINT put");
    sqlite3_stmt *release = statement("RELEASE put");
    sqlite3_stmt *rollback = statement("ROLLBACK TO put");
    if (!savepoint || !release || !rollback || !run(savepoint))
        return false;
    const bool stored = putRows(file, foldedText);
    if (!stored)
        run(rollback);
    return run(release) && stored;
}

bool IndexStore::putRows(const IndexedFile &file, std::string_view foldedText)
{
    if (!remove(file.path))
        return false;
    const std::int64_t folder = folderId(folderAndName(file.path).first, true);
    sqlite3_stmt *insert =
        statement("INSERT INTO files(folder, name, kind, size, mtime, has_text, unreadable, head) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    if (folder == 0 || !insert)
        return false;
    const std::string_view kept = keptPart(foldedText, kKeptTextBytes);
    sqlite3_bind_int64(insert, 1, folder);
    bindText(insert, 2, file.name);
    bindText(insert, 3, file.kind);
    sqlite3_bind_int64(insert, 4, file.size);
    sqlite3_bind_int64(insert, 5, file.mtime);
    sqlite3_bind_int(insert, 6, !file.hasText ? 0 : kept.size() < foldedText.size() ? 2 : 1);
    sqlite3_bind_int(insert, 7, file.unreadable ? 1 : 0);
    if (file.hasText)
        bindText(insert, 8, keptPart(kept, kTextHeadBytes));
    if (!run(insert))
        return false;
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_db);
    sqlite3_stmt *name = statement("INSERT INTO names(rowid, name) VALUES(?, ?)");
    if (!name)
        return false;
    m_folded.clear();
    appendFolded(file.name, m_folded);
    sqlite3_bind_int64(name, 1, id);
    bindText(name, 2, m_folded);
    if (!run(name))
        return false;
    if (!file.hasText)
        return true;
    sqlite3_stmt *text = statement("INSERT INTO texts(rowid, body) VALUES(?, ?)");
    sqlite3_stmt *body = statement("INSERT INTO bodies(id, body) VALUES(?, ?)");
    if (!text || !body)
        return false;
    sqlite3_bind_int64(text, 1, id);
    bindText(text, 2, kept);
    const QByteArray packed = packedText(kept);
    sqlite3_bind_int64(body, 1, id);
    sqlite3_bind_blob(body, 2, packed.constData(), int(packed.size()), SQLITE_TRANSIENT);
    return run(text) && run(body);
}

bool IndexStore::remove(std::string_view path)
{
    const auto [folder, name] = folderAndName(path);
    sqlite3_stmt *remove = statement("DELETE FROM files WHERE folder = (SELECT folder FROM folders WHERE path = ?) AND name = ?");
    if (!remove)
        return false;
    bindText(remove, 1, folder);
    bindText(remove, 2, name);
    return run(remove);
}

bool IndexStore::removeBelow(std::string_view folder)
{
    if (!remove(folder))
        return false;
    m_lastFolderId = 0;
    // Every path below "a/b" lies between "a/b/" and "a/b0": '0' follows '/'.
    sqlite3_stmt *files = statement("DELETE FROM files WHERE folder IN (SELECT folder FROM folders WHERE path = ?1"
                                    " OR (path >= ?1 || '/' AND path < ?1 || '0'))");
    sqlite3_stmt *folders = statement("DELETE FROM folders WHERE path = ?1 OR (path >= ?1 || '/' AND path < ?1 || '0')");
    if (!files || !folders)
        return false;
    bindText(files, 1, folder);
    bindText(folders, 1, folder);
    return run(files) && run(folders);
}

void IndexStore::forEachFolder(const std::function<void(std::string_view)> &each)
{
    sqlite3_stmt *select = statement("SELECT path FROM folders");
    if (!select)
        return;
    while (sqlite3_step(select) == SQLITE_ROW)
        each(columnText(select, 0));
    sqlite3_reset(select);
}

StoredFolder IndexStore::filesIn(std::string_view folder)
{
    StoredFolder files;
    sqlite3_stmt *count = statement("SELECT count(*) FROM files WHERE folder = (SELECT folder FROM folders WHERE path = ?)");
    if (count) {
        bindText(count, 1, folder);
        if (sqlite3_step(count) == SQLITE_ROW)
            files.reserve(std::size_t(sqlite3_column_int64(count, 0)));
        sqlite3_reset(count);
        sqlite3_clear_bindings(count);
    }
    sqlite3_stmt *select =
        statement("SELECT name, size, mtime, unreadable FROM files WHERE folder = (SELECT folder FROM folders WHERE path = ?)");
    if (select) {
        bindText(select, 1, folder);
        while (sqlite3_step(select) == SQLITE_ROW) {
            files.add(columnText(select, 0),
                      StoredState{sqlite3_column_int64(select, 1), sqlite3_column_int64(select, 2), sqlite3_column_int(select, 3) != 0});
        }
        sqlite3_reset(select);
        sqlite3_clear_bindings(select);
    }
    files.seal();
    return files;
}

void IndexStore::forEachNameIn(std::string_view folder, const std::function<void(std::string_view)> &each)
{
    sqlite3_stmt *select = statement("SELECT name FROM files WHERE folder = (SELECT folder FROM folders WHERE path = ?)");
    if (!select)
        return;
    bindText(select, 1, folder);
    while (sqlite3_step(select) == SQLITE_ROW)
        each(columnText(select, 0));
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
}

std::optional<StoredState> IndexStore::stateOf(std::string_view path)
{
    const auto [folder, name] = folderAndName(path);
    sqlite3_stmt *select =
        statement("SELECT size, mtime, unreadable FROM files WHERE folder = (SELECT folder FROM folders WHERE path = ?) AND name = ?");
    if (!select)
        return std::nullopt;
    bindText(select, 1, folder);
    bindText(select, 2, name);
    std::optional<StoredState> state;
    if (sqlite3_step(select) == SQLITE_ROW)
        state = StoredState{sqlite3_column_int64(select, 0), sqlite3_column_int64(select, 1), sqlite3_column_int(select, 2) != 0};
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    return state;
}

std::optional<std::string> IndexStore::text(std::int64_t id)
{
    sqlite3_stmt *select = statement("SELECT body FROM bodies WHERE id = ?");
    if (!select)
        return std::nullopt;
    sqlite3_bind_int64(select, 1, id);
    std::optional<std::string> body;
    if (sqlite3_step(select) == SQLITE_ROW) {
        if (const std::optional<QByteArray> text = unpackedText(sqlite3_column_blob(select, 0), sqlite3_column_bytes(select, 0)))
            body = text->toStdString();
    }
    sqlite3_reset(select);
    return body;
}

std::optional<std::unordered_set<std::int64_t>> IndexStore::textMatches(const std::string &ftsQuery)
{
    sqlite3_stmt *select = statement("SELECT rowid FROM texts WHERE texts MATCH ? UNION ALL SELECT id FROM files WHERE has_text = 2");
    if (!select)
        return std::nullopt;
    bindText(select, 1, ftsQuery);
    std::unordered_set<std::int64_t> ids;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(select)) == SQLITE_ROW)
        ids.insert(sqlite3_column_int64(select, 0));
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    if (result != SQLITE_DONE)
        return std::nullopt;
    return ids;
}

std::optional<QString> IndexStore::meta(const char *key)
{
    sqlite3_stmt *select = statement("SELECT value FROM meta WHERE key = ?");
    if (!select)
        return std::nullopt;
    bindText(select, 1, key);
    std::optional<QString> value;
    if (sqlite3_step(select) == SQLITE_ROW) {
        const std::string_view text = columnText(select, 0);
        value = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    sqlite3_reset(select);
    sqlite3_clear_bindings(select);
    return value;
}

bool IndexStore::setMeta(const char *key, const QString &value)
{
    sqlite3_stmt *upsert = statement("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    if (!upsert)
        return false;
    bindText(upsert, 1, key);
    const QByteArray utf8 = value.toUtf8();
    bindText(upsert, 2, std::string_view(utf8.constData(), std::size_t(utf8.size())));
    return run(upsert);
}

std::int64_t IndexStore::count(bool withText)
{
    sqlite3_stmt *select = statement(withText ? "SELECT count(*) FROM files WHERE has_text" : "SELECT count(*) FROM files");
    if (!select || sqlite3_step(select) != SQLITE_ROW)
        return 0;
    const std::int64_t total = sqlite3_column_int64(select, 0);
    sqlite3_reset(select);
    return total;
}

bool IndexStore::select(const std::string &where, const std::vector<std::string> &arguments,
                        const std::function<bool(const IndexedFile &)> &visit, QString *error)
{
    const std::string sql = "SELECT id, path, name, kind, size, mtime, has_text, head FROM files JOIN folders USING (folder)"
                            + (where.empty() ? std::string() : " WHERE " + where);
    sqlite3_stmt *query = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), int(sql.size()), &query, nullptr) != SQLITE_OK) {
        if (error)
            *error = lastError();
        return false;
    }
    for (std::size_t i = 0; i < arguments.size(); ++i)
        bindText(query, int(i) + 1, arguments[i]);
    IndexedFile file;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(query)) == SQLITE_ROW) {
        file.id = sqlite3_column_int64(query, 0);
        file.name.assign(columnText(query, 2));
        file.path = joined(columnText(query, 1), file.name);
        file.kind.assign(columnText(query, 3));
        file.size = sqlite3_column_int64(query, 4);
        file.mtime = sqlite3_column_int64(query, 5);
        file.hasText = sqlite3_column_int(query, 6) != 0;
        file.textCut = sqlite3_column_int(query, 6) == 2;
        file.textHead.assign(columnText(query, 7));
        if (!visit(file))
            break;
    }
    const bool ok = result == SQLITE_ROW || result == SQLITE_DONE;
    if (!ok && error)
        *error = lastError();
    sqlite3_finalize(query);
    return ok;
}

} // namespace wendle::search
