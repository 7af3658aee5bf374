#include "platform/search/FileKinds.h"

#include "platform/search/KindWords.h"

#include <QFile>
#include <QStandardPaths>

#include <fnmatch.h>

#include <algorithm>
#include <array>

namespace wendle::search {

namespace {

// A name no glob of the database starts with, so a probe "<base>.<suffix>" is typed
// by its suffix alone.
const QString kProbeBase = QStringLiteral("wendle-probe");

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[i]) != prefix[i])
            return false;
    }
    return true;
}

bool endsWithIgnoringCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && startsWithIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

bool containsIgnoringCase(std::string_view text, std::string_view literal)
{
    if (literal.empty())
        return true;
    for (std::size_t at = 0; at + literal.size() <= text.size(); ++at) {
        if (lower(text[at]) == literal.front() && startsWithIgnoringCase(text.substr(at), literal))
            return true;
    }
    return false;
}

bool isWildcard(char c)
{
    return c == '*' || c == '?' || c == '[' || c == ']';
}

// Characters a glob tail spans: a bracket class counts as one.
std::size_t spannedLength(std::string_view tail)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < tail.size(); ++i, ++length) {
        if (tail[i] == '[')
            i = std::min(tail.find(']', i), tail.size());
    }
    return length;
}

std::string longestLiteral(std::string_view glob)
{
    std::string best;
    std::string run;
    for (char c : glob) {
        if (isWildcard(c)) {
            run.clear();
            continue;
        }
        run += c;
        if (run.size() > best.size())
            best = run;
    }
    return best;
}

// What a name must end with (a glob ending in plain text) or else contain to match
// the glob: a cheap test before fnmatch.
std::string requiredLiteral(std::string_view glob, bool *atEnd)
{
    *atEnd = !glob.empty() && !isWildcard(glob.back());
    if (*atEnd) {
        std::size_t start = glob.size();
        while (start > 0 && !isWildcard(glob[start - 1]))
            --start;
        return std::string(glob.substr(start));
    }
    return longestLiteral(glob);
}

} // namespace

const KindCatalogue &KindCatalogue::instance()
{
    static const KindCatalogue catalogue;
    return catalogue;
}

namespace {

// The globs of shared-mime-info from its globs2 files ("weight:type:glob[:flags]"),
// read directly: asking each type for its globs makes Qt load and keep the whole
// description of every type. Empty when there are none (Qt's own database).
QStringList globsOfTheDatabase()
{
    QStringList globs;
    for (const QString &path : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(u'#'))
                continue;
            QStringList fields = line.split(u':');
            if (fields.size() < 3 || fields[2] == QLatin1String("__NOGLOBS__"))
                continue;
            if (fields.size() > 3 && fields.last() == QLatin1String("cs"))
                fields.removeLast();
            globs << fields.mid(2).join(u':');
        }
    }
    return globs;
}

} // namespace

KindCatalogue::KindCatalogue()
{
    const QMimeDatabase database;
    const QStringList globs = globsOfTheDatabase();
    for (const QMimeType &type : database.allMimeTypes())
        add(type, globs.isEmpty());
    for (const QString &glob : globs)
        classifyGlob(glob);
    m_unknownId = idOf(QStringLiteral("application/octet-stream"));
    if (m_unknownId < 0)
        add(database.mimeTypeForName(QStringLiteral("application/octet-stream")), false);
    m_unknownId = std::max(0, idOf(QStringLiteral("application/octet-stream")));
}

void KindCatalogue::add(const QMimeType &type, bool withGlobs)
{
    const int id = int(m_kinds.size());
    KindInfo info;
    info.mimeName = type.name();
    info.mimeNameUtf8 = info.mimeName.toUtf8();
    info.kindWords = kindWordsOf(type);
    info.isText = type.inherits(QStringLiteral("text/plain"));
    info.format = textFormatOf(type);
    m_kinds.push_back(std::move(info));
    m_idByName.insert(type.name(), id);
    for (const QString &alias : type.aliases())
        m_idByName.insert(alias, id);
    if (withGlobs) {
        for (const QString &glob : type.globPatterns())
            classifyGlob(glob);
    }
}

QString KindCatalogue::commentOf(int id) const
{
    return QMimeDatabase().mimeTypeForName(m_kinds[std::size_t(id)].mimeName).comment();
}

