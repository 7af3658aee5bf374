#include "resources/Resources.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wendle;
using wendle::test::writeFile;

TEST(Resources, FormatFillsArgumentsInOrder)
{
    EXPECT_EQ(stringWithFormat(QStringLiteral("%@ and %d%d: 100%%"), {QStringLiteral("x"), 47, 3}), QStringLiteral("x and 473: 100%"));
    EXPECT_EQ(stringWithFormat(QStringLiteral("%@-%@"), {QStringLiteral("only")}), QStringLiteral("only-"));
    EXPECT_EQ(stringWithFormat(QStringLiteral("50% off %"), {}), QStringLiteral("50% off %"));
    // An argument holding a conversion is not expanded again.
    EXPECT_EQ(stringWithFormat(QStringLiteral("[%@]"), {QStringLiteral("%@%d")}), QStringLiteral("[%@%d]"));
}

TEST(Resources, MessageTableAndTemplates)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("messages.json")), R"({"startup_log": "Started"})"));
    Resources resources(dir.path());
    EXPECT_EQ(resources.message(QStringLiteral("startup_log")), QStringLiteral("Started"));
    EXPECT_EQ(resources.message(QStringLiteral("no_such_key")), QStringLiteral("no_such_key"));
    EXPECT_TRUE(resources.wendleString(QStringLiteral("usage_string")).isNull()); // no plist yet

    // Read afresh at each use: a template written now is seen at once.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("WendleStrings.plist")),
                          "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>usage_string</key><string>use &amp; enjoy\nline 2"
                          "</string><key>count</key><integer>3</integer></dict></plist>"));
    EXPECT_EQ(resources.wendleString(QStringLiteral("usage_string")), QStringLiteral("use & enjoy\nline 2"));
    EXPECT_TRUE(resources.wendleString(QStringLiteral("chat_script")).isNull());
}
