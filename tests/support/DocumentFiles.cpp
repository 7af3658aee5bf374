#include "support/DocumentFiles.h"

#include <QStringList>

#include <zip.h>

namespace wendle::test {

QByteArray pdfShowing(const QString &text)
{
    QByteArray escaped = text.toLatin1();
    escaped.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
    const QByteArray stream = "BT /F1 12 Tf 72 720 Td (" + escaped + ") Tj ET\n";
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref)
           + "\n%%EOF\n";
    return pdf;
}

QByteArray zipOf(const QList<QPair<QString, QByteArray>> &members)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_source_keep(target);
    for (const auto &[name, bytes] : members) {
        // libzip reads the member when the archive is closed, below, while `members` still holds it.
        zip_source_t *source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (name == QLatin1String("mimetype"))
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    zip_close(archive);
    QByteArray zipped;
    zip_stat_t status;
    if (zip_source_stat(target, &status) == 0 && zip_source_open(target) == 0) {
        zipped.resize(qsizetype(status.size));
        zip_source_read(target, zipped.data(), status.size);
        zip_source_close(target);
    }
    zip_source_free(target);
    zip_error_fini(&error);
    return zipped;
}

QByteArray odtWith(const QStringList &paragraphs)
{
    QByteArray body;
    for (const QString &paragraph : paragraphs)
        body += "<text:p text:style-name=\"Standard\">" + paragraph.toHtmlEscaped().toUtf8() + "</text:p>";
    const QByteArray content = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                               "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\">"
                               "<office:body><office:text>"
                               + body + "</office:text></office:body></office:document-content>";
    return zipOf({{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", content}});
}

QByteArray docxWith(const QStringList &paragraphs)
{
    QByteArray body;
    for (const QString &paragraph : paragraphs) {
        // Word splits a paragraph into runs wherever the formatting changes.
        const QStringList words = paragraph.split(u' ');
        body += "<w:p>";
        for (qsizetype i = 0; i < words.size(); ++i)
            body += "<w:r><w:t xml:space=\"preserve\">" + (i ? QByteArray(" ") : QByteArray()) + words[i].toHtmlEscaped().toUtf8()
                    + "</w:t></w:r>";
        body += "</w:p>";
    }
    const QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
                                + body + "</w:body></w:document>";
    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
    return zipOf({{"[Content_Types].xml", types}, {"word/document.xml", document}});
}

} // namespace wendle::test
