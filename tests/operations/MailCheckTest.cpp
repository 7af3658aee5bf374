#include "operations/OwnerFixture.h"
#include "support/EnvironmentOverride.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Salutation = QStringLiteral("\nSent by Wendle!   -Tavo\n\n");
const QString MailError = QStringLiteral("Wendle could not check your mail.\n\n");

class MailCheckTest : public OwnerFixture {
protected:
    MailCheckTest()
        : home("HOME", homeDir.path())
        , configuration("XDG_CONFIG_HOME", homeDir.filePath(QStringLiteral("config")))
        , helper("WENDLE", QStringLiteral(WENDLE_BINARY))
    {
        for (const char *folder : {"new", "cur", "tmp"})
            QDir().mkpath(homeDir.filePath(QStringLiteral("Maildir/") + QLatin1String(folder)));
    }

    void deliver(const char *file, const QByteArray &message)
    {
        writeFile(homeDir.filePath(QStringLiteral("Maildir/%1").arg(QLatin1String(file))), message);
    }

    void deliverSamples()
    {
        deliver("new/1700000001.M1P1.host",
                "Return-Path: <alice@example.com>\r\nFrom: \"Alice Smith\" <alice@example.com>\r\nTo: owner@example.org\r\n"
                "Subject: Lunch tomorrow at\r\n the new place\r\n\r\nSubject: not a header\r\n");
        deliver("new/1700000002.M2P1.host", "From: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <jm@example.de>\n"
                                            "Subject: =?utf-8?Q?Gr=C3=BC=C3=9Fe_aus?= =?utf-8?Q?_Berlin?=\n\nHallo\n");
        deliver("new/1700000003.M3P1.host", "from: bob@example.org\nSUBJECT: =?ISO-8859-1?Q?caf=E9?=\n\nhi\n");
        deliver("cur/1600000000.M0P1.host:2,S", "From: old@example.com\nSubject: read long ago\n\n");
    }

    // Replaces the resources with a copy whose mail-check template is script.
    void useTemplate(const QString &script, bool withKey = true)
    {
        const QString folder = resourcesDir.path();
        QFile::remove(folder + QLatin1String("/messages.json"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(WENDLE_SOURCE_RESOURCES "/messages.json"), folder + QLatin1String("/messages.json")));
        const QString entry = withKey ? "<key>check_email_script</key><string>" + script.toHtmlEscaped() + "</string>" : QString();
        writeFile(folder + QLatin1String("/WendleStrings.plist"),
                  QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                 "<key>usage_string</key><string>usage</string>%1</dict></plist>\n")
                      .arg(entry)
                      .toUtf8());
        resources = Resources(folder);
    }

    // Checks the mail afresh; answers the report part of the one reply, without the salutation.
    QString check(const QString &ccAddress = QString())
    {
        mail.sent.clear();
        controller->checkEmailWithCcTo(ccAddress);
        if (mail.sent.size() != 1 || !mail.sent[0].mail.body.endsWith(Salutation))
            return QStringLiteral("<no single report>");
        return mail.sent[0].mail.body.chopped(Salutation.size());
    }
    QStringList lastLogEntries(int n) const { return logEntries().mid(logEntries().size() - n); }

    QTemporaryDir homeDir;
    QTemporaryDir resourcesDir;
    EnvironmentOverride home;
    EnvironmentOverride configuration; // no IMAP account: the Maildir is read
    EnvironmentOverride helper;
};

// An empty Maildir reports none; the new messages are reported within the
// width; no Maildir at all is an error.
TEST_F(MailCheckTest, ReportsTheNewMessagesWithinTheWidthToTheOwnerAndACopyAddress)
{
    EXPECT_EQ(check(), QStringLiteral("Wendle: 0 new"));
    deliverSamples();
    const QString report = QStringLiteral("Wendle: 3 new\n- Alice Smi\nLunch tomor\n- Jürgen Mü\nGrüße aus B\n- bob@examp\ncafé");
    EXPECT_EQ(check(), report);
    EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
    EXPECT_EQ(lastLogEntries(3), (QStringList{"Checking the mail", "Sending the mail report", "Sent message: " + report}));

    EXPECT_EQ(check(QStringLiteral("boss@example.com")), report);
    EXPECT_EQ(mail.sent[0].mail.to, QStringLiteral("owner@example.org"));
    EXPECT_EQ(mail.sent[0].mail.cc, QStringLiteral("boss@example.com"));
    EXPECT_EQ(lastLogEntries(3)[1], QStringLiteral("Sending the mail report, with a copy to boss@example.com"));
    EXPECT_EQ(controller->lastCCAddress(), QString()) << "the mail check keeps no copy address";

    QDir(homeDir.filePath(QStringLiteral("Maildir"))).removeRecursively();
    check();
    ASSERT_EQ(mail.sent.size(), 1);
    EXPECT_EQ(mail.sent[0].mail.body, MailError);
    EXPECT_EQ(lastLogEntries(1)[0],
              "The mail check failed: exit status 1: wendle mail-report: there is no mail folder " + homeDir.filePath("Maildir/new"));
}

TEST_F(MailCheckTest, PhoneWidthSetsTheReportWidth)
{
    deliver("new/1700000009.M9P1.host",
            "From: Maximilian Longname-Example <max@example.com>\nSubject: A subject far wider than any phone screen\n\n");
    const std::pair<int, int> cases[] = {{20, 11}, {18, 9}, {0, 8}, {30, 21}};
    for (const auto &[phoneWidth, width] : cases) {
        preferences.setValue(RBPhoneWidth, phoneWidth);
        EXPECT_EQ(check(), "Wendle: 1 new\n" + QStringLiteral("- Maximilian Longname-Example").left(width).trimmed() + u'\n'
                               + QStringLiteral("A subject far wider than any phone screen").left(width).trimmed())
            << phoneWidth;
    }
}

// The owner's answer stays short; the log and the console say why.
TEST_F(MailCheckTest, ScriptsThatFailOrSayNothingAnswerTheErrorAndLogWhy)
{
    struct Case {
        const char *script;
        bool withKey;
        const char *reason;
    };
    const Case cases[] = {
        {"if then fi # %d", true, "Syntax error"},
        {"echo partial; echo broken >&2; exit 3 # %d", true, ": exit status 3: broken"},
        {"printf '\\n\\n' # %d", true, ": the mail check printed nothing"},
        {"", false, ": there is no mail check script"},
    };
    for (const Case &c : cases) {
        useTemplate(QString::fromUtf8(c.script), c.withKey);
        console.lines.clear();
        check(QStringLiteral("boss@example.com"));
        ASSERT_EQ(mail.sent.size(), 1) << c.script;
        EXPECT_EQ(mail.sent[0].mail.body, MailError) << c.script;
        EXPECT_TRUE(mail.sent[0].mail.cc.isEmpty());
        EXPECT_EQ(lastLogEntries(2)[0], "Checking the mail");
        EXPECT_TRUE(lastLogEntries(1)[0].startsWith("The mail check failed: ")) << lastLogEntries(1)[0].toStdString();
        EXPECT_TRUE(lastLogEntries(1)[0].contains(c.reason)) << lastLogEntries(1)[0].toStdString();
        ASSERT_EQ(console.lines.size(), 1) << c.script;
        EXPECT_TRUE(console.lines[0].startsWith("Wendle Error: the mail check failed: ") && console.lines[0].contains(c.reason))
            << console.lines[0].toStdString();
    }
}

} // namespace
