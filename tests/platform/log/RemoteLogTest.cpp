#include "platform/log/PrintableText.h"
#include "platform/log/RemoteLogCap.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::text;

TEST(PrintableText, RemoteTextCannotWriteLinesOfItsOwn)
{
    // The input, what printableLine makes of it, and what printableText does.
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"Bob\n2026-12-06 (10:00:00): Wendle shut down", "Bob\uFFFD2026-12-06 (10:00:00): Wendle shut down",
         "Bob\n2026-12-06 (10:00:00): Wendle shut down"},
        {"a\rb\x1b[2Jc\x7f", "a\uFFFDb\uFFFD[2Jc\uFFFD", "a\uFFFDb\uFFFD[2Jc\uFFFD"},
        {"tab\there", "tab\uFFFDhere", "tab\there"},
        {"sep\u2028par\u2029bidi\u202e\u2066x", "sep\uFFFDpar\uFFFDbidi\uFFFD\uFFFDx", "sep\uFFFDpar\uFFFDbidi\uFFFD\uFFFDx"},
        {"\u0085next line", "\uFFFDnext line", "\uFFFDnext line"},
        {"owner@example.org", "owner@example.org", "owner@example.org"},
    };
    for (const auto &[input, line, text] : cases) {
        EXPECT_EQ(printableLine(QString::fromUtf8(input)), QString::fromUtf8(line)) << input;
        EXPECT_EQ(printableText(QString::fromUtf8(input)), QString::fromUtf8(text)) << input;
    }
}

TEST(RemoteLogCap, AFewLinesOfAKindAnHourThenACount)
{
    QStringList written;
    RemoteLogCap cap([&](const QString &line) { written << line; });
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1800000000);
    for (int i = 0; i < 1000; ++i)
        cap.write(QStringLiteral("chat errors"), QStringLiteral("error %1").arg(i), start.addSecs(i));
    cap.write(QStringLiteral("refused mail"), QStringLiteral("refused"), start.addSecs(10));
    ASSERT_EQ(written.size(), 6);
    EXPECT_EQ(written[0], "error 0");
    EXPECT_EQ(written[4], "error 4 (more chat errors within the hour are counted, not written)");
    EXPECT_EQ(written[5], "refused") << "each kind has a share of its own";

    // After the hour the count comes first, then lines again.
    cap.write(QStringLiteral("chat errors"), QStringLiteral("error late"), start.addSecs(3600));
    ASSERT_EQ(written.size(), 8);
    EXPECT_EQ(written[6], "Wendle Log Update:  995 more chat errors were left out of the log between "
                              + start.toString("yyyy-MM-dd (HH:mm:ss)") + " and " + start.addSecs(3600).toString("yyyy-MM-dd (HH:mm:ss)"));
    EXPECT_EQ(written[7], "error late");

    for (int i = 0; i < 7; ++i)
        cap.write(QStringLiteral("chat errors"), QStringLiteral("again"), start.addSecs(3700 + i));
    cap.flush(start.addSecs(4000));
    EXPECT_TRUE(written.last().startsWith("Wendle Log Update:  3 more chat errors were left out")) << written.last().toStdString();
    const qsizetype before = written.size();
    cap.flush(start.addSecs(4001));
    EXPECT_EQ(written.size(), before) << "a count is written once";
}
