#include "platform/chat/XmppAccount.h"
#include "platform/chat/XmppStanza.h"
#include "settings/Settings.h"
#include "support/Doubles.h"

#include <gtest/gtest.h>

#include <optional>

using namespace wendle;

TEST(XmppAccount, ServerAddresses)
{
    using HostAndPort = std::optional<std::pair<QString, quint16>>;
    const HostAndPort refused;
    const std::pair<const char *, HostAndPort> cases[] = {
        {"chat.example.org", {{"chat.example.org", 0}}},
        {" chat.example.org:5223 ", {{"chat.example.org", 5223}}},
        {"[::1]:5222", {{"::1", 5222}}},
        {"[::1]", {{"::1", 0}}},
        {"::1", {{"::1", 0}}},
        {"host:0", refused},
        {"host:65536", refused},
        {"host:x", refused},
        {"host:", refused},
        {"[::1]:", refused},
        {"[::1", refused},
        {":5222", refused},
        {"two words", refused},
    };
    for (const auto &[text, expected] : cases) {
        QString host;
        quint16 port = 1;
        const bool parsed = parseServerAddress(QString::fromLatin1(text), &host, &port);
        EXPECT_EQ(parsed ? HostAndPort({host, port}) : refused, expected) << text;
    }
}

// Encryption may be left out only towards this machine; the account must be
// a full address with a password command.
TEST(XmppAccount, SettingsDecideTheLoginAndItsEncryption)
{
    // error: how the error begins; empty when the account is usable.
    struct Case {
        const char *name;
        QString address, server, error;
        bool requireTls;
        QString jid;
    };
    const Case cases[] = {
        {"remote server from the address", "wendle@example.org", "", "", true, "wendle@example.org/wendle"},
        {"own resource kept", "wendle@example.org/desk", "", "", true, "wendle@example.org/desk"},
        {"loopback server", "wendle@example.org", "127.0.0.1:5222", "", false, "wendle@example.org/wendle"},
        {"localhost domain", "wendle@localhost", "", "", false, "wendle@localhost/wendle"},
        {"remote server named", "wendle@localhost", "chat.example.org", "", true, "wendle@localhost/wendle"},
        {"no address", "", "", "hostChatAddress is not set", true, ""},
        {"no domain", "wendle@", "", "hostChatAddress \"wendle@\" is not a chat address", true, ""},
        {"no user", "@example.org", "", "hostChatAddress \"@example.org\" is not a chat address", true, ""},
        {"bad port", "wendle@example.org", "host:99999", "hostChatServer \"host:99999\" is not host or host:port", true,
         "wendle@example.org/wendle"},
    };
    for (const auto &[name, address, server, error, requireTls, jid] : cases) {
        SCOPED_TRACE(name);
        test::MemoryPreferences preferences;
        preferences.setValue(RBHostChatAddress, address);
        preferences.setValue(RBHostChatServer, server);
        preferences.setValue(RBHostChatPasswordCommand, QStringLiteral("pass show chat"));
        const XmppAccount account = readXmppAccount(preferences);
        if (!error.isEmpty()) {
            EXPECT_TRUE(account.error.startsWith(error)) << account.error.toStdString();
        } else {
            ASSERT_TRUE(account.usable()) << account.error.toStdString();
            EXPECT_EQ(account.requireTls, requireTls);
            EXPECT_EQ(account.jid, jid);
            EXPECT_EQ(account.passwordCommand, QStringList({"pass", "show", "chat"}));
        }
    }
    test::MemoryPreferences noPassword;
    noPassword.setValue(RBHostChatAddress, QStringLiteral("wendle@example.org"));
    EXPECT_EQ(readXmppAccount(noPassword).error, QStringLiteral("hostChatPasswordCommand is not set"));
}

TEST(XmppAccount, OwnersAddressIsComparedWithoutResourceAndCase)
{
    EXPECT_EQ(bareAddress(QStringLiteral(" Owner@Example.ORG/Phone ")), QStringLiteral("owner@example.org"));
    EXPECT_EQ(bareAddress(QStringLiteral("owner@example.org")), QStringLiteral("owner@example.org"));
    EXPECT_NE(bareAddress(QStringLiteral("owner@example.org.evil")), bareAddress(QStringLiteral("owner@example.org")));
}

TEST(XmppStanza, TextAServerAccepts)
{
    EXPECT_EQ(xmpp::xmlText(QStringLiteral("a\tb\nc\r\x01\x1f\uFFFEd"), 100), QByteArray("a\tb\nc\rd"));
    // Cut between characters, never inside one: "é" is two bytes.
    EXPECT_EQ(xmpp::xmlText(QStringLiteral("aé"), 2), QByteArray("a"));
    EXPECT_EQ(xmpp::xmlText(QStringLiteral("aé"), 3), QByteArray("aé"));
}
