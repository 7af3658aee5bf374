#pragma once

#include "platform/mail/MailServer.h"

#include <QString>
#include <QStringList>

#include <curl/curl.h>

#include <atomic>

namespace wendle {

// One libcurl easy handle set up for a mail server: URL, the encryption the
// URL demands, credentials, timeouts, and a record of the server's last
// answers for failure reports. Used from one worker thread at a time; the
// cancel flag (may be null) stops a transfer in progress when the owner goes.
class CurlMailHandle {
public:
    explicit CurlMailHandle(const std::atomic_bool *cancel = nullptr);
    ~CurlMailHandle();
    CurlMailHandle(const CurlMailHandle &) = delete;
    CurlMailHandle &operator=(const CurlMailHandle &) = delete;

    // Applies the settings; false with *error when the URL is refused or the
    // password command fails.
    bool configure(const MailServerSettings &settings, MailProtocol protocol, QString *error);

    CURL *get() const { return m_curl; }
    bool cancelled() const { return m_cancel && m_cancel->load(); }

    // curl's explanation of the code, its error buffer and what the server
    // said last: the text a failure report needs.
    QString describeFailure(CURLcode code) const;
    // Forgets the previous transfer's answers before the next one.
    void clearFailureRecord();

private:
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *self);
    static int onProgress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    CURL *m_curl = nullptr;
    const std::atomic_bool *m_cancel = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    QStringList m_serverLines;
};

} // namespace wendle
