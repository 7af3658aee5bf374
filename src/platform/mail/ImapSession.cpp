#include "platform/mail/ImapSession.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QUrl>

#include <poll.h>

namespace wendle {

namespace {

constexpr int PollSliceMs = 250;
constexpr qint64 SilenceLimitMs = 120000;
constexpr qsizetype LongestLine = 1024 * 1024;
// A server announcing more than this is not sending a message we asked for.
constexpr qint64 LargestLiteral = 64 * 1024 * 1024;

// The mailbox is the URL's path ("imaps://host/INBOX"); curl-style ";UID=..."
// parameters are not ours to follow.
QByteArray quotedMailbox(const QString &url)
{
    QString name = QUrl(url).path(QUrl::FullyDecoded).section(u';', 0, 0);
    while (name.startsWith(u'/'))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("INBOX");
    QByteArray quoted = name.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

// "{123}" or the non-synchronising "{123+}" at the end of a line announces a
// literal of that many bytes; -1 when there is none.
qint64 literalSize(const QByteArray &line)
{
    if (!line.endsWith('}'))
        return -1;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return -1;
    QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.endsWith('+'))
        digits.chop(1);
    bool ok = false;
    const qint64 size = digits.toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

QString uidSet(const QList<quint32> &uids)
{
    QStringList numbers;
    for (const quint32 uid : uids)
        numbers << QString::number(uid);
    return numbers.join(u',');
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

ImapSession::ImapSession(const std::atomic_bool &cancel) : m_handle(&cancel)
{
}

ImapSession::~ImapSession()
{
    if (m_open && !m_broken && !m_handle.cancelled())
        command("LOGOUT", nullptr);
}

bool ImapSession::open(const MailServerSettings &settings, QString *error)
{
    if (!m_handle.configure(settings, MailProtocol::Imap, error))
        return false;
    // Connect, STARTTLS when required, log in; then hand the link to us.
    curl_easy_setopt(m_handle.get(), CURLOPT_CONNECT_ONLY, 1L);
    const CURLcode code = curl_easy_perform(m_handle.get());
    if (code != CURLE_OK) {
        setError(error, m_handle.describeFailure(code));
        return false;
    }
    m_open = true;
    const std::optional<Response> selected = command("SELECT " + quotedMailbox(settings.url), error);
    if (!selected)
        return false;
    if (!selected->ok) {
        setError(error, QStringLiteral("the server refused to open the mailbox: %1").arg(QString::fromUtf8(selected->status)));
        return false;
    }
    static const QRegularExpression validity(QStringLiteral("\\[UIDVALIDITY (\\d+)\\]"));
    for (const Untagged &response : selected->untagged) {
        const QRegularExpressionMatch match = validity.match(QString::fromLatin1(response.text));
        if (match.hasMatch())
            m_uidValidity = match.captured(1).toUInt();
    }
    return true;
}

std::optional<QList<quint32>> ImapSession::unseenMessages(QString *error)
{
    const std::optional<Response> response = command("UID SEARCH UNSEEN", error);
    if (!response)
        return std::nullopt;
    if (!response->ok) {
        setError(error, QStringLiteral("the search was refused: %1").arg(QString::fromUtf8(response->status)));
        return std::nullopt;
    }
    QList<quint32> uids;
    for (const Untagged &untagged : response->untagged) {
        if (!untagged.text.startsWith("* SEARCH"))
            continue;
        for (const QByteArray &word : untagged.text.mid(8).simplified().split(' ')) {
            bool ok = false;
            const quint32 uid = word.toUInt(&ok);
            if (ok && uid > 0)
                uids << uid;
        }
    }
    std::sort(uids.begin(), uids.end());
    return uids;
}

ImapSession::Fetched ImapSession::fetchMessage(quint32 uid, qint64 maxBytes)
{
    Fetched fetched;
    const QByteArray number = QByteArray::number(uid);
    std::optional<Response> response = command("UID FETCH " + number + " (RFC822.SIZE)", &fetched.error);
    if (!response)
        return fetched;
    static const QRegularExpression sizePattern(QStringLiteral("RFC822\\.SIZE (\\d+)"));
    qint64 size = -1;
    for (const Untagged &untagged : response->untagged) {
        const QRegularExpressionMatch match = sizePattern.match(QString::fromLatin1(untagged.text));
        if (match.hasMatch() && untagged.text.contains("UID " + number))
            size = match.captured(1).toLongLong();
    }
    if (size < 0) {
        fetched.status = Fetched::Missing;
        fetched.error = QStringLiteral("message %1 is no longer in the mailbox").arg(uid);
        return fetched;
    }
    if (size > maxBytes) {
        fetched.status = Fetched::TooLarge;
        fetched.error = QStringLiteral("message %1 has %2 bytes, more than the %3 accepted").arg(uid).arg(size).arg(maxBytes);
        return fetched;
    }
    response = command("UID FETCH " + number + " (BODY.PEEK[])", &fetched.error);
    if (!response)
        return fetched;
    for (const Untagged &untagged : response->untagged) {
        if (untagged.text.contains("BODY[]") && !untagged.literals.isEmpty()) {
            fetched.status = Fetched::Ok;
            fetched.message = untagged.literals.first();
            return fetched;
        }
    }
    fetched.error = QStringLiteral("the server sent no content for message %1: %2").arg(uid).arg(QString::fromUtf8(response->status));
    return fetched;
}

bool ImapSession::markSeen(const QList<quint32> &uids, QString *error)
{
    if (uids.isEmpty())
        return true;
    const std::optional<Response> response = command("UID STORE " + uidSet(uids).toLatin1() + " +FLAGS.SILENT (\\Seen)", error);
    if (!response)
        return false;
    if (!response->ok)
        setError(error, QStringLiteral("the server refused to mark messages seen: %1").arg(QString::fromUtf8(response->status)));
    return response->ok;
}

std::optional<ImapSession::Response> ImapSession::command(const QByteArray &text, QString *error)
{
    std::optional<Response> response = exchange(text, error);
    m_broken = m_broken || !response;
    return response;
}

std::optional<ImapSession::Response> ImapSession::exchange(const QByteArray &text, QString *error)
{
    const QByteArray tag = 'w' + QByteArray::number(++m_tag);
    if (!sendAll(tag + ' ' + text + "\r\n", error))
        return std::nullopt;
    Response response;
    for (;;) {
        Untagged current;
        QByteArray line;
        if (!readLine(&line, error))
            return std::nullopt;
        for (qint64 size = literalSize(line); size >= 0; size = literalSize(line)) {
            if (size > LargestLiteral) {
                setError(error, QStringLiteral("the server announced %1 bytes at once; giving up").arg(size));
                return std::nullopt;
            }
            QByteArray literal;
            if (!readBytes(size, &literal, error))
                return std::nullopt;
            current.text += line;
            current.literals << literal;
            if (!readLine(&line, error))
                return std::nullopt;
        }
        current.text += line;
        if (current.text.startsWith("* ")) {
            response.untagged << current;
        } else if (current.text.startsWith(tag + ' ')) {
            response.status = current.text.mid(tag.size() + 1);
            response.ok = response.status.startsWith("OK");
            return response;
        }
    }
}

bool ImapSession::sendAll(const QByteArray &bytes, QString *error)
{
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        size_t sent = 0;
        const CURLcode code = curl_easy_send(m_handle.get(), bytes.constData() + offset, size_t(bytes.size() - offset), &sent);
        if (code == CURLE_AGAIN) {
            if (!waitForSocket(true, error))
                return false;
            continue;
        }
        if (code != CURLE_OK) {
            setError(error, m_handle.describeFailure(code));
            return false;
        }
        offset += qsizetype(sent);
    }
    return true;
}

bool ImapSession::readLine(QByteArray *line, QString *error)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end >= 0) {
            *line = m_buffer.left(end);
            m_buffer.remove(0, end + 2);
            return true;
        }
        if (m_buffer.size() > LongestLine) {
            setError(error, QStringLiteral("the server sent a line longer than %1 bytes").arg(LongestLine));
            return false;
        }
        if (!receiveMore(error))
            return false;
    }
}

