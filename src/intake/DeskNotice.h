#pragma once

#include <QString>

namespace wendle {

// What `wendle pause` and `wendle resume` print: whether remote commands are
// now on, and whether this changed anything.
QString remoteSwitchAnswer(bool enabled, bool changed);

} // namespace wendle
