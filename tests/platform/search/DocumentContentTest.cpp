#include "platform/search/FileSystemSearch.h"
#include "platform/search/SearchAndWait.h"
#include "support/DocumentFiles.h"
#include "support/QtApplication.h"
#include "support/TestFiles.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace wendle;
using namespace wendle::test;

namespace {

// The Controller's content query for "dear sir" with the documents and mail flags on.
const QString kDearSirQuery =
    QStringLiteral("((*==' dear sir'wcd || kMDItemTextContent == ' dear sir'cd) && kMDItemFSSize < 4194304) && (  "
                   "kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd ||  "
                   "kMDItemKind = '*emlx'cd)");

class DocumentContent : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApplication(); }

    void write(const QString &relativePath, const QByteArray &content, qint64 size = -1)
    {
        ASSERT_TRUE(writeFile(m_dir.path() + u'/' + relativePath, content, size)) << relativePath.toStdString();
    }

    QStringList found(const QString &query)
    {
        FileSystemSearch search(m_dir.path());
        return foundBelow(m_dir.path(), search, query);
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(DocumentContent, FindsAPhraseInEveryFormatPeopleKeepAndSkipsWhatCannotBeRead)
{
    const QString letter = QStringLiteral("Dear Sir, I write about the roof.");
    const QByteArray mail = "From: Ann <ann@example.org>\nTo: bob@example.org\nSubject: roof\n"
                            "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
                            "Content-Transfer-Encoding: quoted-printable\n\nDear=20Sir, I write about the roof.\n";
    QByteArray utf16 = "\xFF\xFE";
    for (QChar c : letter)
        utf16 += QByteArray(reinterpret_cast<const char *>(&c), 2);
    // A zip bomb: a Word file whose text, ending with the phrase, unpacks to 20 MB.
    const QByteArray bomb = zipOf({{"word/document.xml", "<w:document><w:body><w:p><w:t>" + QByteArray(20 << 20, ' ')
                                                             + "Dear Sir</w:t></w:p></w:body></w:document>"}});
    const struct {
        const char *name;
        QByteArray content;
        qint64 size;
        bool found;
    } files[] = {
        {"letter.pdf", pdfShowing(letter), -1, true},
        {"letter.odt", odtWith({QStringLiteral("Roof"), letter}), -1, true},
        {"letter.docx", docxWith({letter}), -1, true},
        {"letter.eml", mail, -1, true},
        {"Mail/INBOX/cur/1712345678.M20P7.host:2,S", mail, -1, true},
        {"letter.html", "<html><head><style>p{}</style></head><body><p>Dear <b>Sir</b>,</p></body></html>", -1, true},
        {"letter.rtf", "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\\f0 Dear \\b Sir\\b0 , I write.\\par}", -1, true},
        {"letter latin1.txt", "Dear Sir, the caf\xE9 roof.\n", -1, true},
        {"letter utf16.txt", utf16, -1, true},
        {"scan", pdfShowing(letter), -1, true}, // a PDF that its name does not type
        {"other.pdf", pdfShowing(QStringLiteral("Nothing to see")), -1, false},
        {"broken.pdf", "%PDF-1.4\nDear Sir 1 0 obj << garbage", -1, false},
        {"bomb.docx", bomb, -1, false},
        {"huge.pdf", "%PDF-1.4\n", qint64(2) << 30, false},
        {"tags.html", "<p>Dear</p><p>Sirloin</p>", -1, false},
    };
    QStringList expected;
    for (const auto &file : files) {
        write(QString::fromUtf8(file.name), file.content, file.size);
        if (file.found)
            expected << QString::fromUtf8(file.name);
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.path() + QStringLiteral("/dear sir.txt")).constData(), 0600), 0);
    expected.sort();
    EXPECT_EQ(found(kDearSirQuery), expected);
    EXPECT_EQ(found(QStringLiteral("kMDItemTextContent == '*cafe*'cd")), QStringList{QStringLiteral("letter latin1.txt")});
}

// One file of each kind; each kind clause the Controller writes selects exactly its
// own. Run again below under a German locale, where the kind descriptions differ.
TEST_F(DocumentContent, EachKindFlagSelectsTheFilesOfItsKind)
{
    if (qEnvironmentVariable("WENDLE_TEST_LOCALE") == QLatin1String("de")) { // the run below
        ASSERT_EQ(QMimeDatabase().mimeTypeForName(QStringLiteral("application/pdf")).comment(), QStringLiteral("PDF-Dokument"));
    }
    const QList<QPair<QString, QByteArray>> files = {
        {"a.pdf", pdfShowing("a")},
        {"a.odt", odtWith({"a"})},
        {"notes.txt", "a"},
        {"book.epub", "x"},
        {"photo.jpg", "x"},
        {"scan.tiff", "x"},
        {"mail.eml", "From: a@b.c\n\nx\n"},
        {"disk.iso", "x"},
        {"backup.tar.gz", "x"},
        {"start.desktop", "[Desktop Entry]\n"},
        {"tool", readFile(QStringLiteral("/bin/true"))},
        {"run.sh", "#!/bin/sh\n"},
        {"song.mp3", "x"},
        {"film.mp4", "x"},
        {"clip.mov", "x"},
    };
    for (const auto &[name, content] : files)
        write(name, content);
    const struct {
        const char *clause;
        QStringList expected;
    } cases[] = {
        {"kMDItemKind = '*document'cd || kMDItemKind = '*publication'cd || kMDItemKind = '*text'cd",
         {"a.odt", "a.pdf", "book.epub", "notes.txt"}},
        {"kMDItemKind = '*image'cd || kMDItemKind = '*tiff'cd", {"photo.jpg", "scan.tiff"}},
        {"kMDItemKind = '*tiff'cd", {"scan.tiff"}},
        {"kMDItemKind = '*emlx'cd", {"mail.eml"}},
        {"kMDItemKind = '*archive'cd", {"backup.tar.gz"}},
        {"kMDItemKind = '*disk image'cd", {"disk.iso"}},
        {"kMDItemKind = '*application'cd", {"start.desktop", "tool"}},
        {"kMDItemKind = '*clipping'cd", {}}, // no Linux desktop keeps clipping files
        {"kMDItemKind = '*script'cd", {"run.sh"}},
        {"kMDItemKind = '*audio'cd", {"song.mp3"}},
        {"kMDItemKind = '*video'cd || kMDItemKind = '*movie'cd", {"clip.mov", "film.mp4"}},
        {"kMDItemKind = 'application/pdf'", {"a.pdf"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(found(QString::fromUtf8(c.clause)), c.expected) << c.clause;
}

TEST_F(DocumentContent, KindsMeanTheSameFilesUnderAGermanLocale)
{
    if (!qEnvironmentVariableIsEmpty("WENDLE_TEST_LOCALE"))
        GTEST_SKIP() << "already the German run";
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        environment.insert(QString::fromLatin1(name), QStringLiteral("de_DE.UTF-8"));
    environment.insert(QStringLiteral("WENDLE_TEST_LOCALE"), QStringLiteral("de"));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=DocumentContent.*")});
    ASSERT_TRUE(run.waitForFinished(120000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
}
