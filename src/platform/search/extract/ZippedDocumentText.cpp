// The text of OpenDocument and Office Open XML files: zip archives whose members
// hold the document as XML.

#include "platform/search/extract/TextExtraction.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <vector>

namespace wendle::search {

namespace {

// Reads one member, never more than `limit` bytes whatever its header claims: the
// declared size of a crafted archive is no bound.
bool readMember(zip_t *archive, zip_int64_t index, std::size_t limit, QByteArray &bytes)
{
    zip_file_t *member = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (!member)
        return false;
    bytes.clear();
    char chunk[64 * 1024];
    zip_int64_t got = 0;
    while (std::size_t(bytes.size()) < limit && (got = zip_fread(member, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, qsizetype(std::min<std::size_t>(std::size_t(got), limit - std::size_t(bytes.size()))));
    zip_fclose(member);
    return got >= 0;
}

// Members holding the text, in reading order.
std::vector<zip_int64_t> textMembers(zip_t *archive, TextFormat format)
{
    std::vector<std::pair<std::string, zip_int64_t>> found;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (!name)
            continue;
        const std::string_view member(name);
        const bool wanted =
            format == TextFormat::OpenDocument
                ? member == "content.xml"
                : member == "word/document.xml" || member == "xl/sharedStrings.xml"
                      || (member.starts_with("ppt/slides/slide") && member.ends_with(".xml"))
                      || (member.starts_with("word/")
                          && (member.starts_with("word/header") || member.starts_with("word/footer") || member == "word/footnotes.xml"));
        if (wanted)
            found.emplace_back(name, i);
    }
    // slide10 after slide9: by length first, then by name.
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.size() != b.first.size() ? a.first.size() < b.first.size() : a.first < b.first;
    });
    std::vector<zip_int64_t> indexes;
    for (const auto &entry : found)
        indexes.push_back(entry.second);
    return indexes;
}

// The character data of the document's text elements, a line break after each
// paragraph and a space for tabs and breaks, so that words stay apart.
void appendXmlText(const QByteArray &xml, TextFormat format, std::size_t limit, std::string &text)
{
    static const QStringList paragraphs = {"p", "h", "tr", "si", "list-item", "table-row"};
    static const QStringList spaces = {"tab", "s", "br", "line-break", "tc", "table-cell"};
    QXmlStreamReader reader(xml);
    QString pending;
    int insideText = 0; // Office Open XML keeps the words in <w:t>, <a:t> and <t> only
    while (!reader.atEnd() && text.size() + std::size_t(pending.size()) < limit) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (reader.name() == QLatin1String("t"))
                ++insideText;
            else if (spaces.contains(reader.name()))
                pending += u' ';
            break;
        case QXmlStreamReader::EndElement:
            if (reader.name() == QLatin1String("t"))
                insideText = std::max(0, insideText - 1);
            else if (paragraphs.contains(reader.name()))
                pending += u'\n';
            break;
        case QXmlStreamReader::Characters:
            if (format == TextFormat::OpenDocument || insideText > 0)
                pending += reader.text();
            break;
        default: break;
        }
    }
    const QByteArray utf8 = pending.toUtf8();
    text.append(utf8.constData(), std::min(std::size_t(utf8.size()), limit - std::min(limit, text.size())));
}

} // namespace

bool zippedDocumentToText(TextFormat format, std::string_view bytes, const ExtractionLimits &limits, std::string &text, QString *why)
{
    const auto fail = [why](const char *reason) {
        if (why)
            *why = QString::fromLatin1(reason);
        return false;
    };
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source)
            zip_source_free(source);
        return fail("not a readable zip archive");
    }
    const std::vector<zip_int64_t> members = textMembers(archive, format);
    bool readAny = false;
    QByteArray xml;
    std::size_t unpackedLeft = limits.maxUnpackedBytes; // all members together: a bomb of many parts is no way round
    for (zip_int64_t member : members) {
        if (text.size() >= limits.maxTextBytes || unpackedLeft == 0)
            break;
        if (!readMember(archive, member, unpackedLeft, xml))
            continue;
        unpackedLeft -= std::size_t(xml.size());
        readAny = true;
        appendXmlText(xml, format, limits.maxTextBytes, text);
    }
    zip_discard(archive); // also frees the source
    if (!readAny)
        return fail(members.empty() ? "a zip archive without document text" : "a damaged zip archive");
    return true;
}

} // namespace wendle::search
