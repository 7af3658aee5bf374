#include "platform/mail/ImapMailbox.h"

#include "platform/mail/ErrorText.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

namespace wendle {

namespace {

struct Download {
    QByteArray *bytes;
    qint64 limit;
    bool tooLarge = false;
};

size_t collect(char *data, size_t size, size_t count, void *target)
{
    auto *download = static_cast<Download *>(target);
    const qsizetype length = qsizetype(size * count);
    if (download->limit >= 0 && download->bytes->size() + length > download->limit) {
        download->tooLarge = true;
        return 0; // ends the transfer
    }
    download->bytes->append(data, length);
    return size_t(length);
}

QByteArray uidSet(const QList<quint32> &uids)
{
    QByteArrayList numbers;
    for (const quint32 uid : uids)
        numbers << QByteArray::number(uid);
    return numbers.join(',');
}

QByteArray quoted(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + bytes + '"';
}

// The folder a folderUrl() ends in, decoded.
QString folderNameIn(const QByteArray &folderUrl)
{
    return QUrl::fromPercentEncoding(folderUrl.mid(folderUrl.lastIndexOf('/') + 1));
}

// The folder from the URL's path: "imaps://host/INBOX" names INBOX.
QString folderOfUrl(const QString &url)
{
    QString name = QUrl(url).path(QUrl::FullyDecoded).section(u';', 0, 0);
    while (name.startsWith(u'/'))
        name.remove(0, 1);
    while (name.endsWith(u'/'))
        name.chop(1);
    return name;
}

constexpr qint64 MaxHeaderBytes = 256 * 1024;

} // namespace

QByteArray commandSearchCriteria(const QStringList &addresses, const QString &keyword)
{
    QByteArrayList senders;
    for (const QString &address : addresses) {
        const QString trimmed = address.trimmed();
        if (!trimmed.isEmpty() && !trimmed.contains(u'\r') && !trimmed.contains(u'\n'))
            senders << "FROM " + quoted(trimmed);
    }
    if (senders.isEmpty() || keyword.contains(u'\r') || keyword.contains(u'\n'))
        return QByteArray();
    // "OR a OR b c" for any number of senders.
    QByteArray from = senders.takeLast();
    while (!senders.isEmpty())
        from = "OR " + senders.takeLast() + ' ' + from;
    QByteArray criteria = "UNSEEN " + from + " BODY " + quoted(keyword);
    bool ascii = true;
    for (const char c : criteria)
        ascii = ascii && uchar(c) < 0x80;
    return ascii ? criteria : "CHARSET UTF-8 " + criteria;
}

QByteArray ImapMailbox::folderUrl(const QString &url, const QString &folder)
{
    const QUrl parsed(url);
    const QString name = folder.trimmed().isEmpty() ? folderOfUrl(url) : folder.trimmed();
    QUrl base;
    base.setScheme(parsed.scheme());
    base.setHost(parsed.host());
    base.setPort(parsed.port());
    return base.toEncoded() + '/' + QUrl::toPercentEncoding(name.isEmpty() ? QStringLiteral("INBOX") : name);
}

QByteArray ImapMailbox::quotedFolder(const QByteArray &folderUrl)
{
    return quoted(folderNameIn(folderUrl));
}

ImapMailbox::ImapMailbox(const std::atomic_bool &cancel) : m_handle(&cancel)
{}

bool ImapMailbox::open(const MailServerSettings &settings, const QString &folder, QString *error)
{
    if (!m_handle.configure(settings, MailProtocol::Imap, error))
        return false;
    m_url = folderUrl(settings.url, folder);
    m_folder = quoted(folderNameIn(m_url));
    return readUidValidity(error);
}

bool ImapMailbox::refresh(QString *error)
{
    // A selected folder shows new messages only after the server synchronised
    // it, which a NOOP asks for.
    QByteArray ignored;
    return perform(m_url, "NOOP", &ignored, error) && readUidValidity(error);
}

bool ImapMailbox::readUidValidity(QString *error)
{
    // libcurl selects the folder before the command; a folder that does not
    // exist fails there.
    QByteArray answer;
    if (!perform(m_url, "STATUS " + m_folder + " (UIDVALIDITY)", &answer, error)) {
        if (error && error->contains(QLatin1String("Select failed"), Qt::CaseInsensitive))
            *error = QStringLiteral("the server refused to open the mailbox %1: %2").arg(folderNameIn(m_url), *error);
        return false;
    }
    static const QRegularExpression validity(QStringLiteral("UIDVALIDITY (\\d+)"));
    const QRegularExpressionMatch match = validity.match(QString::fromLatin1(answer));
    m_uidValidity = match.hasMatch() ? match.captured(1).toUInt() : 0;
    return true;
}

std::optional<QList<quint32>> ImapMailbox::search(const QByteArray &criteria, QString *error)
{
    QByteArray answer;
    if (!perform(m_url, "UID SEARCH " + criteria, &answer, error))
        return std::nullopt;
    QList<quint32> uids;
    for (const QByteArray &line : answer.split('\n')) {
        if (!line.startsWith("* SEARCH"))
            continue;
        for (const QByteArray &word : line.mid(8).simplified().split(' ')) {
            bool ok = false;
            const quint32 uid = word.toUInt(&ok);
            if (ok && uid > 0)
                uids << uid;
        }
    }
    std::sort(uids.begin(), uids.end());
    return uids;
}

QList<ImapMailbox::Fetched> ImapMailbox::fetchMessages(const QList<quint32> &uids, qint64 maxBytes, QString *error)
{
    QList<Fetched> results;
    if (uids.isEmpty())
        return results;
    QByteArray answer;
    if (!perform(m_url, "UID FETCH " + uidSet(uids) + " (RFC822.SIZE)", &answer, error))
        return results;
    static const QRegularExpression sizePattern(QStringLiteral("UID (\\d+) RFC822\\.SIZE (\\d+)|RFC822\\.SIZE (\\d+) UID (\\d+)"));
    QHash<quint32, qint64> sizes;
    for (auto it = sizePattern.globalMatch(QString::fromLatin1(answer)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const bool uidFirst = match.hasCaptured(1);
        sizes.insert(match.captured(uidFirst ? 1 : 4).toUInt(), match.captured(uidFirst ? 2 : 3).toLongLong());
    }

    QList<quint32> downloaded;
    for (const quint32 uid : uids) {
        Fetched fetched;
        fetched.uid = uid;
        if (!sizes.contains(uid)) {
            fetched.status = Fetched::Missing; // expunged meanwhile
        } else if (sizes.value(uid) > maxBytes) {
            fetched.status = Fetched::TooLarge;
            fetched.error =
                QStringLiteral("message %1 has %2 bytes, more than the %3 accepted").arg(uid).arg(sizes.value(uid)).arg(maxBytes);
        } else {
            bool tooLarge = false;
            const QByteArray url = m_url + "/;UID=" + QByteArray::number(uid);
            if (!perform(url, QByteArray(), &fetched.message, error, maxBytes, &tooLarge) && !tooLarge)
                break;
            downloaded << uid;
            fetched.status = tooLarge ? Fetched::TooLarge : Fetched::Ok;
            if (tooLarge)
                fetched.error = QStringLiteral("message %1 grew beyond the %2 bytes accepted").arg(uid).arg(maxBytes);
        }
        results << fetched;
    }
    // The download set \Seen; until the message is handled it must read as new.
    QString restoreError;
    if (!downloaded.isEmpty() && !storeSeen(downloaded, false, &restoreError) && error && error->isEmpty())
        *error = restoreError;
    return results;
}

std::optional<ImapMailbox::Headers> ImapMailbox::unseenHeaders(int maxMessages, QString *error)
{
    QByteArray ignored;
    if (!perform(m_url, "EXAMINE " + m_folder, &ignored, error))
        return std::nullopt;
    const std::optional<QList<quint32>> unseen = search("UNSEEN", error);
    if (!unseen)
        return std::nullopt;
    Headers headers;
    headers.unseen = unseen->size();
    for (const quint32 uid : unseen->mid(std::max<qsizetype>(0, unseen->size() - maxMessages))) {
        QByteArray block;
        const QByteArray url = m_url + "/;UID=" + QByteArray::number(uid) + ";SECTION=HEADER.FIELDS%20(FROM%20SUBJECT)";
        if (!perform(url, QByteArray(), &block, error, MaxHeaderBytes))
            return std::nullopt;
        headers.blocks << block;
    }
    return headers;
}

bool ImapMailbox::markSeen(const QList<quint32> &uids, QString *error)
{
    return uids.isEmpty() || storeSeen(uids, true, error);
}

bool ImapMailbox::storeSeen(const QList<quint32> &uids, bool seen, QString *error)
{
    QByteArray ignored;
    return perform(m_url, "UID STORE " + uidSet(uids) + (seen ? " +" : " -") + "FLAGS.SILENT (\\Seen)", &ignored, error);
}

bool ImapMailbox::perform(const QByteArray &url, const QByteArray &command, QByteArray *output, QString *error, qint64 maxBytes,
                          bool *tooLarge)
{
    CURL *curl = m_handle.get();
    Download download{output, maxBytes};
    m_handle.clearFailureRecord();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.isEmpty() ? nullptr : command.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    if (tooLarge)
        *tooLarge = download.tooLarge;
    if (code == CURLE_OK)
        return true;
    if (!download.tooLarge)
        setError(error, m_handle.describeFailure(code));
    return false;
}

} // namespace wendle
