#pragma once

namespace wendle {

// The preference keys the mail adapters read. They sit with the adapters so
// that the adapters need nothing from the command checks above them; the
// settings table (settings/Settings.h) and the signed-command checks
// (intake/SignedCommands.h) include them with their other keys.
inline constexpr const char *RBOwnerKeyFingerprints = "ownerKeyFingerprints";
inline constexpr const char *RBEncryptReplies = "encryptReplies";

} // namespace wendle
