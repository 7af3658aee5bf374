#include "operations/Launch.h"

#include "app/Controller.h"
#include "platform/preferences/Preferences.h"
#include "platform/workspace/Workspace.h"
#include "replies/ReplyScripts.h"

namespace wendle {

namespace {

// The three launch commands are one procedure with different values.
struct CompanionApplication {
    const char *name; // as the launch script names it
    const char *logKey;
    const char *successKey;
    const char *failureKey;
    const char *preferenceKey;
    const char *mimeType;
};

constexpr CompanionApplication Companions[] = {
    {"iTunes", "itunes_launch_log", "itunes_launched", "itunes_launch_error", RBMusicApplication, "audio/mpeg"},
    {"iPhoto", "iphoto_launch_log", "iphoto_launched", "iphoto_launch_error", RBPhotoApplication, "image/jpeg"},
    {"iChat", "ichat_launch_log", "ichat_launched", "ichat_launch_error", RBChatApplication, "x-scheme-handler/xmpp"},
};

const CompanionApplication *findCompanion(const QString &name)
{
    for (const CompanionApplication &companion : Companions) {
        if (name == QLatin1String(companion.name))
            return &companion;
    }
    return nullptr;
}

} // namespace

QString launchApplicationScript(const QString &applicationName)
{
    return QStringLiteral("tell \"Finder\" \n open application \"") + escapeScriptLiteral(applicationName)
           + QStringLiteral("\" \n end tell");
}

void Controller::launchiTunes()
{
    launchCompanion(QStringLiteral("iTunes"));
}

void Controller::launchiPhoto()
{
    launchCompanion(QStringLiteral("iPhoto"));
}

void Controller::launchiChat()
{
    launchCompanion(QStringLiteral("iChat"));
}

void Controller::launchCompanion(const QString &applicationName)
{
    const CompanionApplication *companion = findCompanion(applicationName);
    if (!companion)
        return;
    log(localized(QLatin1String(companion->logKey)));

    ApplicationRequest request;
    request.name = applicationName;
    request.desktopEntryId = m_platform.preferences.stringValue(QLatin1String(companion->preferenceKey)).trimmed();
    request.mimeType = QLatin1String(companion->mimeType);
    const bool opened = m_platform.workspace.openApplication(request, launchApplicationScript(applicationName));

    const char *key = opened ? companion->successKey : companion->failureKey;
    sendMessageWithContents(localized(QLatin1String(key)), QString(), QString());
}

} // namespace wendle
