#include "platform/chat/HttpUpload.h"

#include "platform/mail/MailServer.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <cstdio>
#include <memory>

namespace wendle {

namespace {

constexpr long ConnectTimeoutSeconds = 30;
// A transfer slower than this many bytes a second for a minute is given up.
constexpr long LowSpeedLimit = 100;
constexpr long LowSpeedSeconds = 60;

// Only these headers may come from the server's slot; anything else could
// smuggle a request of its own.
bool allowedHeader(const QString &name)
{
    const QString lower = name.toLower();
    return lower == QLatin1String("authorization") || lower == QLatin1String("cookie") || lower == QLatin1String("expires");
}

int onProgress(void *cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic_bool *>(cancel)->load() ? 1 : 0;
}

struct CurlDeleter {
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
struct FileDeleter {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

} // namespace

QString putFile(const UploadSlot &slot, const QString &path, const QString &contentType, const QString &trustedCertificate,
                const std::atomic_bool &cancel)
{
    const QUrl url(slot.putUrl, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("the server gave an unusable upload address \"%1\"").arg(slot.putUrl);
    if (scheme == QLatin1String("http") && !isLoopbackHost(url.host()))
        return QStringLiteral("the server's upload address %1 is not encrypted (https)").arg(url.host());

    std::unique_ptr<std::FILE, FileDeleter> file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return QStringLiteral("cannot read the file");
    const qint64 size = QFile(path).size();

    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return QStringLiteral("cannot start libcurl");
    curl_slist *headerList = curl_slist_append(nullptr, QStringLiteral("Content-Type: %1").arg(contentType).toUtf8().constData());
    // No "Expect: 100-continue" round: it only delays a small file.
    headerList = curl_slist_append(headerList, "Expect:");
    for (const auto &[name, value] : slot.headers) {
        if (!allowedHeader(name))
            continue;
        QString cleanValue = value;
        cleanValue.remove(u'\r').remove(u'\n');
        headerList = curl_slist_append(headerList, (name + QLatin1String(": ") + cleanValue).toUtf8().constData());
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers(headerList);

    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray urlBytes = url.toEncoded();
    const QByteArray certificate = QFile::encodeName(trustedCertificate);
    CURL *handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READDATA, file.get());
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, LowSpeedLimit);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, LowSpeedSeconds);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool *>(&cancel));
    if (!trustedCertificate.isEmpty()) {
        // Both the owner's certificate and the system's store are trusted.
        curl_easy_setopt(handle, CURLOPT_CAINFO, certificate.constData());
        curl_easy_setopt(handle, CURLOPT_CAPATH, "/etc/ssl/certs");
    }

    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        const QString detail = QString::fromUtf8(errorBuffer).trimmed();
        return detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : detail;
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return QStringLiteral("the upload server answered HTTP %1").arg(status);
    return QString();
}

} // namespace wendle
