#pragma once

#include "platform/mail/MailTransport.h"

#include <QString>

namespace wendle {

// Each reply as a complete RFC 5322 .eml file in a folder (the application's
// outbox), written atomically under a unique name that sorts by time. Another
// program may pick the files up; nothing here deletes them.
class OutboxMailTransport : public MailTransport {
public:
    explicit OutboxMailTransport(const QString &folder) : m_folder(folder) {}

    // False only when the file cannot be written.
    bool send(const OutgoingMail &mail, const QString &script) override;

    QString folder() const { return m_folder; }

private:
    QString m_folder;
};

} // namespace wendle
