#pragma once

#include "platform/search/extract/TextExtraction.h"

#include <QByteArray>
#include <QHash>
#include <QMimeDatabase>
#include <QString>

#include <array>
#include <bitset>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// File kinds: the shared-mime-info type of a file, its description ("PDF
// document", "JPEG image") and the kind words that kMDItemKind compares against.
namespace wendle::search {

struct KindInfo {
    QString mimeName;
    QByteArray mimeNameUtf8;
    std::vector<std::string> kindWords;   // what kind comparisons match, in any locale
    bool isText = false;                  // inherits text/plain
    TextFormat format = TextFormat::None; // how its text is read; None: it has none
};

// Every type the MIME database knows, loaded once per process (tens of
// milliseconds, on the first search's walker thread) and read-only after that.
// Knowing every kind lets a kind comparison be decided before the walk:
// a value no kind matches, like the file-name value in
// *=='tax*return*'cd, never costs a type lookup.
class KindCatalogue {
public:
    static const KindCatalogue &instance();

    int size() const { return int(m_kinds.size()); }
    const KindInfo &at(int id) const { return m_kinds[std::size_t(id)]; }
    // -1 for a name the database does not list.
    int idOf(const QString &mimeName) const;
    int unknownId() const { return m_unknownId; }
    // The kind as shown, in the current locale ("PDF document"). Asked for hits
    // only: the descriptions of every type, in every language, would take
    // megabytes kept for nothing.
    QString commentOf(int id) const;

    // The part of a file name that decides its kind, so that names sharing it share
    // one database lookup. The database mostly types names by "*.suffix" globs, so
    // usually that is the last suffix with its dot (".pdf"); for a multi-part
    // suffix glob it is that suffix (".tar.gz"). A few globs look at the whole name
    // ("makefile", "readme*", "*~", "*.so.[0-9]*"): names they might match, and
    // names without a dot, are decided by the whole name. A part starting with a
    // dot is probed as "<probe base><part>".
    std::string_view kindDecidingPart(std::string_view name) const;

private:
    KindCatalogue();

    struct GuardedGlob {
        std::string literal; // lower case; a name without it cannot match
        bool literalAtEnd = false;
        std::string glob; // lower case, for fnmatch
    };

    std::vector<KindInfo> m_kinds;
    QHash<QString, int> m_idByName;
    int m_unknownId = -1;
    std::unordered_map<std::string, std::vector<std::string>> m_multiPartTails; // by last suffix
    std::bitset<16 * 256> m_multiPartShapes;
    std::array<std::vector<std::string>, 256> m_namePrefixes; // by first character
    std::vector<GuardedGlob> m_guardedGlobs;
    std::vector<std::string> m_bareTails; // "*~", "*,v": no dot in what they match
    std::size_t m_longestBareTail = 0;

    static std::size_t shapeOf(std::string_view lastSuffix);
    bool decidedByWholeName(std::string_view name, std::string_view lastSuffix) const;
    std::size_t multiPartTailLength(std::string_view name, std::string_view lastSuffix) const;

    void add(const QMimeType &type, bool withGlobs);
    void classifyGlob(const QString &glob);
};

// Finds the kind of a file the way the desktop does: by its name (the globs of
// shared-mime-info, QMimeDatabase::MatchExtension), and only when the name says
// nothing by its first bytes (magic rules; a file of plain text reads as
// text/plain). Sniffing costs a read and tens of microseconds of rule matching, so
// the name is never second-guessed by the content.
//
// One per walker thread: it keeps a cache of kinds by the part of the name that
// decides them, because the database takes microseconds per name and a walk meets
// the same few hundred suffixes over and over.
class KindResolver {
public:
    KindResolver();

    // The kind from the file name alone, or -1 when the name says nothing.
    int byName(std::string_view fileName);
    // The kind from the first bytes of the file.
    int byContent(std::string_view head);

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };

    const KindCatalogue &m_catalogue;
    QMimeDatabase m_database;
    std::unordered_map<std::string, int, TextHash, std::equal_to<>> m_byPart;

    int lookUp(const QString &fileName);
};

} // namespace wendle::search
