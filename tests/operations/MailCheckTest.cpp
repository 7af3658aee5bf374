#include "app/Settings.h"
#include "support/ControllerFixture.h"
#include "support/EnvironmentOverride.h"

#include <QDir>

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Salutation = QStringLiteral("\nSent by Wendle!   -Tavo\n\n");
const QString MailError = QStringLiteral("Wendle could not check your mail.\n\n");

class MailCheckTest : public ControllerFixture {
protected:
    MailCheckTest()
        : home("HOME", homeDir.path())
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
        controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
        for (const char *folder : {"new", "cur", "tmp"})
            QDir().mkpath(homeDir.filePath(QStringLiteral("Maildir/") + QLatin1String(folder)));
    }

    void deliver(const QString &folder, const QString &name, const QByteArray &message)
    {
        QFile file(homeDir.filePath(QStringLiteral("Maildir/%1/%2").arg(folder, name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(message);
    }

    void deliverSamples()
    {
        deliver(QStringLiteral("new"), QStringLiteral("1700000001.M1P1.host"),
                "Return-Path: <alice@example.com>\r\nFrom: \"Alice Smith\" <alice@example.com>\r\nTo: owner@example.com\r\n"
                "Subject: Lunch tomorrow at\r\n the new place\r\n\r\nSubject: not a header\r\n");
        deliver(QStringLiteral("new"), QStringLiteral("1700000002.M2P1.host"),
                "From: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>\n"
                "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_aus?= =?utf-8?Q?_Berlin?=\n\nHallo\n");
        deliver(QStringLiteral("new"), QStringLiteral("1700000003.M3P1.host"),
                "from: bob@example.org\nSUBJECT: =?ISO-8859-1?Q?caf=E9?=\n\nhi\n");
        deliver(QStringLiteral("cur"), QStringLiteral("1600000000.M0P1.host:2,S"), "From: old@example.com\nSubject: read long ago\n\n");
    }

    // Replaces the resources with a copy whose mail-check template is script.
    void useTemplate(const QString &script, bool withKey = true)
    {
        const QString folder = resourcesDir.path();
        QFile::remove(folder + QLatin1String("/messages.json"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(WENDLE_SOURCE_RESOURCES "/messages.json"), folder + QLatin1String("/messages.json")));
        QFile plist(folder + QLatin1String("/WendleStrings.plist"));
        ASSERT_TRUE(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString entry = withKey ? QStringLiteral("<key>check_email_script</key><string>%1</string>").arg(script.toHtmlEscaped()) : QString();
        plist.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                   "<key>usage_string</key><string>usage</string>%1</dict></plist>\n").arg(entry).toUtf8());
        plist.close();
        resources = Resources(folder);
    }

    // The report part of the one reply, without the salutation.
    QString report() const
    {
        if (mail.sent.size() != 1 || !mail.sent[0].mail.body.endsWith(Salutation))
            return QStringLiteral("<no single report>");
        return mail.sent[0].mail.body.chopped(Salutation.size());
    }

    QTemporaryDir homeDir;
    QTemporaryDir resourcesDir;
    EnvironmentOverride home;
};

TEST_F(MailCheckTest, ReportsTheNewMessagesWithinTheWidth)
{
    deliverSamples();
    controller->checkEmailWithCcTo(QString());
    EXPECT_EQ(report(), QStringLiteral("3 new\n- Alice Smi\nLunch tomor\n- Jürgen Mü\nGrüße aus B\n- bob@examp\ncafé"));
    EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
    const QStringList entries = logEntries().mid(logEntries().size() - 3);
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Checking the mail"), QStringLiteral("Sending the mail report"),
                                    QStringLiteral("Sent message: ") + report()}));
}

TEST_F(MailCheckTest, ACopyAddressGetsTheReportToo)
{
    deliverSamples();
    controller->checkEmailWithCcTo(QStringLiteral("boss@example.com"));
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.to, QStringLiteral("owner@example.com"));
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    EXPECT_TRUE(report().startsWith(QStringLiteral("3 new\n")));
    EXPECT_TRUE(logEntries().contains(QStringLiteral("Sending the mail report, with a copy to boss@example.com")));
    EXPECT_EQ(controller->lastCCAddress(), QString()) << "the mail check keeps no copy address";
}

TEST_F(MailCheckTest, PhoneWidthSetsTheReportWidth)
{
    deliver(QStringLiteral("new"), QStringLiteral("1700000009.M9P1.host"),
            "From: Maximilian Longname-Example <max@example.com>\nSubject: A subject far wider than any phone screen\n\n");
    struct Case { int phoneWidth; int width; };
    const Case cases[] = {{20, 11}, {18, 9}, {17, 8}, {9, 8}, {30, 21}};
    for (const Case &c : cases) {
        mail.sent.clear();
        preferences.setValue(RBPhoneWidth, c.phoneWidth);
        controller->checkEmailWithCcTo(QString());
        const QStringList lines = report().split(u'\n');
        ASSERT_EQ(lines.size(), 3) << report().toStdString();
        EXPECT_EQ(lines[1], QStringLiteral("- Maximilian Longname-Example").left(c.width).trimmed()) << c.phoneWidth;
        EXPECT_EQ(lines[2], QStringLiteral("A subject far wider than any phone screen").left(c.width).trimmed()) << c.phoneWidth;
    }
}

TEST_F(MailCheckTest, TheTemplateGetsTheWidthAsItsOneConversion)
{
    useTemplate(QStringLiteral("printf '%%s=%d%%%%\\n' width"));
    struct Case { int phoneWidth; const char *report; };
    const Case cases[] = {{20, "width=11%"}, {18, "width=9%"}, {17, "width=8%"}, {0, "width=8%"}};
    for (const Case &c : cases) {
        mail.sent.clear();
        preferences.setValue(RBPhoneWidth, c.phoneWidth);
        controller->checkEmailWithCcTo(QString());
        EXPECT_EQ(report(), QLatin1String(c.report));
    }
}

TEST_F(MailCheckTest, ScriptsThatFailOrSayNothingAnswerTheError)
{
    struct Case { const char *script; bool withKey; };
    const Case cases[] = {
        {"if then fi # %d", true},      // fails the syntax check
        {"echo partial; exit 3 # %d", true},
        {"true # %d", true},            // says nothing
        {"printf '\\n\\n' # %d", true}, // only line breaks
        {"", true},
        {"", false},
    };
    for (const Case &c : cases) {
        mail.sent.clear();
        useTemplate(QString::fromUtf8(c.script), c.withKey);
        controller->checkEmailWithCcTo(QStringLiteral("boss@example.com"));
        ASSERT_EQ(mail.sent.size(), 1) << c.script;
        EXPECT_EQ(mail.sent[0].mail.body, MailError) << c.script;
        EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
        const QStringList entries = logEntries();
        EXPECT_EQ(entries.mid(entries.size() - 2), (QStringList{QStringLiteral("Checking the mail"), QStringLiteral("The mail check failed")}))
            << c.script;
    }
}

TEST_F(MailCheckTest, NoMaildirIsAnErrorAndAnEmptyOneReportsNone)
{
    controller->checkEmailWithCcTo(QString());
    EXPECT_EQ(report(), QStringLiteral("0 new"));

    mail.sent.clear();
    QDir(homeDir.filePath(QStringLiteral("Maildir"))).removeRecursively();
    controller->checkEmailWithCcTo(QString());
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, MailError);
}

} // namespace
