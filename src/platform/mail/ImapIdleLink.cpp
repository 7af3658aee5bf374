#include "platform/mail/ImapIdleLink.h"

#include "platform/mail/ErrorText.h"

#include <QElapsedTimer>

#include <poll.h>

namespace wendle {

namespace {

using std::chrono::milliseconds;

constexpr int PollSliceMs = 250;
constexpr qsizetype LongestLine = 1024 * 1024;

// "* 12 EXISTS", "* 3 RECENT", "* 4 EXPUNGE": the folder changed.
bool announcesChange(const QByteArray &line)
{
    const QByteArrayList words = line.simplified().split(' ');
    return words.size() >= 3 && words[0] == "*" && (words[2] == "EXISTS" || words[2] == "RECENT" || words[2] == "EXPUNGE");
}

} // namespace

ImapIdleLink::ImapIdleLink(const std::atomic_bool &cancel, milliseconds answerWait) : m_handle(&cancel), m_answerWait(answerWait)
{}

ImapIdleLink::~ImapIdleLink()
{
    if (m_open && !m_broken && !m_handle.cancelled())
        command("LOGOUT", nullptr, nullptr);
}

bool ImapIdleLink::open(const MailServerSettings &settings, const QByteArray &quotedFolder, QString *error)
{
    if (!m_handle.configure(settings, MailProtocol::Imap, error))
        return false;
    curl_easy_setopt(m_handle.get(), CURLOPT_CONNECT_ONLY, 1L);
    const CURLcode code = curl_easy_perform(m_handle.get());
    if (code != CURLE_OK) {
        setError(error, m_handle.describeFailure(code));
        return false;
    }
    m_open = true;
    QByteArrayList capabilities;
    if (!command("CAPABILITY", &capabilities, error) || !command("SELECT " + quotedFolder, nullptr, error))
        return false;
    for (const QByteArray &line : capabilities)
        m_idle = m_idle || (line.startsWith("* CAPABILITY ") && line.toUpper().split(' ').contains("IDLE"));
    return true;
}

ImapIdleLink::Outcome ImapIdleLink::idle(milliseconds maxWait, const std::function<void()> &onIdling, const std::function<void()> &onChange,
                                         QString *error)
{
    const QByteArray tag = 'i' + QByteArray::number(++m_tag);
    if (!sendAll(tag + " IDLE\r\n", error))
        return Outcome::Failed;
    QByteArray line;
    bool changed = false;
    for (;;) {
        if (!readLine(&line, m_answerWait, error))
            return Outcome::Failed;
        if (line.startsWith("+"))
            break;
        if (line.startsWith(tag + ' ')) {
            setError(error, QStringLiteral("the server refused IDLE: ") + QString::fromUtf8(line));
            return Outcome::Failed;
        }
        if (announcesChange(line)) {
            changed = true;
            onChange();
        }
    }
    onIdling();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const milliseconds left = maxWait - milliseconds(waited.elapsed());
        if (left <= milliseconds(0))
            break;
        bool timedOut = false;
        if (!readLine(&line, left, error, &timedOut)) {
            if (!timedOut)
                return Outcome::Failed;
            break;
        }
        if (line.startsWith(tag + ' ')) { // the server ended the IDLE itself
            setError(error, QStringLiteral("the server ended IDLE: ") + QString::fromUtf8(line));
            return Outcome::Failed;
        }
        if (announcesChange(line)) {
            changed = true;
            onChange();
        }
    }
    if (!sendAll("DONE\r\n", error))
        return Outcome::Failed;
    do {
        if (!readLine(&line, m_answerWait, error))
            return Outcome::Failed;
        if (announcesChange(line)) {
            changed = true;
            onChange();
        }
    } while (!line.startsWith(tag + ' '));
    return changed ? Outcome::Changed : Outcome::Quiet;
}

bool ImapIdleLink::command(const QByteArray &text, QByteArrayList *untagged, QString *error)
{
    const QByteArray tag = 'w' + QByteArray::number(++m_tag);
    if (!sendAll(tag + ' ' + text + "\r\n", error))
        return false;
    QByteArray line;
    for (;;) {
        if (!readLine(&line, m_answerWait, error))
            return false;
        if (line.startsWith("* ") && untagged)
            *untagged << line;
        if (!line.startsWith(tag + ' '))
            continue;
        if (line.mid(tag.size() + 1).startsWith("OK"))
            return true;
        setError(error, QStringLiteral("the server refused %1: %2").arg(QString::fromUtf8(text), QString::fromUtf8(line)));
        return false;
    }
}

bool ImapIdleLink::breakOff(const QString &reason, QString *error)
{
    setError(error, reason);
    m_broken = true;
    return false;
}

bool ImapIdleLink::sendAll(const QByteArray &bytes, QString *error)
{
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        size_t sent = 0;
        const CURLcode code = curl_easy_send(m_handle.get(), bytes.constData() + offset, size_t(bytes.size() - offset), &sent);
        if (code == CURLE_AGAIN) {
            pollfd descriptor{-1, POLLOUT, 0};
            curl_socket_t socket = CURL_SOCKET_BAD;
            curl_easy_getinfo(m_handle.get(), CURLINFO_ACTIVESOCKET, &socket);
            descriptor.fd = socket;
            ::poll(&descriptor, 1, PollSliceMs);
            if (m_handle.cancelled())
                return breakOff(QStringLiteral("stopped"), error);
            continue;
        }
        if (code != CURLE_OK)
            return breakOff(m_handle.describeFailure(code), error);
        offset += qsizetype(sent);
    }
    return true;
}

bool ImapIdleLink::readLine(QByteArray *line, milliseconds wait, QString *error, bool *timedOut)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end >= 0) {
            *line = m_buffer.left(end);
            m_buffer.remove(0, end + 2);
            return true;
        }
        if (m_buffer.size() > LongestLine)
            return breakOff(QStringLiteral("the server sent a line longer than %1 bytes").arg(LongestLine), error);
        if (!receiveMore(wait, error, timedOut))
            return false;
    }
}

bool ImapIdleLink::receiveMore(milliseconds wait, QString *error, bool *timedOut)
{
    QElapsedTimer waited;
    waited.start();
    char chunk[16384];
    for (;;) {
        size_t received = 0;
        const CURLcode code = curl_easy_recv(m_handle.get(), chunk, sizeof chunk, &received);
        if (code == CURLE_OK && received > 0) {
            m_buffer.append(chunk, qsizetype(received));
            return true;
        }
        if (code != CURLE_AGAIN)
            return breakOff(code == CURLE_OK ? QStringLiteral("the server closed the connection") : m_handle.describeFailure(code), error);
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_handle.get(), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD)
            return breakOff(QStringLiteral("the connection to the server is gone"), error);
        if (m_handle.cancelled())
            return breakOff(QStringLiteral("stopped"), error);
        if (waited.elapsed() >= wait.count()) {
            if (timedOut) {
                *timedOut = true; // a quiet line, not a broken one
                return false;
            }
            return breakOff(QStringLiteral("the server did not answer for %1 s").arg(wait.count() / 1000), error);
        }
        pollfd descriptor{socket, POLLIN, 0};
        ::poll(&descriptor, 1, PollSliceMs);
    }
}

} // namespace wendle
