#include "integration/support/ParsedMail.h"
#include "platform/mail/MimeComposer.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

namespace {

// The last line break of a text part belongs to the MIME framing; whether
// GMime adds one depends on the transfer encoding.
QString text(const ParsedMail &parsed)
{
    QString body = parsed.bodyText;
    if (body.endsWith(u'\n'))
        body.chop(1);
    return body;
}

const QDateTime FixedDate(QDate(2026, 12, 4), QTime(13, 35, 31), Qt::OffsetFromUTC, 3600);

// A reply from the computer's address, with the subject every reply has.
OutgoingMail reply(const QString &to, const QString &body, const QString &cc = {}, const QString &attachment = {},
                   const QString &from = QStringLiteral("computer@example.com"))
{
    return {to, from, QStringLiteral("Wendle Results"), body, cc, attachment, {}};
}

} // namespace

TEST(MimeComposer, HeadersAndBodyReadBack)
{
    // encodings: those GMime may choose for the text part ("" is 7bit)
    const QString accented = QStringLiteral("Résultats : 3 fichiers — « budget » ✓\nzweite Zeile");
    const QString owner = QStringLiteral("owner@example.org");
    struct Case {
        const char *name;
        OutgoingMail mail;
        QStringList to, cc;
        QString encodings;
    };
    const Case cases[] = {
        {"plain ascii", reply(owner, "1. budget.xls\n2. notes.txt"), {owner}, {}, "|7bit"},
        {"non-ascii text", reply(owner, accented), {owner}, {}, "quoted-printable|base64"},
        {"empty to, copy only", reply("", "copy", "chat-owner@example.org"), {}, {"chat-owner@example.org"}, "|7bit"},
        // The copy address goes on whole, as one recipient, however odd.
        {"copy not an address", reply(owner, "x", "bob@example com"), {owner}, {"\"bob@example com\""}, "|7bit"},
        {"copy with two at signs", reply(owner, "x", "a@b@cd"), {owner}, {"\"a@b@cd\""}, "|7bit"},
        {"display names", reply("'Owner' <owner@example.org>", "x", {}, {}, "Wendle <computer@example.com>"), {owner}, {}, "|7bit"},
        {"unreadable attachment, text still goes", reply(owner, "text", {}, "/nonexistent/file.pdf"), {owner}, {}, "|7bit"},
    };
    for (const auto &[name, mail, to, cc, encodings] : cases) {
        SCOPED_TRACE(name);
        const ParsedMail parsed = parseMail(composeMessage(mail, FixedDate));
        ASSERT_TRUE(parsed.valid);
        EXPECT_EQ(parsed.from, QStringList{QStringLiteral("computer@example.com")});
        EXPECT_EQ(parsed.to, to);
        if (to.isEmpty()) {
            EXPECT_EQ(str(parsed.headers.value("to")), "undisclosed-recipients: ;");
        }
        EXPECT_EQ(parsed.cc, cc);
        EXPECT_EQ(str(parsed.subject), "Wendle Results");
        EXPECT_EQ(str(parsed.headers.value("mime-version")), "1.0");
        EXPECT_EQ(str(parsed.headers.value("date")), "Fri, 04 Dec 2026 13:35:31 +0100");
        EXPECT_TRUE(parsed.headers.value("message-id").contains(QRegularExpression(QStringLiteral("^<[^@<>]+@[^@<>]+>$"))))
            << str(parsed.headers.value("message-id"));
        EXPECT_EQ(cc.isEmpty(), !parsed.headers.contains("cc"));
        EXPECT_EQ(str(parsed.bodyType), "text/plain");
        EXPECT_EQ(str(parsed.bodyCharset.toLower()), "utf-8");
        EXPECT_TRUE(encodings.split(u'|').contains(parsed.bodyEncoding)) << str(parsed.bodyEncoding);
        EXPECT_EQ(str(text(parsed)), str(mail.body));
        EXPECT_EQ(parsed.partCount, 1);
    }
}

