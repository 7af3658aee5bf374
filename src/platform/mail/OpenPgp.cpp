#include "platform/mail/OpenPgp.h"

#include "platform/mail/GMimeLibrary.h"
#include "platform/mail/KeyFingerprints.h"
#include "platform/mail/MimeText.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <gmime/gmime.h>
#include <gpgme.h>

#include <memory>
#include <mutex>

namespace wendle {

namespace {

constexpr QByteArrayView InlineBegin = "-----BEGIN PGP SIGNED MESSAGE-----";
constexpr QByteArrayView InlineEnd = "-----END PGP SIGNATURE-----";

void ensureGpgme()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ensureGMimeInitialised();
        gpgme_check_version(nullptr);
    });
}

struct ContextFree {
    void operator()(gpgme_ctx_t context) const { gpgme_release(context); }
};
struct KeyFree {
    void operator()(gpgme_key_t key) const { gpgme_key_unref(key); }
};
using Context = std::unique_ptr<gpgme_context, ContextFree>;
using Key = std::unique_ptr<_gpgme_key, KeyFree>;

Context newContext()
{
    ensureGpgme();
    gpgme_ctx_t context = nullptr;
    if (gpgme_new(&context) != GPG_ERR_NO_ERROR)
        return nullptr;
    gpgme_set_protocol(context, GPGME_PROTOCOL_OpenPGP);
    gpgme_set_offline(context, 1);
    return Context(context);
}

// The key that holds the fingerprint as its primary key or one of its
// subkeys; null when the keyring has none (or cannot be read).
Key findKey(const QString &fingerprint)
{
    const Context context = newContext();
    gpgme_key_t key = nullptr;
    if (!context || gpgme_get_key(context.get(), fingerprint.toLatin1().constData(), &key, 0) != GPG_ERR_NO_ERROR)
        return nullptr;
    return Key(key);
}

QString notInKeyring(const QString &fingerprint)
{
    return keyNotInKeyring(fingerprint, keyringFolder());
}

void stateInvalid(MailSignature &signature, const QString &problem)
{
    signature.state = MailSignature::State::Invalid;
    signature.problem = problem;
}

QString errorText(GError *error, const char *fallback)
{
    const QString text = error && error->message ? QString::fromUtf8(error->message) : QString::fromUtf8(fallback);
    if (error)
        g_error_free(error);
    return text;
}

// The signing key's primary fingerprint, by the fingerprint a signature
// names (usually a subkey's: a key made on a phone signs with one). A
// subkey stays bound to its primary key, so a lookup is kept for the life of
// the process; the keyring's folder is part of the name, as GNUPGHOME may
// differ between two lookups. Without the keep, every signed command would
// start gpg a second time.
QString primaryFingerprint(const QString &fingerprint)
{
    static std::mutex guard;
    static QHash<QString, QString> known;
    const QString name = qEnvironmentVariable("GNUPGHOME") + u'\n' + fingerprint;
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (const auto found = known.constFind(name); found != known.cend())
            return *found;
    }
    const Key key = findKey(fingerprint);
    if (!key || !key->fpr)
        return fingerprint;
    const QString primary = QString::fromLatin1(key->fpr).toUpper();
    const std::lock_guard<std::mutex> lock(guard);
    known.insert(name, primary);
    return primary;
}

// A context for verifying, one per thread and kept: a new context makes
// GpgME start gpg once more to ask its version.
gpgme_ctx_t verifyContext()
{
    thread_local const Context context = newContext();
    return context.get();
}

struct DataFree {
    void operator()(gpgme_data_t data) const { gpgme_data_release(data); }
};
using Data = std::unique_ptr<gpgme_data, DataFree>;

// A copy of the bytes, as callers hand over temporaries.
Data dataOf(const QByteArray &bytes)
{
    gpgme_data_t data = nullptr;
    gpgme_data_new_from_mem(&data, bytes.constData(), size_t(bytes.size()), 1);
    return Data(data);
}

