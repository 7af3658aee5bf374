#pragma once

#include <QColor>
#include <QVariant>

namespace wendle {

// The stamp colour is stored as readable "#RRGGBB" text ("#AARRGGBB" when
// not opaque); older files hold the same text as bytes, which still read.
// The text itself is read and written by ColorText.h, which needs no GUI.
QString archiveColor(const QColor &color);
bool unarchiveColor(const QVariant &data, QColor *color);

} // namespace wendle
