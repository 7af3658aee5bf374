#include "platform/mail/ScriptMailTransport.h"

#include "platform/chat/ChatAdapters.h"
#include "platform/scripthost/ScriptHost.h"

namespace wendle {

bool ScriptMailTransport::send(const OutgoingMail &, const QString &script)
{
    QStringList command = argumentVector(m_preferences, QLatin1String(ScriptHostCommandKey));
    if (command.isEmpty())
        command = defaultScriptHostCommand();
    return runScriptHost(command, script).ok;
}

} // namespace wendle