// Reads what GnuPG said of the one signature. Its summary is trusted for
// every fault it names; a good signature must also carry GnuPG's own "no
// error", the time and the full fingerprint that only a checked signature has.
void readSignatures(gpgme_ctx_t context, gpgme_error_t verified, MailSignature &signature)
{
    const gpgme_verify_result_t result = verified == GPG_ERR_NO_ERROR ? gpgme_op_verify_result(context) : nullptr;
    if (!result) {
        stateInvalid(signature, QStringLiteral("GnuPG could not read it (%1)").arg(QString::fromUtf8(gpgme_strerror(verified))));
        return;
    }
    int count = 0;
    for (gpgme_signature_t one = result->signatures; one; one = one->next)
        ++count;
    if (count != 1) {
        stateInvalid(signature, count == 0 ? QStringLiteral("it holds no signature") : QStringLiteral("it holds %1 signatures").arg(count));
        return;
    }
    const gpgme_signature_t one = result->signatures;
    const unsigned summary = one->summary;
    const QString key = QString::fromLatin1(one->fpr ? one->fpr : "").toUpper();
    const qint64 created = qint64(one->timestamp);
    static const QRegularExpression fullFingerprint(QStringLiteral("^(?:[0-9A-F]{40}|[0-9A-F]{64})$"));
    signature.fingerprint = key;
    if (summary & GPGME_SIGSUM_KEY_MISSING) {
        signature.state = MailSignature::State::UnknownKey;
        signature.problem = QStringLiteral("its key is not in the keyring");
    } else if (summary & GPGME_SIGSUM_KEY_REVOKED) {
        stateInvalid(signature, QStringLiteral("the key %1 is revoked").arg(primaryFingerprint(key)));
    } else if (summary & GPGME_SIGSUM_KEY_EXPIRED) {
        stateInvalid(signature, QStringLiteral("the key %1 has expired").arg(primaryFingerprint(key)));
    } else if (summary & GPGME_SIGSUM_SIG_EXPIRED) {
        stateInvalid(signature, QStringLiteral("the signature has expired"));
    } else if (summary & GPGME_SIGSUM_RED) {
        stateInvalid(signature, QStringLiteral("the signed text does not match its signature"));
    } else if (summary & ~unsigned(GPGME_SIGSUM_VALID | GPGME_SIGSUM_GREEN)) {
        stateInvalid(signature, QStringLiteral("GnuPG could not check it (status 0x%1)").arg(summary, 0, 16));
    } else if (gpgme_err_code(one->status) != GPG_ERR_NO_ERROR) {
        stateInvalid(signature, QStringLiteral("GnuPG could not check it (%1)").arg(QString::fromUtf8(gpgme_strerror(one->status))));
    } else if (created <= 0 || !fullFingerprint.match(key).hasMatch()) {
        stateInvalid(signature, QStringLiteral("GnuPG did not confirm it"));
    } else {
        signature.state = MailSignature::State::Good;
        signature.signedAt = created;
        signature.fingerprint = primaryFingerprint(key);
    }
}

// The bytes a part was signed as: as it came, with CRLF line ends (RFC 3156
// signs the canonical form whatever the mail system did to the line ends).
QByteArray canonicalBytes(GMimeObject *part)
{
    GMimeFormatOptions *options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GMimeStream *stream = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(part, options, stream);
    g_mime_format_options_free(options);
    const GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    QByteArray copy(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    g_object_unref(stream);
    return copy;
}

// Text of the plain-text parts outside the given subtree.
void textOutside(GMimeObject *part, GMimeObject *inside, QString &text)
{
    if (part == inside)
        return;
    if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(part);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            textOutside(g_mime_multipart_get_part(multipart, i), inside, text);
        return;
    }
    if (GMIME_IS_PART(part) && !isAttachment(part) && !isSignature(part) && hasType(part, "text", "plain"))
        text += partText(part) + u'\n';
}

