#include "integration/support/ParsedMail.h"
#include "platform/mail/HtmlText.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

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
        {"&unknown; &#0; &#xD800; &#99999999;", "&unknown; \xEF\xBF\xBD \xEF\xBF\xBD &#99999999;"},
        {"<p>a</p>\n\n<p></p><p></p><p>b</p>", "a\nb"},
        {"a<br><br><br><br>b", "a\n\nb"}, // at most one blank line
        {"<a href=\"x\">link</a> <img src=y alt=z>", "link"},
        {"", ""},
        {"<unterminated", ""},
        {"<p>caf&eacute; &#8364; &hellip;</p><ul><li>one</li></ul>", "café € …\none"},
    };
    for (const auto &[html, text] : cases)
        EXPECT_EQ(str(htmlToText(QString::fromUtf8(html))), text) << html;
}
