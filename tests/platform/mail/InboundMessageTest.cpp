#include "integration/support/ParsedMail.h"
#include "platform/mail/AttachmentFile.h"
#include "platform/mail/HtmlText.h"
#include "platform/mail/InboundMessage.h"

#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace wendle;
using namespace wendle::test;

static QByteArray crlf(const char *text)
{
    return QByteArray(text).replace("\n", "\r\n");
}

static unsigned modeOf(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A multipart message of `count` parts, each opened by "--b" and given head.
static QByteArray multipartOf(int count, const QByteArray &head, const QByteArray &type = "Content-Type: multipart/mixed; boundary=b")
{
    QByteArray raw = "From: a@example.com\r\n" + type + "\r\n\r\n";
    for (int i = 0; i < count; ++i)
        raw += "--b\r\n" + head + "\r\nwndl x\r\n";
    return raw + "--b--\r\n";
}

TEST(InboundMessage, TextFromRealMessageShapes)
{
    // A boundary named in a text body opens no part there.
    const QByteArray delimitersAsText = "boundary=b\n" + QByteArray("--b\n").repeated(1500);
    const std::tuple<const char *, QByteArray, const char *, const char *> cases[] = {
        {"plain, display name", crlf("From: Owner <owner@example.org>\nSubject: x\n\nwndl find named budget\n"),
         "Owner <owner@example.org>", "wndl find named budget\n"},
        {"encoded display name", crlf("From: =?UTF-8?Q?Jos=C3=A9?= <jose@example.com>\n\nhi\n"), "José <jose@example.com>", "hi\n"},
        {"quoted-printable utf-8",
         crlf("From: a@example.com\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
              "wndl find named r=C3=A9sum=C3=A9 and a very long line that is soft=\n-broken\n"),
         "a@example.com", "wndl find named résumé and a very long line that is soft-broken\n"},
        {"iso-8859-1 8bit",
         crlf("From: a@example.com\nContent-Type: text/plain; charset=ISO-8859-1\nContent-Transfer-Encoding: 8bit\n\n")
             + QByteArray("wndl find named caf\xe9 na\xefve\r\n"),
         "a@example.com", "wndl find named café naïve\n"},
        {"undeclared latin-1 bytes", crlf("From: a@example.com\n\n") + QByteArray("caf\xe9\r\n"), "a@example.com", "café\n"},
        {"html only",
         crlf("From: a@example.com\nContent-Type: text/html; charset=utf-8\n\n"
              "<html><head><title>T</title><style>p{color:red}</style></head><body>\n"
              "<p>wndl find <b>named</b>\n  budget &amp; plan</p><div>second&nbsp;line&#33; &lt;ok&gt;</div><br>"
              "<script>alert(1)</script></body></html>\n"),
         "a@example.com", "wndl find named budget & plan\nsecond line! <ok>"},
        {"alternative prefers plain",
         crlf("From: a@example.com\nMIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=b\n\n"
              "--b\nContent-Type: text/plain\n\nplain version\n--b\nContent-Type: text/html\n\n<p>html version</p>\n--b--\n"),
         "a@example.com", "plain version"},
        {"mbox From line first", "From owner@example.org Fri Dec  4 13:35:31 2026\n" + crlf("From: owner@example.org\n\nwndl x\n"),
         "owner@example.org", "wndl x\n"},
        {"no body", crlf("From: a@example.com\nSubject: empty\n\n"), "a@example.com", ""},
        {"900 untyped parts", multipartOf(900, ""), "a@example.com", "wndl x"},
        {"1500 delimiter lines in a text body", "From: a@example.com\r\n\r\nboundary=b\r\n" + QByteArray("--b\r\n").repeated(1500),
         "a@example.com", delimitersAsText.constData()},
    };
    for (const auto &[name, raw, from, text] : cases) {
        SCOPED_TRACE(name);
        QString error;
        const std::optional<InboundMail> mail = parseInboundMessage(raw, QString(), &error);
        ASSERT_TRUE(mail) << str(error);
        EXPECT_EQ(str(mail->from), from);
        EXPECT_EQ(str(mail->text), text);
        EXPECT_TRUE(mail->attachmentPath.isEmpty());
    }
}

TEST(InboundMessage, RefusesWhatIsNotAUsableMessage)
{
    const std::tuple<const char *, QByteArray, const char *> cases[] = {
        {"no From", crlf("To: computer@example.com\nSubject: x\n\nwndl help\n"), "From"},
        {"group without members", crlf("From: undisclosed:;\n\nwndl help\n"), "From"},
        {"garbage bytes", randomBytes(4096, 7), "From|not a mail message"},
        {"empty input", QByteArray(), "From|not a mail message"},
        {"too large", crlf("From: a@example.com\n\n") + QByteArray(MaxInboundMessageBytes, 'a'), "larger"},
        {"typed parts in capitals", multipartOf(1500, "CONTENT-TYPE: TEXT/PLAIN\r\n"), "more than 1000 MIME parts"},
        {"untyped parts", multipartOf(1500, ""), "more than 1000 MIME parts"},
        {"untyped parts, boundary in capitals", multipartOf(1500, "", "CONTENT-TYPE: MULTIPART/MIXED; BOUNDARY=\"b\""),
         "more than 1000 MIME parts"},
        {"nested messages", multipartOf(600, "Content-Type: message/rfc822\r\n\r\nFrom: b@example.com\r\n"), "more than 1000 MIME parts"},
        {"untyped messages of a digest", multipartOf(600, "\r\nFrom: b@example.com\r\n", "Content-Type: multipart/digest; boundary=b"),
         "more than 1000 MIME parts"},
        {"many header lines", "From: a@example.com\r\n" + QByteArray("X-Filler: x\r\n").repeated(30000) + "\r\nx\r\n",
         "more than 20000 header lines"},
        {"a huge header", "From: a@example.com\r\nX-Filler: " + QByteArray(5 << 20, 'x') + "\r\n\r\nx\r\n", "headers take more than 4 MB"},
    };
    for (const auto &[name, raw, reason] : cases) {
        SCOPED_TRACE(name);
        QString error;
        bool temporary = true;
        EXPECT_FALSE(parseInboundMessage(raw, QString(), &error, &temporary));
        const QStringList reasons = QString::fromLatin1(reason).split(u'|');
        EXPECT_TRUE(std::any_of(reasons.cbegin(), reasons.cend(), [&](const QString &r) { return error.contains(r); })) << str(error);
        EXPECT_FALSE(temporary);
    }
}

TEST(InboundMessage, FirstAttachmentIsSavedByteForByte)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("attachments");
    for (const qsizetype size : {3000, 20 * 1024 * 1024}) { // the second makes a 27 MB message
        SCOPED_TRACE(size);
        const QByteArray picture = randomBytes(size, quint32(size));
        QString error;
        const auto mail = parseInboundMessage(mailWithAttachment("wndl fax to 5551212", picture, "photo.jpg"), folder, &error);
        ASSERT_TRUE(mail) << str(error);
        EXPECT_EQ(str(mail->text), "wndl fax to 5551212");
        ASSERT_FALSE(mail->attachmentPath.isEmpty());
        EXPECT_EQ(QFileInfo(mail->attachmentPath).absolutePath(), QDir(folder).absolutePath());
        EXPECT_TRUE(readFile(mail->attachmentPath) == picture);
    }
    const QStringList saved = QDir(folder).entryList(QDir::Files);
    EXPECT_EQ(saved.size(), 2) << "the same name twice gives two files";
    for (const QString &name : saved)
        EXPECT_EQ(modeOf(QDir(folder).filePath(name)), 0600u) << str(name);
    EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(InboundMessage, AttachmentPastTheFolderBoundIsLeftOutAndAnUnwritableFolderIsATemporaryFailure)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("attachments");
    ASSERT_TRUE(writeFile(folder + "/earlier.bin", {}, MaxAttachmentFolderBytes - 4000));
    for (const auto &[size, kept] : {std::pair{3000, true}, std::pair{3000, false}}) {
        QString error;
        const auto mail = parseInboundMessage(mailWithAttachment("wndl fax to 5551212", randomBytes(size, 1), "a.jpg"), folder, &error);
        ASSERT_TRUE(mail) << str(error);
        EXPECT_EQ(str(mail->text), "wndl fax to 5551212");
        EXPECT_EQ(mail->attachmentPath.isEmpty(), !kept);
        EXPECT_EQ(mail->attachmentFolderFull, !kept);
    }
    // A folder that cannot be made is a temporary failure: the message is kept to be tried again.
    QString error;
    bool temporary = false;
    EXPECT_FALSE(parseInboundMessage(mailWithAttachment("x", "x", "a.jpg"), folder + "/earlier.bin/sub", &error, &temporary));
    EXPECT_TRUE(temporary);
    EXPECT_FALSE(error.isEmpty());
}