// A reply threads under the command's Message-ID; an id a header cannot
// carry whole is left out rather than sent broken or able to add headers.
TEST(MimeComposer, RepliesThreadUnderAWellFormedCommandId)
{
    const std::tuple<const char *, QString, QString> cases[] = {
        {"no id", QString(), QString()},
        {"bare id", "cmd-1.x@phone.example", "<cmd-1.x@phone.example>"},
        {"id in brackets", " <cmd-2@phone.example> ", "<cmd-2@phone.example>"},
        {"domain literal", "cmd-3@[192.0.2.1]", "<cmd-3@[192.0.2.1]>"},
        {"line break injects a header", "cmd@phone.example>\r\nBcc: eve@example.org", QString()},
        {"space inside", "cmd 4@phone.example", QString()},
        {"brackets inside", "<cmd<5>@phone.example>", QString()},
        {"no at sign", "cmd-6", QString()},
        {"two at signs", "cmd@7@phone.example", QString()},
    };
    for (const auto &[name, id, threaded] : cases) {
        SCOPED_TRACE(name);
        OutgoingMail mail = reply(QStringLiteral("owner@example.org"), QStringLiteral("x"));
        mail.inReplyTo = id;
        const QByteArray raw = composeMessage(mail, FixedDate);
        const ParsedMail parsed = parseMail(raw);
        ASSERT_TRUE(parsed.valid);
        EXPECT_EQ(str(parsed.subject), "Wendle Results");
        EXPECT_EQ(str(parsed.headers.value("in-reply-to")), str(threaded));
        EXPECT_EQ(str(parsed.headers.value("references")), str(threaded));
        EXPECT_FALSE(raw.contains("eve@example.org"));
    }
}

TEST(MimeComposer, WireFormatIsCrlfWithShortLines)
{
    const OutgoingMail mail = reply(QStringLiteral("owner@example.org"), QString(3000, u'a') + u'\n' + QString(3000, u'é'));
    const QByteArray raw = composeMessage(mail, FixedDate);
    const QList<QByteArray> lines = raw.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].endsWith('\r')) << "line " << i << " has a bare LF";
        EXPECT_LE(lines[i].size(), 999) << "line " << i;
    }
    for (const char byte : raw)
        ASSERT_LT(static_cast<unsigned char>(byte), 128u) << "8-bit byte on the wire";
    EXPECT_TRUE(text(parseMail(raw)) == mail.body);
}

TEST(MimeComposer, AttachmentTravelsByteForByte)
{
    QTemporaryDir dir;
    const std::tuple<QString, QByteArray, QString> cases[] = {
        {"budget.pdf", "%PDF-1.4\n" + randomBytes(70000, 42), "application/pdf"},
        {"notes.txt", QByteArray("line one\nline two\r\n\x00 nul", 24), "text/plain"},
        {"empty.bin", QByteArray(), "application/octet-stream"},
        {"Frühjahr Übersicht.csv", "a;b\n1;2\n", "text/csv"},
    };
    for (const auto &[name, bytes, type] : cases) {
        SCOPED_TRACE(str(name));
        const QString path = dir.filePath(name);
        ASSERT_TRUE(writeFile(path, bytes));
        const ParsedMail parsed =
            parseMail(composeMessage(reply(QStringLiteral("owner@example.org"), "Here it is", "boss@example.com", path), FixedDate));
        ASSERT_TRUE(parsed.valid);
        EXPECT_EQ(str(parsed.topType), "multipart/mixed");
        ASSERT_EQ(parsed.partCount, 2);
        EXPECT_EQ(str(text(parsed)), "Here it is");
        EXPECT_EQ(parsed.attachment, bytes);
        EXPECT_EQ(str(parsed.attachmentName), str(name));
        EXPECT_EQ(str(parsed.attachmentType), str(type));
        EXPECT_EQ(str(parsed.attachmentEncoding), "base64");
    }
}
