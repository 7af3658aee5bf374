#include "intake/QuotedText.h"
#include "platform/mail/HtmlText.h"

#include <gtest/gtest.h>

using namespace wendle;

namespace {

struct Reply {
    const char *client;
    bool html;
    const char *body;
};

// Answers to one of Wendle's own messages, shaped the way each mail program
// writes them, the owner's command on top. Every quote holds a command that
// must not run.
const Reply replies[] = {
    {"Gmail", false,
     "wndl find named own\n\nOn Sat, Dec 5, 2026 at 10:00 AM Wendle <computer@example.com> wrote:\n\n"
     "> Reply wndl 473 to confirm.\n> wndl launch quoted\n"},
    {"Gmail, attribution folded", false,
     "wndl find named own\n\nOn Sat, Dec 5, 2026 at 10:00 AM Wendle wndl-host <\ncomputer@example.com> wrote:\n\n> wndl 473\n"},
    {"no digits", false, "wndl find named own\n\nBob wrote:\n> wndl launch quoted\n"},
    {"Gmail, Portuguese", false,
     "wndl find named own\n\nEm s\u00e1b., 5 de dez. de 2026 \u00e0s 10:00, Fulano <x@y.com> escreveu:\n\n> wndl 473\n"},
    {"Gmail, French", false,
     "wndl find named own\n\nLe sam. 5 d\u00e9c. 2026 \u00e0 10:00, Wendle <computer@example.com> a \u00e9crit :\n\n> wndl 473\n"},
    {"Gmail, Japanese", false,
     "wndl find named own\n\n2026\u5e7412\u67085\u65e5(\u571f) 10:00 Wendle <computer@example.com>:\n\n> wndl 473\n"},
    {"iOS Mail", false,
     "wndl find named own\n\nSent from my iPhone\n\n> On Dec 5, 2026, at 10:00, Wendle <computer@example.com> wrote:\n> \n> wndl 473\n"},
    {"Thunderbird, German", false, "wndl find named own\n\nAm 05.12.26 um 10:00 schrieb Wendle:\n> wndl 473\n"},
    {"indented quote", false, "wndl find named own\n\nWendle wrote:\n\n    wndl launch quoted\n"},
    {"Outlook, separator", false,
     "wndl find named own\n\n-----Original Message-----\nFrom: Wendle <computer@example.com>\n"
     "Sent: Saturday, December 5, 2026 10:00 AM\nTo: Owner\nSubject: Confirm\n\nwndl 473\n"},
    {"Outlook, no separator", false,
     "wndl find named own\n\nFrom: Wendle <computer@example.com>\nSent: Saturday, December 5, 2026 10:00\n"
     "To: Owner <owner@example.org>\nSubject: Confirm\n\nReply wndl 473 to confirm.\n"},
    {"Outlook, French", false,
     "wndl find named own\n\nDe : Wendle <computer@example.com>\nEnvoy\u00e9 : samedi 5 d\u00e9cembre 2026 10:00\n"
     "\u00c0 : Owner\nObjet : Confirmation\n\nwndl 473\n"},
    {"Outlook, German", false,
     "wndl find named own\n\n________________________________\nVon: Wendle <computer@example.com>\n"
     "Gesendet: Samstag, 5. Dezember 2026 10:00\nAn: Owner\nBetreff: Best\u00e4tigung\n\nwndl 473\n"},
    {"Outlook, Italian", false,
     "wndl find named own\n\nDa: Wendle\nInviato: sabato 5 dicembre 2026 10:00\nA: Owner\nOggetto: Conferma\n\nwndl 473\n"},
    {"Outlook, Dutch", false,
     "wndl find named own\n\nVan: Wendle\nVerzonden: zaterdag 5 december 2026 10:00\nAan: Owner\nOnderwerp: Bevestig\n\nwndl 473\n"},
    {"Android, Spanish", false,
     "wndl find named own\n\nEnviado desde mi Galaxy\n\n-------- Mensaje original --------\nDe: Wendle <computer@example.com>\n"
     "Fecha: 5/12/26 10:00 (GMT+01:00)\nPara: owner@example.org\nAsunto: Confirmar\n\nwndl 473\n"},
    {"forward, separator only", false, "wndl find named own\n\n---- E-mail original ----\nwndl 473\n"},
    {"Apple Mail, forwarded", false,
     "wndl find named own\n\nBegin forwarded message:\n\nFrom: Wendle <computer@example.com>\nSubject: Confirm\n"
     "Date: 5 December 2026 at 10:00:00 CET\nTo: Owner\n\nwndl launch quoted\n"},
    {"Gmail HTML", true,
     "<div dir=\"ltr\">wndl find named own</div><br><div class=\"gmail_quote\"><div dir=\"ltr\" class=\"gmail_attr\">"
     "On Sat, Dec 5, 2026 at 10:00 AM Wendle &lt;<a href=\"mailto:computer@example.com\">computer@example.com</a>&gt; wrote:<br></div>"
     "<blockquote class=\"gmail_quote\" style=\"margin:0px 0px 0px 0.8ex;border-left:1px solid rgb(204,204,204);padding-left:1ex\">"
     "Reply wndl 473 to confirm.<br>wndl launch quoted</blockquote></div>"},
    {"Gmail HTML, Portuguese", true,
     "<div dir=\"ltr\">wndl find named own</div><div class=\"gmail_quote gmail_quote_container\"><div class=\"gmail_attr\">"
     "Em s\u00e1b., 5 de dez. de 2026 \u00e0s 10:00, Fulano &lt;x@y.com&gt; escreveu:</div>"
     "<blockquote style=\"margin:0 0 0 .8ex;border-left:1px #ccc solid;padding-left:1ex\">wndl 473</blockquote></div>"},
    {"HTML blockquote, no attribution", true, "<p>wndl find named own</p><blockquote>wndl launch quoted</blockquote>"},
    {"Apple Mail HTML", true,
     "<html><body dir=\"auto\">wndl find named own<br><br><div dir=\"ltr\">Sent from my iPhone</div><div dir=\"ltr\"><br>"
     "<blockquote type=\"cite\">On Dec 5, 2026, at 10:00, Wendle &lt;computer@example.com&gt; wrote:<br><br></blockquote></div>"
     "<blockquote type=\"cite\"><div dir=\"ltr\">wndl 473</div></blockquote></body></html>"},
    {"Thunderbird HTML", true,
     "<p>wndl find named own</p><div class=\"moz-cite-prefix\">On 05/12/2026 10:00, Wendle wrote:<br></div>"
     "<blockquote type=\"cite\" cite=\"mid:1@example.com\">wndl launch quoted</blockquote>"},
    {"Outlook web HTML", true,
     "<div style=\"font-size:12pt\">wndl find named own</div><div id=\"appendonsend\"></div>"
     "<hr style=\"display:inline-block;width:98%\" tabindex=\"-1\"><div id=\"divRplyFwdMsg\" dir=\"ltr\">"
     "<font face=\"Calibri\"><b>From:</b> Wendle &lt;computer@example.com&gt;<br><b>Sent:</b> Saturday, December 5, 2026 10:00 AM"
     "<br><b>To:</b> Owner<br><b>Subject:</b> Confirm</font><div>&nbsp;</div></div><div><p>wndl 473</p></div>"},
    {"Outlook desktop HTML, German", true,
     "<div class=WordSection1><p class=MsoNormal>wndl find named own<o:p></o:p></p><div><div style='border:none;"
     "border-top:solid #E1E1E1 1.0pt;padding:3.0pt 0cm 0cm 0cm'><p class=MsoNormal><b>Von:</b> Wendle<br><b>Gesendet:</b> "
     "Samstag, 5. Dezember 2026 10:00<br><b>An:</b> Owner<br><b>Betreff:</b> Best&auml;tigung</p></div></div>"
     "<p class=MsoNormal>wndl 473</p></div>"},
    {"HTML rule, then header", true,
     "<p>wndl find named own</p><hr><b>From:</b> Wendle<br><b>Sent:</b> Saturday, December 5, 2026<br><p>wndl 473</p>"},
    {"Yahoo HTML", true,
     "<div class=\"ydp3f2ayahoo-style-wrap\">wndl find named own</div><div id=\"yahoo_quoted_12\" class=\"yahoo_quoted\">"
     "<div>On Saturday, December 5, 2026, 10:00:00 AM GMT+1, Wendle &lt;computer@example.com&gt; wrote:</div>"
     "<div><br></div><div dir=\"ltr\">wndl 473</div></div>"},
    {"Proton HTML", true,
     "<div>wndl find named own</div><div class=\"protonmail_quote\">On Saturday, December 5th, 2026 at 10:00, Wendle wrote:"
     "<br><div>wndl launch quoted</div></div>"},
    {"Zimbra HTML", true,
     "<div>wndl find named own</div><hr id=\"zwchr\" data-marker=\"__DIVIDER__\"><div data-marker=\"__HEADERS__\">"
     "<b>From: </b>Wendle<br><b>To: </b>Owner<br></div><div data-marker=\"__QUOTED_TEXT__\">wndl 473</div>"},
};

QString ownText(const Reply &reply)
{
    const QString body = QString::fromUtf8(reply.body);
    return text::withoutQuotedText((reply.html ? htmlToText(body) : body).toLower());
}

} // namespace

TEST(QuotedText, OnlyTheCommandAboveTheQuoteIsLeft)
{
    for (const Reply &reply : replies) {
        const QString own = ownText(reply);
        EXPECT_TRUE(own.contains(QLatin1String("wndl find named own"))) << reply.client << ":\n" << own.toStdString();
        EXPECT_EQ(own.count(QLatin1String("wndl")), 1) << reply.client << ":\n" << own.toStdString();
    }
}

// Text that only looks like the start of a quote stays the sender's own.
TEST(QuotedText, CommandsThatLookLikeQuoteStartsAreKept)
{
    const std::pair<const char *, const char *> cases[] = {
        {"wndl find named what he wrote:", "wndl find named what he wrote:"},
        {"wndl find named what he wrote:\nthanks", "wndl find named what he wrote:\nthanks"},
        {"from: me\nwndl email", "from: me\nwndl email"},
        {"> earlier\nwndl email\n> wndl stk", "wndl email"},
        {"---- notes\nwndl email", "---- notes\nwndl email"},
    };
    for (const auto &[message, own] : cases)
        EXPECT_EQ(text::withoutQuotedText(QString::fromUtf8(message)).toStdString(), own) << message;
}
