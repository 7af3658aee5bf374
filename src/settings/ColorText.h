#pragma once

#include <QString>
#include <QVariant>

namespace wendle {

// Colours as the settings hold them, read and written with Qt Core alone, so
// that `wendle config` needs no GUI library: the same words QColor reads and
// the same text QColor writes.

// The colour the owner typed ("#RGB", "#RRGGBB", "#AARRGGBB", "#RRRGGGBBB",
// "#RRRRGGGGBBBB" or an SVG colour name such as "green"), written as
// "#rrggbb", or "#aarrggbb" when not opaque; null when it names no colour.
QString colorTextFromWords(const QString &words);

// A stored colour ("#RRGGBB" or "#AARRGGBB", as text or as the bytes of
// older files) written the same way; null when it holds none.
QString colorTextFromStored(const QVariant &stored);

} // namespace wendle
