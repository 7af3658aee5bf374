#include "intake/CommandLanguage.h"

#include "intake/EchoCapture.h"

#include <gtest/gtest.h>

#include <ostream>

namespace wendle {

void PrintTo(const ScannedToken &token, std::ostream *out)
{
    *out << int(token.code);
    if (!token.value.isNull())
        *out << "<" << token.value.toStdString() << ">";
}

namespace {

using T = CommandToken;
using Tokens = QList<ScannedToken>;

ScannedToken bare(CommandToken code)
{
    return {code, QByteArray()};
}
ScannedToken word(const char *value)
{
    return {T::Word, value};
}
ScannedToken number(const char *value)
{
    return {T::Number, value};
}
ScannedToken fileName(const char *value)
{
    return {T::FileName, value};
}
ScannedToken contents(const char *value)
{
    return {T::Contents, value};
}
ScannedToken address(const char *value)
{
    return {T::Address, value};
}
Tokens repeated(int count, CommandToken code)
{
    return Tokens(count, bare(code));
}

struct ScanCase {
    QByteArray input;
    Tokens tokens;
    QByteArray echoed;
};

// The echo must have reached the stream by the time the scan returns.
void expectScans(const QList<ScanCase> &cases)
{
    for (const ScanCase &scan : cases) {
        SCOPED_TRACE(scan.input.toStdString());
        test::EchoCapture echo;
        EXPECT_EQ(scanCommandTokens(scan.input, echo.stream()), scan.tokens);
        EXPECT_EQ(echo.written(), scan.echoed);
    }
}

// Characters that start no token are echoed byte for byte, control bytes
// and bytes from 128 up included.
TEST(CommandScanner, TokensAndEcho)
{
    expectScans({
        // Argument modes.
        {"wndl find the file named my report.doc", {bare(T::Find), fileName(" my report.doc")}, "    "},
        {"wndl find -f budget 2007", {bare(T::Find), fileName("budget 2007")}, "  "},
        {"wndl find containing dear sir", {bare(T::Find), contents(" dear sir")}, "  "},
        {"wndl find -c tax return", {bare(T::Find), contents("tax return")}, "  "},
        {"contain x contains y", {contents(" x contains y")}, ""},
        {"wndl fax 5551234 -f resume", {bare(T::Fax), number("5551234"), fileName("resume")}, "   "},
        // The quote ends the argument; the quoted words are read as words.
        {"wndl find named \"my report\"", {bare(T::Find), fileName(" "), word("my"), word("report")}, "  \" \""},
        // A tie with a keyword, filler or number goes to that rule; the mode stays.
        {"wndl find -f calendar;x", {bare(T::Find), bare(T::Calendar), fileName("x")}, "  ;"},
        {"wndl find -f the", {bare(T::Find)}, "  "},
        {"wndl find -c 12", {bare(T::Find), number("12")}, "  "},
        {"wndl find -c 12 x", {bare(T::Find), contents("12 x")}, "  "},
        // The argument stops at the first excluded character.
        {"wndl find -f a:b", {bare(T::Find), fileName("a"), word("b")}, "  :"},
        {"wndl find -f x\ty", {bare(T::Find), fileName("x"), word("y")}, "  \t"},
        {"wndl find -f !#$%&()*+,-./<=>?@^_`~", {bare(T::Find), fileName("!#$%&()*+,-./<=>?@^_`~")}, "  "},
        // Addresses.
        {"wndl email to a@b.c.d", {bare(T::Email), address("a@b.c"), word("d")}, "   ."},
        {"a@bc", {word("a"), word("bc")}, "@"},
        {"a@b c", {address("a@b c")}, ""},
        {"o'neil+x@host.org", {address("o'neil+x@host.org")}, ""},
        {"a@b\xe9"
         "c",
         {address("a@b\xe9"
                  "c")},
         ""},
        // Words, numbers and keywords.
        {"wndl", {}, ""},
        {"find finds file files 12 12th", {bare(T::Find), word("finds"), word("files"), number("12"), word("12th")}, "     "},
        {"555-1234", {number("555"), number("1234")}, "-"},
        {"wndl the that to file and send", {}, "      "},
        {"cm launch start command fi find ic chat ichat", repeated(4, T::Launch) + repeated(2, T::Find) + repeated(3, T::IChat),
         "        "},
        {"it itunes ip iphoto fx fax ru run em email",
         repeated(2, T::ITunes) + repeated(2, T::IPhoto) + repeated(2, T::Fax) + repeated(2, T::Run) + repeated(2, T::Email), "         "},
        {"ca cal calendar is cam camera snapshot isight", repeated(3, T::Calendar) + repeated(5, T::Snapshot), "       "},
        // Keywords are lower case only.
        {"FIND Named", {word("FIND"), word("Named")}, " "},
        {"-fx - f", {bare(T::Fax), word("f")}, "- - "},
        // The command ends at a line break or a NUL.
        {"wndl snapshot\r\n-- \nsent from my phone", {bare(T::Snapshot)}, " \r"},
        {"wndl find named\nreport", {bare(T::Find)}, "  "},
        {QByteArray("wndl itunes\0find", 16), {bare(T::ITunes)}, " "},
        {"wndl caf\xe9 \xff\x01\x1b\x7f", {word("caf")}, " \xe9 \xff\x01\x1b\x7f"},
        {"wndl find named caf\xe9s", {bare(T::Find), fileName(" caf"), word("s")}, "  \xe9"},
    });
}

TEST(CommandScanner, EveryCommandStartsInTheInitialMode)
{
    test::EchoCapture echo;
    scanCommandTokens("wndl find named", echo.stream());
    scanCommandTokens("wndl find -f 12", echo.stream());
    EXPECT_EQ(scanCommandTokens("wndl itunes", echo.stream()), Tokens{bare(T::ITunes)});
}

// A huge line of characters that start no token is cut, so scanning it ends
// promptly instead of reading ahead through the whole run at every position.
TEST(CommandScanner, OverlongLineIsCut)
{
    test::EchoCapture echo;
    EXPECT_TRUE(scanCommandTokens("wndl " + QByteArray(1024 * 1024, '&'), echo.stream()).isEmpty());
    EXPECT_EQ(echo.text(), " " + QByteArray(1024 - 5, '&'));
    const Tokens tokens = scanCommandTokens("wndl find named " + QByteArray(2000, 'x'), echo.stream());
    ASSERT_EQ(tokens.size(), 2);
    EXPECT_EQ(tokens[1].value.size(), 1024 - 15);
}

} // namespace
} // namespace wendle
