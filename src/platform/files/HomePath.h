#pragma once

#include <QString>

namespace wendle {

// Paths the owner types into the settings (an attachment, mcabber's FIFO) may
// start from the home folder the way a shell writes it.
// A leading "~" or "~/" becomes the home folder.
QString expandTilde(const QString &path);

} // namespace wendle
