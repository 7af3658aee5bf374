#pragma once

#include <QString>

namespace wendle {

// Desktop entry ids the owner can set to choose the applications the launch
// commands open; unset, the desktop's default for the type opens.
inline constexpr const char *RBMusicApplication = "musicApplication";
inline constexpr const char *RBPhotoApplication = "photoApplication";
inline constexpr const char *RBChatApplication = "chatApplication";

// The script that opens an application by name: what a script host receives
// and what a failure report would show. Built to the letter, spaces around
// each line feed included.
QString launchApplicationScript(const QString &applicationName);

} // namespace wendle
