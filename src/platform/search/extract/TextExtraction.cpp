#include "platform/search/extract/TextExtraction.h"

#include "platform/search/TextFolding.h"

#include <QMimeType>

#include <uchardet.h>

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace wendle::search {

namespace {

bool isOrInherits(const QMimeType &type, const char *name)
{
    const QString mimeName = QLatin1String(name);
    return type.name() == mimeName || type.inherits(mimeName);
}

// A byte order mark names its encoding for iconv; nothing when there is none.
const char *encodingOfByteOrderMark(std::string_view bytes)
{
    const auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    if (startsWith("\xEF\xBB\xBF"sv))
        return "UTF-8";
    if (startsWith("\xFF\xFE\0\0"sv))
        return "UTF-32LE";
    if (startsWith("\0\0\xFE\xFF"sv))
        return "UTF-32BE";
    if (startsWith("\xFF\xFE"sv))
        return "UTF-16LE";
    if (startsWith("\xFE\xFF"sv))
        return "UTF-16BE";
    return nullptr;
}

// Length of the valid UTF-8 prefix of bytes (no overlongs, no surrogates).
std::size_t validUtf8Length(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        // A malformed byte decodes on its own; a valid sequence here is longer.
        std::size_t next = at;
        decodeUtf8(bytes, next);
        if (next == at + 1)
            return at;
        at = next;
    }
    return at;
}

std::string guessEncoding(std::string_view bytes)
{
    uchardet_t detector = uchardet_new();
    // A guess from the first 64 KiB is as good as from the whole file, and bounded.
    uchardet_handle_data(detector, bytes.data(), std::min<std::size_t>(bytes.size(), 64 * 1024));
    uchardet_data_end(detector);
    std::string charset = uchardet_get_charset(detector);
    uchardet_delete(detector);
    // uchardet says ASCII for text it cannot place; a stray high byte then is most
    // often a Western letter.
    if (charset.empty() || charset == "ASCII" || charset == "UTF-8")
        charset = "WINDOWS-1252";
    return charset;
}

bool convert(std::string_view bytes, const char *encoding, std::size_t maxTextBytes, std::string &text)
{
    iconv_t converter = ::iconv_open("UTF-8//IGNORE", encoding);
    if (converter == iconv_t(-1))
        return false;
    text.resize(std::min(maxTextBytes, bytes.size() * 4 + 16));
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char *out = text.data();
    std::size_t outLeft = text.size();
    while (inLeft > 0 && outLeft > 0) {
        if (::iconv(converter, &in, &inLeft, &out, &outLeft) != std::size_t(-1))
            break;
        if (errno == E2BIG)
            break; // the text limit is reached
        // An invalid or cut-off sequence: skip the byte, keep the rest.
        ++in;
        --inLeft;
    }
    ::iconv_close(converter);
    text.resize(text.size() - outLeft);
    return true;
}

} // namespace

TextFormat textFormatOf(const QMimeType &type)
{
    if (isOrInherits(type, "application/pdf"))
        return TextFormat::Pdf;
    if (type.name().startsWith(QLatin1String("application/vnd.oasis.opendocument.")))
        return TextFormat::OpenDocument;
    if (type.name().startsWith(QLatin1String("application/vnd.openxmlformats-officedocument.")))
        return TextFormat::OfficeOpenXml;
    // Checked before plain text: each of these inherits text/plain.
    if (isOrInherits(type, "message/rfc822"))
        return TextFormat::Mail;
    if (isOrInherits(type, "text/html") || isOrInherits(type, "application/xhtml+xml"))
        return TextFormat::Html;
    if (isOrInherits(type, "application/rtf"))
        return TextFormat::Rtf;
    if (isOrInherits(type, "text/plain"))
        return TextFormat::Plain;
    return TextFormat::None;
}

bool needsDecoding(std::string_view bytes)
{
    if (encodingOfByteOrderMark(bytes))
        return true;
    const std::size_t valid = validUtf8Length(bytes);
    // A character cut by the end of a partial read is no sign of another encoding.
    return bytes.size() - valid >= 4;
}

void decodeToUtf8(std::string_view bytes, std::size_t maxTextBytes, std::string &text)
{
    const char *marked = encodingOfByteOrderMark(bytes);
    const std::string guessed = marked ? std::string() : guessEncoding(bytes);
    if (!convert(bytes, marked ? marked : guessed.c_str(), maxTextBytes, text))
        convert(bytes, "WINDOWS-1252", maxTextBytes, text);
}

bool extractText(TextFormat format, std::string_view bytes, const ExtractionLimits &limits, std::string &text, QString *why)
{
    text.clear();
    if (bytes.size() > limits.maxInputBytes) {
        if (why)
            *why = QStringLiteral("larger than %1 MiB").arg(limits.maxInputBytes >> 20);
        return false;
    }
    // A document that does not even begin like one is settled without its parser:
    // a walk meets many such files, and most are empty or junk.
    const bool zipped = format == TextFormat::OpenDocument || format == TextFormat::OfficeOpenXml;
    if ((zipped && !bytes.starts_with("PK\x03\x04"))
        || (format == TextFormat::Pdf && bytes.substr(0, 1024).find("%PDF-") == std::string_view::npos)) {
        if (why)
            *why = zipped ? QStringLiteral("not a zip archive") : QStringLiteral("not a PDF");
        return false;
    }
    switch (format) {
    case TextFormat::None: return false;
    case TextFormat::Plain:
        if (needsDecoding(bytes))
            decodeToUtf8(bytes, limits.maxTextBytes, text);
        else
            text.assign(bytes.substr(0, limits.maxTextBytes));
        return true;
    case TextFormat::Html: {
        std::string decoded;
        if (needsDecoding(bytes)) {
            decodeToUtf8(bytes, limits.maxInputBytes, decoded);
            bytes = decoded;
        }
        htmlToText(bytes, limits.maxTextBytes, text);
        return true;
    }
    case TextFormat::Rtf:
        if (rtfToText(bytes, limits.maxTextBytes, text))
            return true;
        if (why)
            *why = QStringLiteral("not an RTF document");
        return false;
    case TextFormat::Mail: return mailToText(bytes, limits, text, why);
    case TextFormat::Pdf: return pdfToText(bytes, limits, text, why);
    case TextFormat::OpenDocument:
    case TextFormat::OfficeOpenXml: return zippedDocumentToText(format, bytes, limits, text, why);
    }
    return false;
}

} // namespace wendle::search
