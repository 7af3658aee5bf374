#include "platform/mail/CurlMailHandle.h"

#include <QFile>

#include <QRegularExpression>

#include <mutex>

#include <sys/socket.h>

namespace wendle {

namespace {

constexpr long ConnectTimeoutSeconds = 30;
constexpr long StalledTransferSeconds = 120;
constexpr int RememberedServerLines = 6;

// curl_global_init is not thread-safe; the first handle made does it.
void ensureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The line that explains a failure: the last refusal (an SMTP 4xx/5xx reply,
// an IMAP NO, BAD or BYE), or else the last thing the server said. A polite
// "221 Bye" after the refusal would explain nothing.
QString complaint(const QStringList &lines)
{
    static const QRegularExpression refusal(QStringLiteral("^([45][0-9][0-9][ -]|\\S+ (NO|BAD)\\b|\\* BYE\\b)"));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (refusal.match(*it).hasMatch())
            return *it;
    }
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

CurlMailHandle::CurlMailHandle(const std::atomic_bool *cancel) : m_cancel(cancel)
{
    ensureCurlInitialised();
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L); // we run on worker threads
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, StalledTransferSeconds);
    // The debug hook is how we see the server's replies; with it set, verbose
    // output goes to us and not to stderr.
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &CurlMailHandle::onDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CurlMailHandle::onProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
}

CurlMailHandle::~CurlMailHandle()
{
    if (!m_curl)
        return;
    // Closing a kept connection says goodbye to the server (IMAP LOGOUT) and
    // waits for its answer. When the owner is going away, a server slow to
    // answer must not hold it up: the connection is cut instead.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (cancelled() && curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
        ::shutdown(socket, SHUT_RDWR);
    curl_easy_cleanup(m_curl);
}

bool CurlMailHandle::configure(const MailServerSettings &settings, MailProtocol protocol, QString *error)
{
    if (!m_curl) {
        *error = QStringLiteral("libcurl could not make a handle");
        return false;
    }
    const ConnectionPlan plan = planConnection(settings.url, protocol);
    if (!plan.ok()) {
        *error = plan.error;
        return false;
    }
    const QByteArray url = settings.url.toUtf8();
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, protocol == MailProtocol::Smtp ? "smtp,smtps" : "imap,imaps");
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, plan.requireTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_NONE));
    if (!settings.trustedCertificate.isEmpty()) {
        // Added to the system's store, not in place of it.
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, QFile::encodeName(settings.trustedCertificate).constData());
        curl_easy_setopt(m_curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    if (settings.user.isEmpty())
        return true;

    const std::optional<QString> password = runPasswordCommand(settings.passwordCommand, error);
    if (!password)
        return false;
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, settings.user.toUtf8().constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password->toUtf8().constData());
    return true;
}

QString CurlMailHandle::describeFailure(CURLcode code) const
{
    QString text = QString::fromUtf8(curl_easy_strerror(code));
    const QString detail = QString::fromUtf8(m_errorBuffer).trimmed();
    // The words chat uses for the same trouble, with the setting that helps.
    if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE)
        return QStringLiteral("the server's certificate does not verify: %1; set mailTrustedCertificate to trust it")
            .arg(detail.isEmpty() ? text : detail);
    if (!detail.isEmpty() && detail != text)
        text += QLatin1String(": ") + detail;
    const QString answer = complaint(m_serverLines);
    if (!answer.isEmpty())
        text += QLatin1String("; the server said: ") + answer;
    return text;
}

void CurlMailHandle::clearFailureRecord()
{
    m_errorBuffer[0] = '\0';
    m_serverLines.clear();
}

int CurlMailHandle::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *self)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    auto *handle = static_cast<CurlMailHandle *>(self);
    const QString line = QString::fromUtf8(data, qsizetype(size)).trimmed();
    if (line.isEmpty())
        return 0;
    handle->m_serverLines << line.left(300);
    while (handle->m_serverLines.size() > RememberedServerLines)
        handle->m_serverLines.removeFirst();
    return 0;
}

int CurlMailHandle::onProgress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<CurlMailHandle *>(self)->cancelled() ? 1 : 0;
}

} // namespace wendle
