#pragma once

// A private GnuPG home with the keys the signature tests need, made and used
// with the real gpg program, never with the code under test.

#include "support/WendleInstance.h"

#include <QDateTime>
#include <QStandardPaths>

namespace wendle::test {

class TestKeyring {
public:
    static bool installed() { return !QStandardPaths::findExecutable("gpg").isEmpty(); }

    TestKeyring() { QFile::setPermissions(home(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
    ~TestKeyring() { gpg({"--kill", "all"}, {}, nullptr, "gpgconf"); }

    QString home() const { return m_dir.path(); }

    // Runs gpg in batch mode on this home; its exit code.
    int gpg(const QStringList &arguments, const QByteArray &input = {}, QByteArray *output = nullptr, const QString &program = "gpg") const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("GNUPGHOME", home());
        const QStringList batch =
            program == "gpg" ? QStringList{"--batch", "--yes", "--pinentry-mode", "loopback", "--passphrase", ""} : QStringList{};
        return runProcess(program, batch + arguments, environment, output, nullptr, input);
    }

    // A key made the way a phone app makes one: a certifying primary key with
    // subkeys to sign and to encrypt, unprotected. Its primary fingerprint.
    // Made a day ago, so that it can sign at earlier made-up times too.
    QString makePhoneKey(const QString &email)
    {
        const QStringList dayAgo = fakedTime(QDateTime::currentDateTimeUtc().addDays(-1));
        const QByteArray parameters = "%no-protection\nKey-Type: eddsa\nKey-Curve: ed25519\nKey-Usage: cert\n"
                                      "Subkey-Type: ecdh\nSubkey-Curve: cv25519\nSubkey-Usage: encrypt\n"
                                      "Name-Real: Owner\nName-Email: "
                                      + email.toUtf8() + "\nExpire-Date: 0\n%commit\n";
        if (gpg(dayAgo + QStringList{"--gen-key"}, parameters) != 0)
            return {};
        const QString fingerprint = fingerprintOf(email);
        return gpg(dayAgo + QStringList{"--quick-add-key", fingerprint, "ed25519", "sign", "never"}) == 0 ? fingerprint : QString();
    }

    // A key made by --quick-gen-key, at a made-up time when given.
    QString makeQuickKey(const QString &email, const QString &usage = "default", const QString &expiry = "never",
                         const QDateTime &madeAt = {})
    {
        const QString algorithm = usage == "default" ? "future-default" : "ed25519";
        if (gpg(fakedTime(madeAt) + QStringList{"--quick-gen-key", "<" + email + ">", algorithm, usage, expiry}) != 0)
            return {};
        return fingerprintOf(email);
    }

    // Revokes the key with the certificate gpg made beside it.
    bool revoke(const QString &fingerprint)
    {
        QByteArray certificate = readFile(home() + "/openpgp-revocs.d/" + fingerprint + ".rev");
        certificate.replace(":-----BEGIN", "-----BEGIN");
        return !certificate.isEmpty() && gpg({"--import"}, certificate) == 0;
    }

    QString fingerprintOf(const QString &email) const
    {
        QByteArray listing;
        gpg({"--with-colons", "--list-keys", "<" + email + ">"}, {}, &listing);
        for (const QByteArray &line : listing.split('\n')) {
            if (line.startsWith("fpr:"))
                return QString::fromLatin1(line.split(':').value(9));
        }
        return {};
    }

    QByteArray detachSign(const QString &key, const QByteArray &data, const QDateTime &at = {}) const
    {
        return run(fakedTime(at) + QStringList{"--armor", "--detach-sign", "--local-user", key}, data);
    }
    QByteArray clearSign(const QString &key, const QByteArray &text, const QDateTime &at = {}) const
    {
        return run(fakedTime(at) + QStringList{"--clearsign", "--local-user", key}, text);
    }
    QByteArray decrypt(const QByteArray &message) const { return run({"--decrypt"}, message); }

private:
    static QStringList fakedTime(const QDateTime &at)
    {
        if (!at.isValid())
            return {};
        return {"--faked-system-time", at.toUTC().toString("yyyyMMddTHHmmss") + "!", "--ignore-time-conflict"};
    }
    QByteArray run(const QStringList &arguments, const QByteArray &input) const
    {
        QByteArray output;
        return gpg(arguments, input, &output) == 0 ? output : QByteArray();
    }

    QTemporaryDir m_dir;
};

} // namespace wendle::test
