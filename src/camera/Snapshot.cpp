#include "app/Controller.h"

#include "app/Settings.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"

namespace wendle {

void Controller::takeSnapshotAndEmailTo(const QString &ccAddress)
{
    if (!m_platform.preferences.boolValue(RBEnableiSight)) {
        log(localized(QStringLiteral("stopped_snapshot_log")));
        return;
    }
    log(localized(QStringLiteral("take_snapshot_log")));
    setLastCCAddress(ccAddress);
    // This build has no camera capture yet: say so where the owner at the
    // computer can see it rather than pretend a picture was taken.
    m_platform.console.writeLine(QStringLiteral("Wendle Error: camera capture is not available in this build; no snapshot was taken"));
}

} // namespace wendle
