#pragma once

#include <QByteArray>
#include <QHash>
#include <QMimeDatabase>
#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// File kinds: the shared-mime-info type of a file and its description ("PDF
// document", "JPEG image"), which is what kMDItemKind compares against.
namespace wendle::search {

struct KindInfo {
    QString mimeName;
    QString comment;       // the kind as shown and compared, in the current locale
    QByteArray commentUtf8;
    bool isText = false;   // inherits text/plain: its content is worth reading
};

// Every type the MIME database knows, loaded once per process (tens of
// milliseconds, on the first search's walker thread) and read-only after that.
// Knowing every description lets a kind comparison be decided before the walk:
// a value no description matches, like the file-name value in
// *=='tax*return*'cd, never costs a type lookup.
class KindCatalogue {
public:
    static const KindCatalogue &instance();

    int size() const { return int(m_kinds.size()); }
    const KindInfo &at(int id) const { return m_kinds[std::size_t(id)]; }
    // -1 for a name the database does not list.
    int idOf(const QString &mimeName) const;
    int unknownId() const { return m_unknownId; }

    // Whether the type of a file name might differ from the type of any other name
    // with the same last suffix (the text after its last dot). The database mostly
    // types names by "*.suffix" globs, but a few globs look further: multi-part
    // suffixes ("*.tar.gz"), whole names and prefixes ("makefile", "readme*"), short
    // tails ("*~", "*,v") and a few wildcard forms ("*.so.[0-9]*"). Names those
    // might match take the full database lookup; every other name shares the
    // answer cached for its suffix.
    bool needsFullLookup(std::string_view name, std::string_view lastSuffix) const;

private:
    KindCatalogue();

    struct GuardedGlob {
        std::string literal; // lower case; a name without it cannot match
        std::string glob;    // lower case, for fnmatch
    };

    std::vector<KindInfo> m_kinds;
    QHash<QString, int> m_idByName;
    int m_unknownId = -1;
    std::unordered_map<std::string, std::vector<std::string>> m_multiPartTails; // by last suffix
    std::vector<std::string> m_namePrefixes;
    std::vector<GuardedGlob> m_guardedGlobs;
    std::size_t m_longestBareTail = 0;

    void add(const QMimeType &type);
    void classifyGlob(const QString &glob);
};

// Finds the kind of a file. One per walker thread: it keeps a cache of kinds by
// suffix, because the database takes microseconds per name and a walk meets the same
// few hundred suffixes over and over.
class KindResolver {
public:
    KindResolver();

    // The kind from the file name alone, or -1 when the name says nothing.
    int byName(std::string_view fileName);
    // The kind from the first bytes of the file.
    int byContent(std::string_view head);

private:
    const KindCatalogue &m_catalogue;
    QMimeDatabase m_database;
    std::unordered_map<std::string, int> m_bySuffix;

    int lookUp(const QString &fileName);
};

} // namespace wendle::search
