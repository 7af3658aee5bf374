#include "app/Controller.h"

#include "app/ColorSetting.h"
#include "app/SettingsView.h"
#include "platform/clock/Clock.h"
#include "platform/preferences/Preferences.h"
#include "settings/Settings.h"

namespace wendle {

// The window's share of the start, in the order the owner sees it: chat
// flags clear, table ready, tab chosen, fax queues listed, help registered
// (and shown on the first start), stamp colour restored, then the start
// entry. Without a window the same steps run, minus what only shows.
void Controller::awakeFromNib(SettingsView *view)
{
    m_chatSettings = {};
    if (view)
        view->acceptFileDrops();

    const bool cameraWatch = m_platform.preferences.boolValue(RBEnableiSight) && m_platform.preferences.boolValue(RBEnableiSightMotion);
    if (view)
        view->selectTab(QLatin1String(cameraWatch ? CameraTab : SecurityTab));

    m_fax.modemTitles = getModemArray();
    if (view)
        view->setFaxModemTitles(m_fax.modemTitles);

    registerHelp();
    if (m_platform.preferences.boolValue(RBFirstTimeLaunching)) {
        helpConfigure();
        m_platform.preferences.setValue(RBFirstTimeLaunching, false);
    }

    takeUpStoredStampColor();
    if (view)
        view->showStampColor(m_camera.stampColor);

    log(localized(QStringLiteral("startup_log"), {}));
    reportInterruptedCommands();
    // The preview and the motion watch, when both camera switches are on.
    launchCamera();
}

// Only a value that changed in the file is taken up: a library edited in the
// window and not yet stored stays when some other setting changes.
void Controller::storedSettingsChanged()
{
    cameraPreferencesChanged();
    takeUpStoredStampColor();
    takeUpStoredLibrary();
}

// Colour data that does not decode leaves the colour Wendle had.
void Controller::takeUpStoredStampColor()
{
    const QVariant stored = m_platform.preferences.value(RBiSightStampColor);
    if (stored == m_camera.storedStampColor)
        return;
    m_camera.storedStampColor = stored;
    QColor color;
    if (unarchiveColor(stored, &color))
        m_camera.stampColor = color;
}

void Controller::applicationWillTerminate()
{
    // A change written just before the quit may not have been seen yet.
    takeUpStoredStampColor();
    takeUpStoredLibrary();
    const std::optional<QVariantList> library = dictArrayFromShortcuts();
    m_remoteLog.flush(m_platform.clock.now());
    m_strangerConsole.flush(m_platform.clock.now());
    log(localized(QStringLiteral("shutdown_log"), {}));
    // Stored even when empty, so that a library the owner emptied stays so.
    if (library)
        m_platform.preferences.setValue(RBCustomCommands, *library);
    const QString color = archiveColor(m_camera.stampColor);
    if (!color.isEmpty())
        m_platform.preferences.setValue(RBiSightStampColor, color);
}

} // namespace wendle
