#pragma once

#include <QString>

namespace wendle {

// The mail adapters tell what went wrong through an optional error text: a
// caller that passes none only learns that it failed.
inline void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace wendle