bool ImapSession::readBytes(qint64 count, QByteArray *bytes, QString *error)
{
    while (m_buffer.size() < count) {
        if (!receiveMore(error))
            return false;
    }
    *bytes = m_buffer.left(count);
    m_buffer.remove(0, count);
    return true;
}

bool ImapSession::receiveMore(QString *error)
{
    char chunk[65536];
    for (;;) {
        size_t received = 0;
        const CURLcode code = curl_easy_recv(m_handle.get(), chunk, sizeof chunk, &received);
        if (code == CURLE_AGAIN) {
            if (!waitForSocket(false, error))
                return false;
            continue;
        }
        if (code != CURLE_OK) {
            setError(error, m_handle.describeFailure(code));
            return false;
        }
        if (received == 0) {
            setError(error, QStringLiteral("the server closed the connection"));
            return false;
        }
        m_buffer.append(chunk, qsizetype(received));
        return true;
    }
}

bool ImapSession::waitForSocket(bool forWriting, QString *error)
{
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(m_handle.get(), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD) {
        setError(error, QStringLiteral("the connection to the server is gone"));
        return false;
    }
    QElapsedTimer silence;
    silence.start();
    while (!m_handle.cancelled()) {
        pollfd descriptor{socket, short(forWriting ? POLLOUT : POLLIN), 0};
        if (::poll(&descriptor, 1, PollSliceMs) > 0)
            return true;
        if (silence.elapsed() > SilenceLimitMs) {
            setError(error, QStringLiteral("the server did not answer for %1 s").arg(SilenceLimitMs / 1000));
            return false;
        }
    }
    setError(error, QStringLiteral("stopped"));
    return false;
}

} // namespace wendle
