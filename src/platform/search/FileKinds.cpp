#include "platform/search/FileKinds.h"

#include <fnmatch.h>

#include <algorithm>

namespace wendle::search {

namespace {

// A name no glob of the database starts with, so a probe "<base>.<suffix>" is typed
// by its suffix alone.
const QString kProbeBase = QStringLiteral("wendle-probe.");

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

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
    for (std::size_t at = 0; at + literal.size() <= text.size(); ++at) {
        if (startsWithIgnoringCase(text.substr(at), literal))
            return true;
    }
    return false;
}

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
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
        if (c == '*' || c == '?' || c == '[' || c == ']') {
            run.clear();
            continue;
        }
        run += c;
        if (run.size() > best.size())
            best = run;
    }
    return best;
}

} // namespace

const KindCatalogue &KindCatalogue::instance()
{
    static const KindCatalogue catalogue;
    return catalogue;
}

KindCatalogue::KindCatalogue()
{
    const QMimeDatabase database;
    for (const QMimeType &type : database.allMimeTypes())
        add(type);
    m_unknownId = idOf(QStringLiteral("application/octet-stream"));
    if (m_unknownId < 0)
        add(database.mimeTypeForName(QStringLiteral("application/octet-stream")));
    m_unknownId = std::max(0, idOf(QStringLiteral("application/octet-stream")));
}

void KindCatalogue::add(const QMimeType &type)
{
    const int id = int(m_kinds.size());
    KindInfo info;
    info.mimeName = type.name();
    info.comment = type.comment();
    info.commentUtf8 = info.comment.toUtf8();
    info.isText = type.inherits(QStringLiteral("text/plain"));
    m_kinds.push_back(std::move(info));
    m_idByName.insert(type.name(), id);
    for (const QString &alias : type.aliases())
        m_idByName.insert(alias, id);
    for (const QString &glob : type.globPatterns())
        classifyGlob(glob);
}

void KindCatalogue::classifyGlob(const QString &globText)
{
    const std::string glob = globText.toLower().toStdString();
    const auto hasAny = [](std::string_view text, const char *chars) {
        return text.find_first_of(chars) != std::string_view::npos;
    };
    if (glob.starts_with("*.")) {
        const std::string_view tail = std::string_view(glob).substr(2);
        if (!hasAny(tail, "*."))
            return; // "*.pdf", "*.[1-9]": decided by the last suffix alone
        if (!hasAny(tail, "*?[")) {
            m_multiPartTails[std::string(tail.substr(tail.rfind('.') + 1))].push_back(glob.substr(1));
            return;
        }
    } else if (glob.starts_with('*')) {
        const std::string_view tail = std::string_view(glob).substr(1);
        if (!hasAny(tail, "*.")) {
            m_longestBareTail = std::max(m_longestBareTail, spannedLength(tail));
            return;
        }
    } else if (const std::size_t wildcard = glob.find_first_of("*?["); wildcard != 0) {
        m_namePrefixes.push_back(glob.substr(0, wildcard));
        return;
    }
    m_guardedGlobs.push_back({longestLiteral(glob), glob});
}

int KindCatalogue::idOf(const QString &mimeName) const
{
    return m_idByName.value(mimeName, -1);
}

bool KindCatalogue::needsFullLookup(std::string_view name, std::string_view lastSuffix) const
{
    for (const std::string &prefix : m_namePrefixes) {
        if (startsWithIgnoringCase(name, prefix))
            return true;
    }
    if (lastSuffix.size() < m_longestBareTail)
        return true;
    if (const auto tails = m_multiPartTails.find(lowered(lastSuffix)); tails != m_multiPartTails.end()) {
        for (const std::string &tail : tails->second) {
            if (endsWithIgnoringCase(name, tail))
                return true;
        }
    }
    for (const GuardedGlob &guarded : m_guardedGlobs) {
        if (containsIgnoringCase(name, guarded.literal)
            && fnmatch(guarded.glob.c_str(), std::string(name).c_str(), FNM_CASEFOLD) == 0)
            return true;
    }
    return false;
}

KindResolver::KindResolver()
    : m_catalogue(KindCatalogue::instance())
{
}

int KindResolver::byName(std::string_view fileName)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return lookUp(QString::fromUtf8(fileName.data(), qsizetype(fileName.size())));
    const std::string_view suffix = fileName.substr(dot + 1);
    if (m_catalogue.needsFullLookup(fileName, suffix))
        return lookUp(QString::fromUtf8(fileName.data(), qsizetype(fileName.size())));
    std::string key(suffix);
    if (const auto cached = m_bySuffix.find(key); cached != m_bySuffix.end())
        return cached->second;
    const int id = lookUp(kProbeBase + QString::fromUtf8(suffix.data(), qsizetype(suffix.size())));
    m_bySuffix.emplace(std::move(key), id);
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
