#pragma once

#include <QString>

namespace wendle {

// The two account fields of the settings window that the chat script depends
// on; every other field of the window is Other.
enum class ChatAccountField { Host, Remote, Other };

// Which account field was typed in since it was last left, so that leaving a
// field without typing does nothing.
struct ChatSettingsState {
    bool hostChatChanged = false;
    bool remoteChatChanged = false;
};

// The handler script goes to <support>/chat/WendleChat, the name the
// "created" alert tells the owner to look for.
inline constexpr const char *ChatScriptFolderName = "chat";
inline constexpr const char *ChatScriptFileName = "WendleChat";

} // namespace wendle
