#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

class QMimeType;

// Turning the files people keep into plain UTF-8 text that a search can match:
// letters, notes, web pages, mails, PDFs and office documents.
namespace wendle::search {

// How the text of a kind is read. Plain covers every text/plain kind (source code,
// Markdown, CSV...), in whatever encoding it was written.
enum class TextFormat : unsigned char { None, Plain, Html, Rtf, Mail, Pdf, OpenDocument, OfficeOpenXml };

TextFormat textFormatOf(const QMimeType &type);

// Bounds on what one file may cost. A file beyond them is found by its name and
// kind only: an owner's letter is far smaller, and a search must never stall or
// balloon on a disk image renamed .pdf or a zip bomb dressed as .docx.
struct ExtractionLimits {
    std::size_t maxInputBytes = std::size_t(32) << 20;
    std::size_t maxTextBytes = std::size_t(1) << 20;      // the rest of a long text is not read
    std::size_t maxUnpackedBytes = std::size_t(16) << 20; // of a zipped document's text parts
    int maxMilliseconds = 5000;
};

// The text of a file whose bytes are `bytes`, as UTF-8, into `text`. False, with a
// short reason in *why, when the bytes are not what the format says (a damaged or
// encrypted PDF, a zip that is no document) or a limit was reached before any text.
bool extractText(TextFormat format, std::string_view bytes, const ExtractionLimits &limits, std::string &text, QString *why);

// Plain text: whether `bytes` must be converted before a UTF-8 match can read them
// (a byte order mark, or bytes that are not UTF-8). A multi-byte character cut off
// at the end of a partial read does not count.
bool needsDecoding(std::string_view bytes);
// Converts text in another encoding (a byte order mark says which, else it is
// guessed from the bytes, else Windows-1252) to UTF-8.
void decodeToUtf8(std::string_view bytes, std::size_t maxTextBytes, std::string &text);

// Helpers of the formats, each in its own file.
void htmlToText(std::string_view html, std::size_t maxTextBytes, std::string &text);
bool rtfToText(std::string_view rtf, std::size_t maxTextBytes, std::string &text);
bool mailToText(std::string_view message, const ExtractionLimits &limits, std::string &text, QString *why);
bool pdfToText(std::string_view pdf, const ExtractionLimits &limits, std::string &text, QString *why);
bool zippedDocumentToText(TextFormat format, std::string_view zip, const ExtractionLimits &limits, std::string &text, QString *why);

} // namespace wendle::search
