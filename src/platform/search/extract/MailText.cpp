// The text of a mail file: who wrote to whom about what, and the readable parts of
// its body. Attachments are left to their own files.

#include "platform/mail/MimeLimits.h"
#include "platform/search/extract/TextExtraction.h"

#include <QByteArray>

#include <gmime/gmime.h>

namespace wendle::search {

namespace {

constexpr int kMaxDepth = 20;

struct MailTextCollector {
    const ExtractionLimits &limits;
    std::string &text;

    bool full() const { return text.size() >= limits.maxTextBytes; }

    void append(std::string_view piece)
    {
        if (piece.empty() || full())
            return;
        text.append(piece.substr(0, limits.maxTextBytes - text.size()));
        text += '\n';
    }

    void addresses(InternetAddressList *list)
    {
        if (!list)
            return;
        if (char *written = internet_address_list_to_string(list, nullptr, FALSE)) {
            append(written);
            g_free(written);
        }
    }

    void collectMessage(GMimeMessage *message, int depth)
    {
        addresses(g_mime_message_get_from(message));
        addresses(g_mime_message_get_to(message));
        if (const char *subject = g_mime_message_get_subject(message))
            append(subject);
        if (GMimeObject *body = g_mime_message_get_mime_part(message))
            collectPart(body, depth + 1);
    }

    void collectPart(GMimeObject *part, int depth)
    {
        if (depth > kMaxDepth || full())
            return;
        if (GMIME_IS_MULTIPART(part)) {
            GMimeMultipart *multipart = GMIME_MULTIPART(part);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count && !full(); ++i)
                collectPart(g_mime_multipart_get_part(multipart, i), depth + 1);
            return;
        }
        if (GMIME_IS_MESSAGE_PART(part)) {
            if (GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)))
                collectMessage(inner, depth + 1);
            return;
        }
        if (!GMIME_IS_TEXT_PART(part))
            return;
        GMimeContentDisposition *disposition = g_mime_object_get_content_disposition(part);
        if (disposition && g_mime_content_disposition_is_attachment(disposition))
            return;
        GMimeContentType *type = g_mime_object_get_content_type(part);
        const bool html = g_mime_content_type_is_type(type, "text", "html");
        if (!html && !g_mime_content_type_is_type(type, "text", "plain"))
            return;
        char *utf8 = g_mime_text_part_get_text(GMIME_TEXT_PART(part)); // converted from its charset
        if (!utf8)
            return;
        if (html) {
            std::string plain;
            htmlToText(utf8, limits.maxTextBytes, plain);
            append(plain);
        } else {
            append(utf8);
        }
        g_free(utf8);
    }
};

} // namespace

bool mailToText(std::string_view bytes, const ExtractionLimits &limits, std::string &text, QString *why)
{
    // Bounded as the mail Wendle takes commands from: a mail in the owner's
    // folders comes from strangers just the same.
    QString refusal;
    GMimeMessage *message = parseBoundedMessage(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), &refusal);
    if (!message) {
        if (why)
            *why = refusal;
        return false;
    }
    MailTextCollector collector{limits, text};
    collector.collectMessage(message, 0);
    g_object_unref(message);
    return true;
}

} // namespace wendle::search