void findSignedParts(GMimeObject *part, QList<GMimeMultipartSigned *> &found)
{
    if (GMIME_IS_MULTIPART_SIGNED(part))
        found << GMIME_MULTIPART_SIGNED(part);
    if (!GMIME_IS_MULTIPART(part))
        return;
    GMimeMultipart *multipart = GMIME_MULTIPART(part);
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
        findSignedParts(g_mime_multipart_get_part(multipart, i), found);
}

void checkMultipartSigned(GMimeObject *body, GMimeMultipartSigned *signedPart, MailSignature &signature)
{
    textOutside(body, GMIME_OBJECT(signedPart), signature.unsignedText);
    GMimeObject *content = g_mime_multipart_get_part(GMIME_MULTIPART(signedPart), GMIME_MULTIPART_SIGNED_CONTENT);
    Parts parts;
    if (content)
        collect(content, parts);
    signature.signedText = bodyText(parts);
    const char *protocol = g_mime_object_get_content_type_parameter(GMIME_OBJECT(signedPart), "protocol");
    const QString name = QString::fromUtf8(protocol ? protocol : "").toLower();
    if (name != QLatin1String("application/pgp-signature") && name != QLatin1String("application/x-pgp-signature")) {
        stateInvalid(signature, QStringLiteral("it is not an OpenPGP signature (protocol \"%1\")").arg(name.left(100)));
        return;
    }
    GMimeObject *signaturePart = g_mime_multipart_get_part(GMIME_MULTIPART(signedPart), GMIME_MULTIPART_SIGNED_SIGNATURE);
    if (!content || !signaturePart || !GMIME_IS_PART(signaturePart)) {
        stateInvalid(signature, QStringLiteral("its signed part has no signature"));
        return;
    }
    const Data packet = dataOf(decodedContent(signaturePart));
    const Data text = dataOf(canonicalBytes(content));
    gpgme_ctx_t context = verifyContext();
    if (!context || !packet || !text) {
        stateInvalid(signature, QStringLiteral("GnuPG cannot be used"));
        return;
    }
    readSignatures(context, gpgme_op_verify(context, packet.get(), text.get(), nullptr), signature);
}

// One clearsigned block in the first plain-text part: only what lies between
// its armor lines is handed to GnuPG, and only what GnuPG says was signed is
// the signed text.
void checkInlineSigned(GMimeObject *body, MailSignature &signature)
{
    Parts parts;
    collect(body, parts);
    if (!parts.plain)
        return;
    const QByteArray content = decodedContent(parts.plain);
    const qsizetype begin = content.indexOf(InlineBegin);
    if (begin < 0 || (begin > 0 && content[begin - 1] != '\n'))
        return;
    QString outside;
    textOutside(body, parts.plain, outside);
    const qsizetype blocks = content.count(InlineBegin);
    const qsizetype endMark = content.indexOf(InlineEnd, begin);
    qsizetype end = endMark < 0 ? -1 : content.indexOf('\n', endMark);
    end = end < 0 ? content.size() : end + 1;
    signature.unsignedText = outside + decodeText(content.left(begin)) + u'\n' + decodeText(content.mid(end));
    // The block as it stands until GnuPG says what in it was signed.
    signature.signedText = decodeText(content.mid(begin, end - begin));
    if (blocks > 1) {
        stateInvalid(signature, QStringLiteral("the text holds %1 signed blocks").arg(blocks));
        return;
    }
    if (endMark < 0) {
        stateInvalid(signature, QStringLiteral("the signed block has no end"));
        return;
    }
    const Data block = dataOf(content.mid(begin, end - begin));
    gpgme_data_t plain = nullptr;
    gpgme_data_new(&plain);
    Data output(plain);
    gpgme_ctx_t context = verifyContext();
    if (!context || !block || !output) {
        stateInvalid(signature, QStringLiteral("GnuPG cannot be used"));
        return;
    }
    readSignatures(context, gpgme_op_verify(context, block.get(), nullptr, output.get()), signature);
    size_t length = 0;
    char *bytes = gpgme_data_release_and_get_mem(output.release(), &length);
    const bool anyPlain = length > 0;
    if (anyPlain)
        signature.signedText = decodeText(QByteArray(bytes, qsizetype(length)));
    gpgme_free(bytes);
    if (signature.state == MailSignature::State::Good && !anyPlain)
        signature.signedText.clear();
}

} // namespace

