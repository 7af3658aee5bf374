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
        {"wndl find the file named my report.doc", {bare(T::Find), {T::FileName, " my report.doc"}}, "    "},
        {"wndl find -f budget 2007", {bare(T::Find), {T::FileName, "budget 2007"}}, "  "},
        {"wndl find containing dear sir", {bare(T::Find), {T::Contents, " dear sir"}}, "  "},
        {"wndl find -c tax return", {bare(T::Find), {T::Contents, "tax return"}}, "  "},
        {"contain x contains y", {{T::Contents, " x contains y"}}, ""},
        {"wndl fax 5551234 -f resume", {bare(T::Fax), {T::Number, "5551234"}, {T::FileName, "resume"}}, "   "},
        // The quote ends the argument; the quoted words are read as words.
        {"wndl find named \"my report\"", {bare(T::Find), {T::FileName, " "}, {T::Word, "my"}, {T::Word, "report"}}, "  \" \""},
        // A tie with a keyword, filler or number goes to that rule; the mode stays.
        {"wndl find -f calendar;x", {bare(T::Find), bare(T::Calendar), {T::FileName, "x"}}, "  ;"},
        {"wndl find -f the", {bare(T::Find)}, "  "},
        {"wndl find -c 12", {bare(T::Find), {T::Number, "12"}}, "  "},
        {"wndl find -c 12 x", {bare(T::Find), {T::Contents, "12 x"}}, "  "},
        // The argument stops at the first excluded character.
        {"wndl find -f a:b", {bare(T::Find), {T::FileName, "a"}, {T::Word, "b"}}, "  :"},
        {"wndl find -f x\ty", {bare(T::Find), {T::FileName, "x"}, {T::Word, "y"}}, "  \t"},
        {"wndl find -f !#$%&()*+,-./<=>?@^_`~", {bare(T::Find), {T::FileName, "!#$%&()*+,-./<=>?@^_`~"}}, "  "},
        // Addresses.
        {"wndl email to a@b.c.d", {bare(T::Email), {T::Address, "a@b.c"}, {T::Word, "d"}}, "   ."},
        {"a@bc", {{T::Word, "a"}, {T::Word, "bc"}}, "@"},
        {"a@b c", {{T::Address, "a@b c"}}, ""},
        {"o'neil+x@host.org", {{T::Address, "o'neil+x@host.org"}}, ""},
        {"a@b\xe9"
         "c",
         {{T::Address, "a@b\xe9"
                       "c"}},
         ""},
        // Words, numbers and keywords.
        {"wndl", {}, ""},
        {"find finds file files 12 12th",
         {bare(T::Find), {T::Word, "finds"}, {T::Word, "files"}, {T::Number, "12"}, {T::Word, "12th"}},
         "     "},
        {"555-1234", {{T::Number, "555"}, {T::Number, "1234"}}, "-"},
        {"wndl the that to file and send", {}, "      "},
        {"cm launch start command fi find ic chat ichat", repeated(4, T::Launch) + repeated(2, T::Find) + repeated(3, T::IChat),
         "        "},
        {"it itunes ip iphoto fx fax ru run em email",
         repeated(2, T::ITunes) + repeated(2, T::IPhoto) + repeated(2, T::Fax) + repeated(2, T::Run) + repeated(2, T::Email), "         "},
        {"ca cal calendar is cam camera snapshot isight", repeated(3, T::Calendar) + repeated(5, T::Snapshot), "       "},
        // Keywords are lower case only.
        {"FIND Named", {{T::Word, "FIND"}, {T::Word, "Named"}}, " "},
        {"-fx - f", {bare(T::Fax), {T::Word, "f"}}, "- - "},
        // The command ends at a line break or a NUL.
        {"wndl snapshot\r\n-- \nsent from my phone", {bare(T::Snapshot)}, " \r"},
        {"wndl find named\nreport", {bare(T::Find)}, "  "},
        {QByteArray("wndl itunes\0find", 16), {bare(T::ITunes)}, " "},
        {"wndl caf\xe9 \xff\x01\x1b\x7f", {{T::Word, "caf"}}, " \xe9 \xff\x01\x1b\x7f"},
        {"wndl find named caf\xe9s", {bare(T::Find), {T::FileName, " caf"}, {T::Word, "s"}}, "  \xe9"},
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
