#include "app/Controller.h"

namespace wendle {

// There is no calendar to read yet: the command is understood and nothing is
// answered, logged or kept. The date it names is read once there is a
// calendar to look it up in.
void Controller::getScheduleForDay(const QString &, const QString &, const QString &)
{}

} // namespace wendle