TEST(InboundMessage, MaliciousAttachmentNamesStayInTheFolder)
{
    QTemporaryDir dir;
    const std::pair<QByteArray, QString> cases[] = {
        {"../../etc/passwd", QStringLiteral("passwd")},
        {"/", QStringLiteral("attachment.jpg")},
        {"..\\\\..\\\\windows\\\\evil.exe", QStringLiteral("evil.exe")},
        {".bashrc", QStringLiteral("bashrc")},
        {"bad\x01name\x7f.txt", QStringLiteral("badname.txt")},
        {"\xe2\x80\xae"
         "gpj.exe",
         QStringLiteral("gpj.exe")}, // right-to-left override
        {QByteArray(400, 'x') + ".pdf", QString(196, u'x') + QLatin1String(".pdf")},
    };
    int folders = 0; // one for each, so that no name has to give way to another
    for (const auto &[filename, savedName] : cases) {
        SCOPED_TRACE(filename.left(60).toStdString());
        const QString folder = dir.filePath(QString::number(++folders));
        QString error;
        const auto mail = parseInboundMessage(mailWithAttachment("x", "payload", filename), folder, &error);
        ASSERT_TRUE(mail) << str(error);
        EXPECT_EQ(QFileInfo(mail->attachmentPath).absolutePath(), QDir(folder).absolutePath());
        EXPECT_EQ(str(QFileInfo(mail->attachmentPath).fileName()), str(savedName));
        EXPECT_EQ(readFile(mail->attachmentPath), QByteArray("payload"));
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("passwd"))));
}

