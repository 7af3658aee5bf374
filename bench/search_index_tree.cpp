#include "search_index_tree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace wendle::bench {

namespace {

// Common words, so texts read like texts and the index meets real postings.
constexpr std::array Common = {
    "the",         "of",      "and",       "to",       "in",        "is",       "for",     "that",    "with",    "on",       "as",
    "this",        "by",      "be",        "are",      "from",      "at",       "or",      "an",      "it",      "was",      "we",
    "will",        "can",     "all",       "has",      "our",       "more",     "their",   "which",   "one",     "about",    "report",
    "meeting",     "project", "house",     "garden",   "insurance", "bank",     "holiday", "school",  "letter",  "contract", "invoice",
    "payment",     "account", "schedule",  "review",   "draft",     "final",    "summary", "plan",    "notes",   "family",   "doctor",
    "appointment", "travel",  "train",     "flight",   "hotel",     "recipe",   "dinner",  "weekend", "monday",  "friday",   "january",
    "march",       "june",    "october",   "december", "question",  "answer",   "please",  "thanks",  "regards", "dear",     "sir",
    "madam",       "office",  "client",    "customer", "order",     "delivery", "price",   "cost",    "total",   "amount",   "tax",
    "return",      "receipt", "statement", "salary",   "pension",   "mortgage", "rent",    "energy",  "water",   "phone",    "internet",
};

// Made-up words, thousands of them, for the long tail of a real vocabulary.
std::string madeUpWord(std::mt19937 &random)
{
    static const char *syllables[] = {"ka", "lo",  "mi",  "ten", "ra", "vo",  "sel", "dan", "pri", "qua", "ber", "ost",
                                      "ul", "fin", "gra", "hem", "ix", "jor", "nu",  "pel", "sta", "tri", "wen", "zo"};
    std::string word;
    for (unsigned n = 2 + random() % 3; n > 0; --n)
        word += syllables[random() % std::size(syllables)];
    return word;
}

class Writer {
public:
    explicit Writer(unsigned seed) : m_random(seed)
    {
        for (int i = 0; i < 6000; ++i)
            m_vocabulary.push_back(madeUpWord(m_random));
    }

    std::mt19937 &random() { return m_random; }

    // About `bytes` of prose; "budget" in about one text of 25.
    std::string prose(size_t bytes, bool budget)
    {
        std::string text;
        size_t sentence = 0;
        while (text.size() < bytes) {
            const bool common = m_random() % 3 != 0;
            text += common ? Common[m_random() % Common.size()] : m_vocabulary[m_random() % m_vocabulary.size()];
            if (budget && text.size() > bytes / 2) {
                text += " budget";
                budget = false;
            }
            if (++sentence % 14 == 0)
                text += ".\n";
            else
                text += ' ';
        }
        return text;
    }

    std::string name()
    {
        std::string name = Common[32 + m_random() % (Common.size() - 32)];
        for (unsigned more = m_random() % 3; more > 0; --more)
            name += std::string(m_random() % 2 ? " " : "_") + Common[32 + m_random() % (Common.size() - 32)];
        return name;
    }

    std::string bytes(size_t count)
    {
        std::string data(count, '\0');
        for (char &c : data)
            c = char(m_random());
        return data;
    }

private:
    std::mt19937 m_random;
    std::vector<std::string> m_vocabulary;
};

bool writeFile(const QString &path, const std::string &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content.data(), qint64(content.size())) == qint64(content.size());
}

// A one-page PDF whose text poppler reads: Helvetica, one line per text line.
std::string pdf(const std::string &text)
{
    std::string stream = "BT /F1 10 Tf 56 780 Td 12 TL\n";
    size_t start = 0;
    for (int line = 0; start < text.size() && line < 60; ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        stream += '(' + text.substr(start, end - start) + ") Tj T*\n";
        start = end + 1;
    }
    stream += "ET\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        out += entry;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string paragraphsXml(const std::string &text, const char *open, const char *close)
{
    std::string xml;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        xml += open + text.substr(start, end - start) + close;
        start = end + 1;
    }
    return xml;
}