void KindCatalogue::classifyGlob(const QString &globText)
{
    const std::string glob = globText.toLower().toStdString();
    const auto hasAny = [](std::string_view text, const char *chars) { return text.find_first_of(chars) != std::string_view::npos; };
    if (glob.starts_with("*.")) {
        const std::string_view tail = std::string_view(glob).substr(2);
        if (!hasAny(tail, "*."))
            return; // "*.pdf", "*.[1-9]": decided by the last suffix alone
        if (!hasAny(tail, "*?[")) {
            const std::string lastSuffix(tail.substr(tail.rfind('.') + 1));
            m_multiPartTails[lastSuffix].push_back(glob.substr(1));
            if (!lastSuffix.empty())
                m_multiPartShapes.set(shapeOf(lastSuffix));
            return;
        }
    } else if (glob.starts_with('*')) {
        const std::string_view tail = std::string_view(glob).substr(1);
        if (!hasAny(tail, "*.")) {
            m_bareTails.push_back(glob);
            m_longestBareTail = std::max(m_longestBareTail, spannedLength(tail));
            return;
        }
    } else if (const std::size_t wildcard = glob.find_first_of("*?["); wildcard != 0) {
        const std::string prefix = glob.substr(0, wildcard);
        m_namePrefixes[static_cast<unsigned char>(prefix.front())].push_back(prefix);
        return;
    }
    GuardedGlob guarded;
    guarded.literal = requiredLiteral(glob, &guarded.literalAtEnd);
    guarded.glob = glob;
    m_guardedGlobs.push_back(std::move(guarded));
}

// Length and first letter of a suffix: a one-bit test rules out most suffixes that
// no multi-part glob ends with.
std::size_t KindCatalogue::shapeOf(std::string_view lastSuffix)
{
    return (std::min<std::size_t>(lastSuffix.size(), 15) << 8) | static_cast<unsigned char>(lower(lastSuffix.front()));
}

int KindCatalogue::idOf(const QString &mimeName) const
{
    return m_idByName.value(mimeName, -1);
}

std::string_view KindCatalogue::kindDecidingPart(std::string_view name) const
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return name;
    const std::string_view lastSuffix = name.substr(dot + 1);
    if (decidedByWholeName(name, lastSuffix))
        return name;
    const std::size_t tail = std::max(multiPartTailLength(name, lastSuffix), lastSuffix.size() + 1);
    return name.substr(name.size() - tail);
}

bool KindCatalogue::decidedByWholeName(std::string_view name, std::string_view lastSuffix) const
{
    for (const std::string &prefix : m_namePrefixes[static_cast<unsigned char>(lower(name.front()))]) {
        if (startsWithIgnoringCase(name, prefix))
            return true;
    }
    const auto matchesGlob = [&](const std::string &glob) { return fnmatch(glob.c_str(), std::string(name).c_str(), FNM_CASEFOLD) == 0; };
    // A tail like ",v" lies within the last suffix unless that suffix is shorter.
    if (lastSuffix.size() < m_longestBareTail && std::any_of(m_bareTails.begin(), m_bareTails.end(), matchesGlob))
        return true;
    return std::any_of(m_guardedGlobs.begin(), m_guardedGlobs.end(), [&](const GuardedGlob &guarded) {
        const bool possible =
            guarded.literalAtEnd ? endsWithIgnoringCase(name, guarded.literal) : containsIgnoringCase(name, guarded.literal);
        return possible && matchesGlob(guarded.glob);
    });
}

// The longest multi-part suffix glob ("*.tar.gz") the name ends with, without its
// star; 0 when there is none.
std::size_t KindCatalogue::multiPartTailLength(std::string_view name, std::string_view lastSuffix) const
{
    std::array<char, 16> lowerSuffix;
    if (lastSuffix.empty() || lastSuffix.size() > lowerSuffix.size() || !m_multiPartShapes.test(shapeOf(lastSuffix)))
        return 0;
    std::transform(lastSuffix.begin(), lastSuffix.end(), lowerSuffix.begin(), lower);
    const auto tails = m_multiPartTails.find(std::string(lowerSuffix.data(), lastSuffix.size()));
    if (tails == m_multiPartTails.end())
        return 0;
    std::size_t longest = 0;
    for (const std::string &tail : tails->second) {
        if (tail.size() > longest && endsWithIgnoringCase(name, tail))
            longest = tail.size();
    }
    return longest;
}

KindResolver::KindResolver() : m_catalogue(KindCatalogue::instance())
{}

int KindResolver::byName(std::string_view fileName)
{
    // Whole names vary without end; past this many the cache stops growing.
    constexpr std::size_t kMaxCached = 20000;
    const std::string_view part = m_catalogue.kindDecidingPart(fileName);
    if (const auto cached = m_byPart.find(part); cached != m_byPart.end())
        return cached->second;
    const QString probe = QString::fromUtf8(part.data(), qsizetype(part.size()));
    const int id = lookUp(part.starts_with('.') ? kProbeBase + probe : probe);
    if (m_byPart.size() < kMaxCached)
        m_byPart.emplace(std::string(part), id);
    return id;
}

int KindResolver::lookUp(const QString &fileName)
{
    const QMimeType type = m_database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (type.isDefault())
        return -1;
    const int id = m_catalogue.idOf(type.name());
    return id >= 0 ? id : m_catalogue.unknownId();
}

int KindResolver::byContent(std::string_view head)
{
    const QByteArray data = QByteArray::fromRawData(head.data(), qsizetype(head.size()));
    const int id = m_catalogue.idOf(m_database.mimeTypeForData(data).name());
    return id >= 0 ? id : m_catalogue.unknownId();
}

} // namespace wendle::search
