#include "resources/Resources.h"
#include "support/ParsedMail.h"
#include "support/WendleInstance.h"

using namespace wendle;
using namespace wendle::test;

namespace {

const QString Owner = QStringLiteral("owner@example.org");
const QString Accepted = QStringLiteral("Processing command");

// Every text Wendle sends to the owner, filled the way an answer to a
// command naming "wndl stk" would be.
QStringList shippedReplies()
{
    const Resources resources(QStringLiteral(WENDLE_SOURCE_RESOURCES));
    const char *replyKeys[] = {"exceeded_message",    "no_query_results",      "query_error",          "file_faxed",
                               "file_not_faxed",      "itunes_launched",       "itunes_launch_error",  "iphoto_launched",
                               "iphoto_launch_error", "ichat_launched",        "ichat_launch_error",   "email_error",
                               "results_start",       "file_attached",         "invalid_confirmation", "confirm_custom_command",
                               "custom_not_found",    "script_results",        "script_no_results",    "custom_launched",
                               "custom_file_missing", "custom_not_in_library", "listed_file_changed"};
    const QVariantList arguments{QStringLiteral("wndl stk"), 47};
    QStringList replies;
    for (const char *key : replyKeys)
        replies << stringWithFormat(resources.message(QLatin1String(key)), arguments);
    // A result list: its lines show the files' names.
    replies << resources.message(QStringLiteral("results_start")) + QStringLiteral("471:  wndl stk (1 kB )\n");
    replies << QStringLiteral("Wendle Syntax Error!  ") + resources.wendleString(QStringLiteral("usage_string"));
    return replies;
}

QString quoted(const QString &text)
{
    return QStringLiteral("> ") + QString(text).replace(u'\n', QLatin1String("\n> "));
}

class ReplyLoopTest : public SessionTest {
protected:
    bool deliver(const QString &method, const QString &text)
    {
        return session.callInbound(method, {{"FromAddress", Owner}, {"MessageText", text}});
    }
    int accepted() const { return int(session.logText().count(Accepted)); }
};

} // namespace

TEST_F(ReplyLoopTest, NoShippedReplyRunsAnythingWhenItComesBack)
{
    ASSERT_TRUE(session.configure("limitCommandsFlag", "no"));
    ASSERT_TRUE(session.startDaemon());
    const QString salutation = QStringLiteral("\nSent by Wendle!   -Tavo\n\n");
    for (const QString &reply : shippedReplies()) {
        // Whole, as a mail loop would bring it back (a chat reply never
        // comes back from the owner's own account).
        ASSERT_TRUE(deliver("InboundMessage", reply + salutation));
        const QString answers[] = {
            QStringLiteral("No, do not run it!\n\n") + quoted(reply + salutation),
            QStringLiteral("No!\n\nOn Sat, 5 Dec 2026 at 10:04, Wendle <computer@example.com> wrote:\n") + reply,
            QStringLiteral("No!\n\nOn Sat, 5 Dec 2026 at 10:04, Wendle\n<computer@example.com> wrote:\n") + reply,
            QStringLiteral("No!\n\n-----Original Message-----\nFrom: computer@example.com\n\n") + reply,
            QStringLiteral("No!\n________________________________\nFrom: computer@example.com\n") + reply,
        };
        for (const QString &answer : answers) {
            ASSERT_TRUE(deliver("InboundMessage", answer));
            ASSERT_TRUE(deliver("InboundChat", answer));
        }
    }
    // A command above the quote still runs, and is the only one that did.
    ASSERT_TRUE(deliver("InboundMessage", "wndl cal 12 may\n\nOn Sat, 5 Dec 2026, Wendle wrote:\n> wndl stk"));
    EXPECT_TRUE(waitFor([&] { return accepted() == 1; }));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(accepted(), 1) << str(session.logText());
}

TEST_F(ReplyLoopTest, TheOwnersSwitchStopsEveryRemoteCommand)
{
    ASSERT_TRUE(session.configure("enableRemoteCommands", "no"));
    ASSERT_TRUE(session.startDaemon());
    for (const char *method : {"InboundMessage", "InboundChat"})
        ASSERT_TRUE(deliver(method, "wndl find named budget"));
    ASSERT_TRUE(deliver("InboundMessage", "no keyword"));
    EXPECT_TRUE(waitFor([&] { return session.logText().count("Remote commands are off") == 2; }));
    EXPECT_EQ(session.stopDaemon(), 0);
    EXPECT_EQ(accepted(), 0);
    EXPECT_TRUE(session.outboxFiles().isEmpty());
    EXPECT_TRUE(session.outboxFiles(".chat.json").isEmpty());
}
