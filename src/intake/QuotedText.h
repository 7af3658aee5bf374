#pragma once

#include <QString>

namespace wendle::text {

// The part of a message its sender wrote: lines quoted from an earlier
// message (beginning with ">") are left out, and so is everything from a
// reply or forward header on ("On ... wrote:", "-----Original Message-----",
// an Outlook rule of underscores). The keyword is looked for only here, so an
// answer quoting one of Wendle's own replies, or the owner's earlier command,
// runs nothing. Line breaks are kept.
QString withoutQuotedText(const QString &message);

} // namespace wendle::text