TEST(HtmlText, ReadableTextOfHtmlBodies)
{
    const std::pair<const char *, const char *> cases[] = {
        {"<p>wndl help</p>", "wndl help"},
        {"wndl<br>find<BR/>named<br />x", "wndl\nfind\nnamed\nx"},
        {"<div>one</div><div>two</div>", "one\ntwo"},
        {"a\n   b\t\tc", "a b c"},
        {"<style>p { color: red }</style><script>var a = '<p>';</script>text", "text"},
        {"<!-- <p>hidden</p> -->shown", "shown"},
        {"&lt;b&gt; &amp;amp; &quot;q&quot; &#39;s&#39; &#x263A; &nbsp;x", "<b> &amp; \"q\" 's' ☺  x"},
        {"&unknown; a&#0;b &#xD800;c &#99999999;d", "&unknown; ab c d"}, // references to no character are dropped
        {"<p>a</p>\n\n<p></p><p></p><p>b</p>", "a\nb"},
        {"a<br><br><br><br>b", "a\n\nb"}, // at most one blank line
        {"<a href=\"x\">link</a> <img src=y alt=z>", "link"},
        {"", ""},
        {"<unterminated", ""},
        {"<p>caf&eacute; &#8364; &hellip;</p><ul><li>one</li></ul>", "café € …\none"},
        {"<meta charset=\"iso-8859-1\"><p>caf\u00e9</p>", "café"}, // the text is decoded already
        {"<pre>a  b\n  c</pre>", "a  b\nc"},
        // What mail programs quote comes out as "> " lines.
        {"<p>own</p><blockquote style=\"margin:0 0 0 .8ex;padding-left:1ex\">q1<br>q2</blockquote>after", "own\n> q1\n> q2\nafter"},
        {"<div class=\"x gmail_quote\"><div>q</div></div>", "> q"},
        {"<div class=\"ydp9yahoo_quoted\">q</div><div data-marker=\"__QUOTED_TEXT__\">r</div>", "> q\n> r"},
        {"own<div id=\"appendonsend\"></div><hr><div>q</div><p>r</p>", "own\n> q\n> r"},
        {"<p>own</p><hr><p>still own</p>", "own\nstill own"},
    };
    for (const auto &[html, text] : cases)
        EXPECT_EQ(str(htmlToText(QString::fromUtf8(html))), text) << html;
    const QString broken = QStringLiteral("a") + QChar(u'\0') + QChar(0xD800) + QStringLiteral("b");
    EXPECT_EQ(htmlToText(broken), QStringLiteral("a\uFFFD\uFFFDb"));
}

// A mail watcher reads mail on its own thread; nesting far beyond any real
// message neither exhausts the stack nor loses the text above it.
TEST(HtmlText, ReadsOnAnyThreadAndAtAnyDepth)
{
    const QString html = QStringLiteral("<p>wndl help</p><blockquote style=\"margin:0 0 0 .8ex\">quoted</blockquote>");
    std::vector<std::thread> threads;
    std::atomic<int> wrong = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                wrong += htmlToText(html) != QStringLiteral("wndl help\n> quoted");
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    const QString deep = QStringLiteral("<p>wndl help</p>") + QStringLiteral("<div>").repeated(100000) + QStringLiteral("deep");
    EXPECT_TRUE(htmlToText(deep).startsWith(QStringLiteral("wndl help"))) << str(htmlToText(deep).left(80));
}
