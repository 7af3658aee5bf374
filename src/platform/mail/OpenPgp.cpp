#include "platform/mail/OpenPgp.h"

#include "platform/mail/GMimeLibrary.h"
#include "platform/mail/MimeText.h"

#include <QDir>
#include <QFileInfo>
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

// Reads what GpgME said of the one signature. Its summary is trusted for
// every fault it names; a good signature must also carry the time and full
// fingerprint that only a signature GnuPG checked has.
void readSignatures(GMimeSignatureList *list, GError *error, MailSignature &signature)
{
    if (!list) {
        stateInvalid(signature, errorText(error, "GnuPG could not read it"));
        return;
    }
    const int count = g_mime_signature_list_length(list);
    if (count != 1) {
        stateInvalid(signature, count == 0 ? QStringLiteral("it holds no signature") : QStringLiteral("it holds %1 signatures").arg(count));
        g_object_unref(list);
        return;
    }
    GMimeSignature *one = g_mime_signature_list_get_signature(list, 0);
    const unsigned status = g_mime_signature_get_status(one);
    GMimeCertificate *certificate = g_mime_signature_get_certificate(one);
    const char *fingerprint = certificate ? g_mime_certificate_get_fingerprint(certificate) : nullptr;
    const QString key = QString::fromLatin1(fingerprint ? fingerprint : "").toUpper();
    const qint64 created = g_mime_signature_get_created64(one);
    g_object_unref(list);

    // A key made on a phone usually signs with a subkey; the owner lists
    // the primary key, the fingerprint every program shows.
    const auto primary = [&key] {
        const Key found = findKey(key);
        return found && found->fpr ? QString::fromLatin1(found->fpr).toUpper() : key;
    };
    static const QRegularExpression fullFingerprint(QStringLiteral("^(?:[0-9A-F]{40}|[0-9A-F]{64})$"));
    signature.fingerprint = key;
    if (status & GMIME_SIGNATURE_STATUS_KEY_MISSING) {
        signature.state = MailSignature::State::UnknownKey;
        signature.problem = QStringLiteral("its key is not in the keyring");
    } else if (status & GMIME_SIGNATURE_STATUS_KEY_REVOKED) {
        stateInvalid(signature, QStringLiteral("the key %1 is revoked").arg(primary()));
    } else if (status & GMIME_SIGNATURE_STATUS_KEY_EXPIRED) {
        stateInvalid(signature, QStringLiteral("the key %1 has expired").arg(primary()));
    } else if (status & GMIME_SIGNATURE_STATUS_SIG_EXPIRED) {
        stateInvalid(signature, QStringLiteral("the signature has expired"));
    } else if (status & GMIME_SIGNATURE_STATUS_RED) {
        stateInvalid(signature, QStringLiteral("the signed text does not match its signature"));
    } else if (status & ~unsigned(GMIME_SIGNATURE_STATUS_VALID | GMIME_SIGNATURE_STATUS_GREEN)) {
        stateInvalid(signature, QStringLiteral("GnuPG could not check it (status 0x%1)").arg(status, 0, 16));
    } else if (created <= 0 || !fullFingerprint.match(key).hasMatch()) {
        stateInvalid(signature, QStringLiteral("GnuPG did not confirm it"));
    } else {
        signature.state = MailSignature::State::Good;
        signature.signedAt = created;
        signature.fingerprint = primary();
    }
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
    Parts parts;
    if (GMimeObject *content = g_mime_multipart_get_part(GMIME_MULTIPART(signedPart), GMIME_MULTIPART_SIGNED_CONTENT))
        collect(content, parts);
    signature.signedText = bodyText(parts);
    const char *protocol = g_mime_object_get_content_type_parameter(GMIME_OBJECT(signedPart), "protocol");
    const QString name = QString::fromUtf8(protocol ? protocol : "").toLower();
    if (name != QLatin1String("application/pgp-signature") && name != QLatin1String("application/x-pgp-signature")) {
        stateInvalid(signature, QStringLiteral("it is not an OpenPGP signature (protocol \"%1\")").arg(name.left(100)));
        return;
    }
    GError *error = nullptr;
    GMimeSignatureList *list = g_mime_multipart_signed_verify(signedPart, GMIME_VERIFY_NONE, &error);
    readSignatures(list, error, signature);
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
    GMimeCryptoContext *context = g_mime_gpg_context_new();
    GMimeStream *input = g_mime_stream_mem_new_with_buffer(content.constData() + begin, size_t(end - begin));
    GMimeStream *output = g_mime_stream_mem_new();
    GError *error = nullptr;
    GMimeSignatureList *list = g_mime_crypto_context_verify(context, GMIME_VERIFY_NONE, input, nullptr, output, &error);
    GByteArray *plain = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(output));
    const bool anyPlain = plain->len > 0;
    if (anyPlain)
        signature.signedText = decodeText(QByteArray(reinterpret_cast<const char *>(plain->data), qsizetype(plain->len)));
    g_object_unref(output);
    g_object_unref(input);
    g_object_unref(context);
    readSignatures(list, error, signature);
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
