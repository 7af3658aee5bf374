#include "platform/mail/OutboxMailTransport.h"

#include "platform/mail/MessageFolder.h"
#include "platform/mail/MimeComposer.h"

#include <QDateTime>

namespace wendle {

bool OutboxMailTransport::send(const OutgoingMail &mail, const QString &)
{
    return !writeMessageFile(m_folder, composeMessage(mail, QDateTime::currentDateTime())).isEmpty();
}

} // namespace wendle
