#include "platform/mail/KeyFingerprints.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace wendle {

QStringList parseKeyFingerprints(const QString &text, QString *error)
{
    static const QRegularExpression separators(QStringLiteral("[,;\\n]"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    static const QRegularExpression hex(QStringLiteral("^(?:[0-9A-F]{40}|[0-9A-F]{64})$"));
    QStringList fingerprints;
    for (const QString &entry : text.split(separators, Qt::SkipEmptyParts)) {
        QString fingerprint = entry;
        fingerprint.remove(blanks);
        if (fingerprint.isEmpty())
            continue;
        if (fingerprint.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            fingerprint = fingerprint.mid(2);
        fingerprint = fingerprint.toUpper();
        if (!hex.match(fingerprint).hasMatch()) {
            if (error)
                *error = QStringLiteral("\"%1\" is not a key fingerprint (40 or 64 hex digits; separate several with commas)")
                             .arg(entry.trimmed());
            return {};
        }
        if (!fingerprints.contains(fingerprint))
            fingerprints << fingerprint;
    }
    return fingerprints;
}

QString keyNotInKeyring(const QString &fingerprint, const QString &folder)
{
    const QFileInfo home(folder);
    if (!home.isDir())
        return QStringLiteral("the key %1 is not in the keyring: the folder %2 does not exist").arg(fingerprint, folder);
    if (!home.isReadable() || !home.isExecutable())
        return QStringLiteral("the key %1 cannot be looked up: the keyring %2 cannot be read").arg(fingerprint, folder);
    return QStringLiteral("the key %1 is not in the keyring %2; import it first with gpg --import").arg(fingerprint, folder);
}

} // namespace wendle
