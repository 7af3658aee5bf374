#include "app/ChatScriptCommand.h"

#include "app/Controller.h"
#include "platform/alerts/Alerts.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/chat/ChatAdapters.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/mail/OutboxMailTransport.h"
#include "platform/preferences/Preferences.h"
#include "platform/process/ProcessLauncher.h"
#include "platform/random/RandomSource.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/scripts/ScriptRunner.h"
#include "platform/search/FileSystemSearch.h"
#include "platform/workspace/Workspace.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

namespace wendle {

namespace {

// The alert panels of the window become lines on standard error; the title
// of the last one tells whether the script was written.
class CommandLineAlerts : public Alerts {
public:
    explicit CommandLineAlerts(QTextStream &err) : m_err(err) {}
    void showAlert(const QString &title, const QString &message, AlertStyle, const QString &) override
    {
        m_err << title << ": " << message << '\n';
        m_err.flush();
        lastTitle = title;
    }
    QString lastTitle;

private:
    QTextStream &m_err;
};

} // namespace

int runChatScriptCommand(Preferences &preferences, const QString &supportFolder, QTextStream &out, QTextStream &err)
{
    SystemClock clock;
    QtScheduler scheduler;
    StderrConsole console;
    SystemRandom random;
    OutboxMailTransport mail(supportFolder + QLatin1String("/outbox"));
    OutboxChatTransport chat(supportFolder + QLatin1String("/outbox"));
    XdgWorkspace workspace;
    CommandLineAlerts alerts(err);
    Resources resources(Resources::locateFolder());
    FileSystemSearch search;
    ProcessScriptRunner scripts;
    QtProcessLauncher processes;
    GStreamerFrameSource camera;
    const Platform platform{preferences, clock,     scheduler, console, random,    mail,   chat,         workspace,
                            alerts,      resources, search,    scripts, processes, camera, supportFolder};
    Controller controller(platform);

    controller.forceChatScript();
    if (alerts.lastTitle != QLatin1String("iChat Script Created"))
        return 1;
    const QString path = controller.chatScriptPath();
    out << "Wrote the chat handler script " << path << "\n"
        << "To hand the owner's chat messages to Wendle and its answers back, add to ~/.mcabber/mcabberrc:\n"
        << "  set events_command = " << path << "\n"
        << "  set event_log_files = 1\n"
        << "  set fifo_name = " << preferences.stringValue(QLatin1String(RBMcabberFifo)) << "\n"
        << "  set fifo_hide_commands = 1\n"
        << "  module load fifo\n"
        << "run mcabber logged in as the computer's chat account (\"hostChatAddress\"), and:\n"
        << "  wendle config set chatTransport mcabber\n";
    return 0;
}

} // namespace wendle
