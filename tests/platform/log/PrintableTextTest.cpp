#include "platform/log/PrintableText.h"

#include <gtest/gtest.h>

using namespace wendle::text;

TEST(PrintableText, RemoteTextCannotWriteLinesOfItsOwn)
{
    const struct {
        const char *input;
        const char *line;
        const char *text;
    } cases[] = {
        {"Bob\n2026-12-06 (10:00:00): Wendle shut down", "Bob\uFFFD2026-12-06 (10:00:00): Wendle shut down",
         "Bob\n2026-12-06 (10:00:00): Wendle shut down"},
        {"a\rb\x1b[2Jc\x7f", "a\uFFFDb\uFFFD[2Jc\uFFFD", "a\uFFFDb\uFFFD[2Jc\uFFFD"},
        {"tab\there", "tab\uFFFDhere", "tab\there"},
        {"sep\u2028par\u2029bidi\u202e\u2066x", "sep\uFFFDpar\uFFFDbidi\uFFFD\uFFFDx", "sep\uFFFDpar\uFFFDbidi\uFFFD\uFFFDx"},
        {"\u0085next line", "\uFFFDnext line", "\uFFFDnext line"},
        {"owner@example.org", "owner@example.org", "owner@example.org"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(printableLine(QString::fromUtf8(c.input)), QString::fromUtf8(c.line)) << c.input;
        EXPECT_EQ(printableText(QString::fromUtf8(c.input)), QString::fromUtf8(c.text)) << c.input;
    }
}
