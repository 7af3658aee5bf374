#pragma once

#include <QString>
#include <QVariantMap>

namespace wendle {

// Reads the top-level dictionary of an XML property list. Strings, integers,
// reals, booleans, nested dictionaries and arrays are understood; a missing or
// malformed file yields an empty map.
QVariantMap readPropertyListDictionary(const QString &path);

} // namespace wendle
