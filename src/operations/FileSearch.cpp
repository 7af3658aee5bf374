#include "app/Controller.h"

#include "intake/TextHelpers.h"
#include "platform/preferences/Preferences.h"
#include "platform/random/RandomSource.h"
#include "platform/trace/RoadTrace.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <QFileInfo>

namespace wendle {

namespace {

constexpr qint64 Megabyte = 1 << 20;
// Larger settings would overflow the 32-bit bound of the query text.
constexpr int LargestFileSizeSetting = 2047;

struct KindClause {
    const char *flag;
    const char *clause;
};

// Every clause starts with one space; the joining adds more.
constexpr KindClause KindClauses[] = {
    {RBSearchDocuments, " kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd"},
    {RBSearchImages, " kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd"},
    {RBSearchEmails, " kMDItemKind = '*emlx'cd"},
    {RBSearchArchives, " kMDItemKind = '*archive'cd"},
    {RBSearchDiskImages, " kMDItemKind = '*disk image'cd"},
    {RBSearchApplications, " kMDItemKind = '*application'cd"},
    {RBSearchClippings, " kMDItemKind = '*clipping'cd"},
    {RBSearchScripts, " kMDItemKind = '*script'cd"},
    {RBSearchAudios, " kMDItemKind = '*audio'cd"},
    {RBSearchVideos, " kMDItemKind = '*video'cd || kMDItemKind = '*movie'cd"},
};

} // namespace

void Controller::findFilename(const QString &term, const QString &ccAddress)
{
    if (term.isNull()) {
        reportSyntaxError();
        return;
    }
    setLastCCAddress(ccAddress);
    setLastCommand(QStringLiteral("findFilename"));
    m_search.lastQuery = term;
    launchQueryforFilename(term);
}

void Controller::findContents(const QString &term, const QString &ccAddress)
{
    if (term.isNull()) {
        reportSyntaxError();
        return;
    }
    setLastCCAddress(ccAddress);
    setLastCommand(QStringLiteral("findContents"));
    m_search.lastQuery = term;
    launchQueryforContent(term);
}

// The reply lists at most this many files; the search finds no more than that.
int Controller::listLength() const
{
    const int setting = m_platform.preferences.intValue(RBMaxFilesReturned);
    return setting >= 5 && setting <= 20 ? setting : 5;
}

qint64 Controller::searchSizeBound() const
{
    const int megabytes = qMin(m_platform.preferences.intValue(RBMaxFileSize), LargestFileSizeSetting);
    return megabytes > 0 ? megabytes * Megabyte : Megabyte;
}

QString Controller::filenameQueryText(const QString &pattern) const
{
    return stringWithFormat(QStringLiteral("*=='%@*'cd && kMDItemFSSize < %d"), {escapeSearchValue(pattern), searchSizeBound()});
}

QString Controller::contentQueryText(const QString &term) const
{
    const QString value = escapeSearchValue(term);
    QString text = stringWithFormat(QStringLiteral("((*=='%@'wcd || kMDItemTextContent == '%@'cd) && kMDItemFSSize < %d)"),
                                    {value, value, searchSizeBound()});
    QStringList clauses;
    for (const KindClause &kind : KindClauses) {
        if (m_platform.preferences.boolValue(QLatin1String(kind.flag)))
            clauses << QLatin1String(kind.clause);
    }
    if (clauses.isEmpty())
        return text;
    text += QLatin1String(" && ");
    if (clauses.size() > 1)
        text += QLatin1String("( ");
    text += clauses.join(QLatin1String(" || "));
    if (clauses.size() > 1)
        text += u')';
    return text;
}

void Controller::launchQueryforFilename(const QString &term)
{
    tearDownSearch();
    const QString pattern = text::replaceSpacesWithAsterisks(term);
    if (pattern.isEmpty()) {
        // Nothing left to look for: answered as a search without hits.
        queryDone({});
        return;
    }
    startSearch(term, filenameQueryText(pattern), QStringLiteral("prepare_file_query_home_log"), QStringLiteral("prepare_file_query_log"));
}

void Controller::launchQueryforContent(const QString &term)
{
    tearDownSearch();
    startSearch(term, contentQueryText(term), QStringLiteral("prepare_content_query_home_log"),
                QStringLiteral("prepare_content_query_log"));
}

// Only one search lives at a time: the old one never answers and its list
// is gone, so codes of the old list stop working at once.
void Controller::tearDownSearch()
{
    if (m_search.query != 0) {
        m_platform.search.cancel();
        m_search.query = 0;
    }
    m_search.queryResults.clear();
}

void Controller::startSearch(const QString &term, const QString &queryText, const QString &homeLogKey, const QString &logKey)
{
    const bool home = m_platform.preferences.boolValue(RBLimitSearchFlag);
    log(localized(home ? homeLogKey : logKey, {term}));

    const quint64 id = ++m_search.lastQueryId;
    QString error;
    traceStep("daemon: search starting");
    const bool started = m_platform.search.start(
        queryText, home ? SearchScope::Home : SearchScope::Computer, listLength(),
        [this, id](const QList<SearchHit> &hits) {
            traceStep("daemon: search done");
            if (m_search.query != id)
                return;
            m_search.query = 0;
            answerUnder(m_search.askedBy, [&] { queryDone(hits); });
            settleCommands();
        },
        &error);
    if (!started) {
        const QString reply = localized(QStringLiteral("query_error"), {term, error});
        sendMessageWithContents(reply, QString(), QString());
        log(reply);
        return;
    }
    m_search.query = id;
    m_search.askedBy = m_intake.cmdMessageId;
}

void Controller::queryDone(const QList<SearchHit> &hits)
{
    const qsizetype count = hits.size();
    const int cap = listLength();
    if (count < 1) {
        const QString reply = localized(QStringLiteral("no_query_results"), {m_search.lastQuery});
        sendMessageWithContents(reply, QString(), QString());
        log(reply);
        return;
    }
    m_search.queryResults.clear();
    m_search.lastConfirmationNumber = getConfirmationNumber();
    // The hits come in ascending order: the list starts with the strongest.
    for (qsizetype p = 1; p <= cap && p <= count; ++p) {
        const SearchHit &hit = hits[count - p];
        m_search.queryResults.append({hit.path, hit.displayName,
                                      stringWithFormat(QStringLiteral("%d%d"), {m_search.lastConfirmationNumber, p}),
                                      identifyListedFile(hit.path)});
    }
    processQueryResults();
}

void Controller::processQueryResults()
{
    if (m_search.queryResults.isEmpty())
        return;
    QString list = localized(QStringLiteral("results_start"));
    qsizetype position = 0;
    for (const QueryResult &result : std::as_const(m_search.queryResults)) {
        list += stringWithFormat(QStringLiteral("%d%d:  %@ (%@)\n"),
                                 {m_search.lastConfirmationNumber, ++position, result.label, fileSizeDescription(result.path)});
    }
    list = text::replaceDoubleQuotes(list);
    const QString copy = m_platform.preferences.boolValue(RBDoNotForwardFlag) ? QString() : m_search.lastCCAddress;
    prepareAndSendMessage(list, copy, QString());
}

qint32 Controller::getConfirmationNumber()
{
    qint32 number = 0;
    do {
        number = qint32(m_platform.random.next() % 100);
    } while (number <= 9);
    return number;
}

QString Controller::fileSizeDescription(const QString &path)
{
    if (path.isNull())
        return QStringLiteral("?? kB ");
    const QFileInfo info(path); // follows symbolic links
    if (!info.exists())
        return QStringLiteral("?? kB ");
    const qint64 kilobytes = info.size() / 1000;
    if (kilobytes > 1000)
        return QStringLiteral("%1 MB ").arg(kilobytes / 1000);
    return QStringLiteral("%1 kB ").arg(kilobytes);
}

} // namespace wendle
