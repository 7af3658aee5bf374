#pragma once

#include <QTextStream>

namespace wendle {

class Preferences;

// `wendle chat-script`: what the settings window's button does, for owners
// without a window. Writes the chat handler script for "remoteChatAddress"
// into the support folder and says how to hook it into mcabber. Returns the
// exit code: 0 written, 1 not (the reason is on err).
int runChatScriptCommand(Preferences &preferences, const QString &supportFolder, QTextStream &out, QTextStream &err);

} // namespace wendle
