#include "platform/mail/OutboxMailTransport.h"

#include "platform/mail/MessageFolder.h"
#include "platform/mail/MimeComposer.h"
#include "platform/trace/RoadTrace.h"

#include <QDateTime>

namespace wendle {

bool OutboxMailTransport::send(const OutgoingMail &mail, const QString &)
{
    const QByteArray message = composeMessage(mail, QDateTime::currentDateTime());
    traceStep("daemon: reply message built");
    return !message.isEmpty() && !writeMessageFile(m_folder, message).isEmpty();
}

} // namespace wendle
