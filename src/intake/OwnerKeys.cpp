#include "intake/OwnerKeys.h"

#include <QDir>
#include <QProcess>

namespace wendle {

QString ownerKeyProblem(const QString &fingerprint)
{
    const QString gnupgHome = qEnvironmentVariable("GNUPGHOME");
    const QString folder = gnupgHome.isEmpty() ? QDir::homePath() + QLatin1String("/.gnupg") : gnupgHome;
    // gpg lists the whole key a primary or subkey fingerprint names: each
    // "fpr" record follows the "pub" or "sub" record it belongs to.
    QProcess gpg;
    gpg.start(QStringLiteral("gpg"), {"--batch", "--no-tty", "--with-colons", "--list-keys", "--", fingerprint});
    if (!gpg.waitForFinished(30000) || gpg.exitStatus() != QProcess::NormalExit || gpg.exitCode() != 0)
        return keyNotInKeyring(fingerprint, folder);
    QString primary, record;
    for (const QByteArray &line : gpg.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.value(0) == "pub" || fields.value(0) == "sub") {
            record = QString::fromLatin1(fields.value(0));
        } else if (fields.value(0) == "fpr") {
            const QString found = QString::fromLatin1(fields.value(9)).toUpper();
            if (record == QLatin1String("pub") && primary.isEmpty())
                primary = found;
            if (found == fingerprint)
                return record == QLatin1String("pub")
                           ? QString()
                           : QStringLiteral("%1 is a subkey of the key %2; list the key's own fingerprint").arg(fingerprint, primary);
        }
    }
    return keyNotInKeyring(fingerprint, folder);
}

} // namespace wendle