// A zip of the given entries; the first is stored uncompressed (an
// OpenDocument's mimetype must be).
bool writeZip(const QString &path, const std::vector<std::pair<std::string, std::string>> &entries)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    bool first = true;
    for (const auto &[name, content] : entries) {
        zip_source_t *source = zip_source_buffer(archive, content.data(), content.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        if (first)
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
        first = false;
    }
    return zip_close(archive) == 0; // the buffers are read here, so they must live until now
}

bool docx(const QString &path, const std::string &text)
{
    return writeZip(
        path,
        {
            {"[Content_Types].xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
            {"_rels/.rels",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
             "Target=\"word/document.xml\"/></Relationships>"},
            {"word/document.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
             "<w:body>"
                 + paragraphsXml(text, "<w:p><w:r><w:t>", "</w:t></w:r></w:p>") + "</w:body></w:document>"},
        });
}

bool odt(const QString &path, const std::string &text)
{
    return writeZip(
        path,
        {
            {"mimetype", "application/vnd.oasis.opendocument.text"},
            {"META-INF/manifest.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
             "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
             "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/></manifest:manifest>"},
            {"content.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
             "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\"><office:body><office:text>"
                 + paragraphsXml(text, "<text:p>", "</text:p>") + "</office:text></office:body></office:document-content>"},
        });
}

std::string mail(Writer &writer, int serial, const std::string &text)
{
    return "From: Friend <friend" + std::to_string(serial % 97) + "@example.org>\r\nTo: me@example.org\r\nSubject: " + writer.name()
           + "\r\nDate: Mon, 7 Jun 2021 10:" + std::to_string(10 + serial % 50) + ":00 +0200\r\nMessage-ID: <" + std::to_string(serial)
           + "@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + text + "\r\n";
}

std::string source(Writer &writer, size_t bytes, bool budget)
{
    std::string code = "// " + writer.prose(120, budget) + "\n#include <vector>\n\n";
    int function = 0;
    while (code.size() < bytes) {
        ++function;
        code += "int " + writer.name().substr(0, 6) + std::to_string(function)
                + "(const std::vector<int> &values)\n{\n"
                  "    int total = 0;\n    for (int value : values)\n        total += value * "
                + std::to_string(function) + ";\n    return total; // " + writer.prose(40, false) + "\n}\n\n";
    }
    return code;
}

// Binary files open with their format's signature, as a file manager sees them.
std::string media(Writer &writer, const char *extension, size_t bytes)
{
    const std::string tail = writer.bytes(bytes);
    const std::string kind = extension;
    if (kind == "jpg")
        return std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + tail;
    if (kind == "png")
        return std::string("\x89PNG\r\n\x1A\n", 8) + tail;
    if (kind == "mp3")
        return "ID3\x03" + tail;
    return std::string("PK\x03\x04", 4) + tail;
}

// Folders like a home's: a few top folders, then years, topics and drafts,
// some a dozen deep.
QString folderFor(std::mt19937 &random, qint64 serial)
{
    static const char *tops[] = {"Documents", "Projects", "Mail", "Pictures", "Music", "src", "Downloads", "Archive"};
    static const char *levels[] = {"2019",   "2020",  "2021",   "2022",   "work",  "private", "clients", "old",
                                   "drafts", "final", "shared", "backup", "scans", "notes",   "misc",    "team"};
    QString folder = QLatin1String(tops[random() % std::size(tops)]);
    const unsigned depth = 1 + random() % (serial % 10 == 0 ? 11 : 5);
    for (unsigned level = 0; level < depth; ++level)
        folder += u'/' + QLatin1String(levels[random() % std::size(levels)]);
    return folder + QStringLiteral("/box%1").arg(serial / 400 % 50);
}

} // namespace

