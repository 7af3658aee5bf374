#pragma once

namespace wendle {

// The preference keys the chat adapters read. They sit with the adapters so
// that the adapters need nothing from the application above them; the
// settings table (settings/Settings.h) includes them with every other key.
inline constexpr const char *RBRemoteChatAddress = "remoteChatAddress";
inline constexpr const char *RBHostChatAddress = "hostChatAddress";
inline constexpr const char *RBChatTransport = "chatTransport";
// Chat by XMPP: Wendle logs in as "hostChatAddress"; the password command
// prints its password; the server (host[:port]) is found from the address
// unless given; a PEM certificate may be trusted beside the system's store.
inline constexpr const char *RBHostChatPasswordCommand = "hostChatPasswordCommand";
inline constexpr const char *RBHostChatServer = "hostChatServer";
inline constexpr const char *RBChatTrustedCertificate = "chatTrustedCertificate";
// Chat through mcabber: the command FIFO replies are written into (its fifo_name).
inline constexpr const char *RBMcabberFifo = "mcabberFifo";

} // namespace wendle
