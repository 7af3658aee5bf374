#pragma once

#include <QString>

namespace wendle::text {

// The part of a message its sender wrote. Quoted lines (beginning with ">")
// are left out, and so is everything from the start of a reply or forward
// on, known by its shape rather than one program's wording: a line ending in
// a colon right above quoted or indented text ("Bob wrote:", "Em ...
// escreveu:", an attribution folded over two lines), two or more header
// fields in a row ("From:"/"Sent:", "De :"/"Envoyé :", "Von:"/"Gesendet:"
// ...), a separator ("-----Original Message-----" in any language, an
// Outlook rule of underscores), or an English-style "On <date> ... wrote:".
// The keyword is looked for only here, so an answer quoting one of Wendle's
// own replies, or the owner's earlier command, runs nothing. Line breaks are
// kept.
QString withoutQuotedText(const QString &message);

} // namespace wendle::text