MixedTree makeMixedTree(qint64 files)
{
    MixedTree tree;
    const QString base = QStringLiteral("/tmp/wendle-bench-mixed-%1").arg(files);
    const QString marker = base + QStringLiteral("/complete");
    tree.root = base + QStringLiteral("/tree");
    tree.files = files;
    if (QFile::exists(marker)) {
        QFile counts(marker);
        counts.open(QIODevice::ReadOnly);
        tree.filesWithText = counts.readAll().trimmed().toLongLong();
        std::printf("tree       %s (made by an earlier run): %lld files, %lld with text\n", qPrintable(tree.root), qlonglong(files),
                    qlonglong(tree.filesWithText));
        return tree;
    }
    QDir(base).removeRecursively();
    QElapsedTimer timer;
    timer.start();
    Writer writer(20261206);
    std::mt19937 &random = writer.random();
    for (qint64 i = 0; i < files; ++i) {
        const QString folder = tree.root + u'/' + folderFor(random, i);
        QDir().mkpath(folder);
        const unsigned kind = random() % 100;
        // "tax return" in about one name of 300.
        std::string name = (random() % 300 == 0 ? std::string("tax return ") : std::string()) + writer.name() + ' ' + std::to_string(i);
        const bool budget = random() % 25 == 0;
        const size_t size = 800 + random() % 12000;
        bool ok = true;
        bool text = true;
        const QString path = folder + u'/' + QString::fromStdString(name);
        if (kind < 12) {
            ok = writeFile(path + (kind % 2 ? ".txt" : ".md"), writer.prose(size, budget));
        } else if (kind < 18) {
            ok = writeFile(path + ".pdf", pdf(writer.prose(std::min<size_t>(size, 4000), budget)));
        } else if (kind < 23) {
            ok = docx(path + ".docx", writer.prose(size, budget));
        } else if (kind < 26) {
            ok = odt(path + ".odt", writer.prose(size, budget));
        } else if (kind < 36) {
            static const char *extensions[] = {".cpp", ".h", ".py", ".js", ".c"};
            ok = writeFile(path + extensions[random() % std::size(extensions)], source(writer, size, budget));
        } else if (kind < 41) {
            ok = writeFile(path + ".eml", mail(writer, int(i), writer.prose(size / 2, budget)));
        } else if (kind < 42) {
            std::string box;
            for (int m = 0; m < 5; ++m)
                box += "From friend@example.org Mon Jun  7 10:00:00 2021\n"
                       + mail(writer, int(i) * 5 + m, writer.prose(size / 5, budget && m == 2));
            ok = writeFile(path + ".mbox", box);
        } else if (kind < 44) {
            ok = writeFile(path + ".html", "<html><head><title>" + writer.name() + "</title></head><body><p>" + writer.prose(size, budget)
                                               + "</p></body></html>\n");
        } else if (kind < 45) {
            ok = writeFile(path + ".csv", "date,amount,what\n2021-06-07,12.50," + writer.prose(size / 4, budget) + "\n");
        } else {
            text = false;
            static const char *extensions[] = {"jpg", "jpg", "jpg", "png", "mp3", "zip"};
            const char *extension = extensions[random() % std::size(extensions)];
            ok = writeFile(path + '.' + extension, media(writer, extension, 1000 + random() % 15000));
        }
        if (!ok) {
            std::fprintf(stderr, "cannot write a file in %s\n", qPrintable(folder));
            tree.root.clear();
            return tree;
        }
        tree.filesWithText += text ? 1 : 0;
    }
    QFile counts(marker);
    counts.open(QIODevice::WriteOnly);
    counts.write(QByteArray::number(tree.filesWithText));
    tree.secondsToMake = double(timer.elapsed()) / 1000;
    std::printf("tree       %s: %lld files, %lld with text (%.0f%%), made in %.1f s\n", qPrintable(tree.root), qlonglong(files),
                qlonglong(tree.filesWithText), 100.0 * double(tree.filesWithText) / double(std::max<qint64>(1, files)), tree.secondsToMake);
    return tree;
}

} // namespace wendle::bench
