#include "intake/OwnerKeys.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
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
