#include "platform/mail/MailSignature.h"

#include <QCryptographicHash>

namespace wendle {

QString MailSignature::memoryId() const
{
    if (state != State::Good)
        return {};
    const QByteArray text = QCryptographicHash::hash(signedText.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QStringLiteral("openpgp:%1:%2:%3").arg(fingerprint).arg(signedAt).arg(QString::fromLatin1(text));
}

} // namespace wendle
