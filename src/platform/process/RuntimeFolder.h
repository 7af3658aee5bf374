#pragma once

#include <QString>

namespace wendle {

// Sets XDG_RUNTIME_DIR when the session did not (a console, ssh, su, cron):
// a GUI application of Qt looks into it as it starts, for a Wayland socket,
// and would warn at every start. The login manager's folder of this user is
// taken when it exists, as a login session would have named it; otherwise a
// private folder in the temporary folder, the one Qt itself falls back to.
// Programs Wendle starts inherit the variable, as under a login session.
// A folder that is not this user's alone is never named: Qt then warns, as
// it should.
void provideRuntimeFolder();

// The runtime folder the session named, whatever provideRuntimeFolder() set
// since; empty when it named none. A login session's bus lives there, never
// in a folder Wendle made up.
QString sessionRuntimeFolder();

} // namespace wendle