QString keyringFolder()
{
    ensureGpgme();
    const char *home = gpgme_get_dirinfo("homedir");
    return home ? QString::fromLocal8Bit(home) : QDir::homePath() + QLatin1String("/.gnupg");
}

MailSignature checkMessageSignature(GMimeMessage *message)
{
    ensureGpgme();
    MailSignature signature;
    GMimeObject *body = g_mime_message_get_mime_part(message);
    if (!body)
        return signature;
    QList<GMimeMultipartSigned *> signedParts;
    findSignedParts(body, signedParts);
    if (signedParts.size() > 1) {
        stateInvalid(signature, QStringLiteral("the message holds %1 signed parts; a command comes in one").arg(signedParts.size()));
        // Still read, so that a refused command is logged as one.
        Parts parts;
        collect(body, parts);
        signature.unsignedText = bodyText(parts);
    } else if (signedParts.size() == 1)
        checkMultipartSigned(body, signedParts.first(), signature);
    else
        checkInlineSigned(body, signature);
    // Asked only of signed mail: GpgME starts gpgconf to learn it.
    if (signature.state != MailSignature::State::Missing)
        signature.keyring = keyringFolder();
    return signature;
}

QString encryptionKeyProblem(const QString &fingerprint)
{
    const Key key = findKey(fingerprint);
    if (!key)
        return notInKeyring(fingerprint);
    if (key->revoked)
        return QStringLiteral("the key %1 is revoked").arg(fingerprint);
    if (key->expired)
        return QStringLiteral("the key %1 has expired").arg(fingerprint);
    if (key->disabled || key->invalid)
        return QStringLiteral("the key %1 is disabled or not usable").arg(fingerprint);
    bool anyForEncryption = false;
    for (gpgme_subkey_t subkey = key->subkeys; subkey; subkey = subkey->next) {
        if (!subkey->can_encrypt)
            continue;
        anyForEncryption = true;
        if (!subkey->revoked && !subkey->expired && !subkey->disabled && !subkey->invalid)
            return {};
    }
    return anyForEncryption ? QStringLiteral("the encryption subkey of the key %1 has expired or is revoked").arg(fingerprint)
                            : QStringLiteral("the key %1 can only sign, not encrypt").arg(fingerprint);
}

GMimeObject *encryptedEntity(GMimeObject *entity, const QStringList &fingerprints, QString *error)
{
    ensureGpgme();
    GMimeCryptoContext *context = g_mime_gpg_context_new();
    GPtrArray *recipients = g_ptr_array_new_with_free_func(g_free);
    for (const QString &fingerprint : fingerprints)
        g_ptr_array_add(recipients, g_strdup(fingerprint.toLatin1().constData()));
    GError *failure = nullptr;
    // The owner named the keys: GnuPG's web of trust has no say here.
    GMimeMultipartEncrypted *encrypted =
        g_mime_multipart_encrypted_encrypt(context, entity, FALSE, nullptr, GMIME_ENCRYPT_ALWAYS_TRUST, recipients, &failure);
    g_ptr_array_unref(recipients);
    g_object_unref(context);
    if (!encrypted) {
        *error = errorText(failure, "GnuPG could not encrypt it");
        return nullptr;
    }
    return GMIME_OBJECT(encrypted);
}

} // namespace wendle
