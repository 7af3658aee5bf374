#pragma once

#include <QString>
#include <QVariantMap>

namespace wendle {

// The most an Inbound call may carry, in bytes as they travel (UTF-8).
// The whole call is held to the bound of a delivered message; the texts
// the intake reads are held far below it, since each is copied several
// times on its way (UTF-16, lower-cased, spooled as JSON).
//   MessageText: a command is one line; a reply quoting a long thread is
//     tens of kilobytes. 1 MiB leaves room for that and more.
//   FromAddress, MessageID: an address path is at most 256 octets and a
//     Message-ID under a hundred; 4 KiB leaves room for a long display name.
//   AttachedFile: a path, at most PATH_MAX (4 KiB).
//   AuthenticationResults: one header of a few hundred bytes per receiving
//     server; 64 KiB is far more hops than any mail takes.
inline constexpr qsizetype MaxInboundTextBytes = 1024 * 1024;
inline constexpr qsizetype MaxInboundNameBytes = 4 * 1024;
inline constexpr qsizetype MaxInboundResultsBytes = 64 * 1024;

// Bytes the value takes on the bus, near enough: strings in UTF-8, each
// element of a list or map counted, numbers as eight bytes.
qsizetype inboundValueBytes(const QVariant &value);

// Null when the arguments keep within their bounds; otherwise which one
// does not, in words for the caller's error message.
QString inboundArgumentsProblem(const QVariantMap &arguments);

} // namespace wendle
