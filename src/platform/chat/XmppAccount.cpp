#include "platform/chat/XmppAccount.h"

#include "platform/chat/ChatAdapters.h"
#include "platform/chat/ChatSettingKeys.h"
#include "platform/mail/MailServer.h"
#include "platform/preferences/Preferences.h"

namespace wendle {

namespace {

constexpr const char *DefaultResource = "wendle";

} // namespace

bool parseServerAddress(const QString &text, QString *host, quint16 *port)
{
    const QString trimmed = text.trimmed();
    QString portText;
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        if (close < 0)
            return false;
        *host = trimmed.mid(1, close - 1);
        const QString rest = trimmed.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return false;
        portText = rest.mid(1);
        if (rest == QLatin1String(":"))
            return false;
    } else if (trimmed.count(u':') == 1) {
        *host = trimmed.section(u':', 0, 0);
        portText = trimmed.section(u':', 1);
        if (portText.isEmpty())
            return false;
    } else {
        *host = trimmed; // a bare IPv6 address, or a name
    }
    *port = 0;
    if (!portText.isEmpty()) {
        bool numeric = false;
        const uint value = portText.toUInt(&numeric);
        if (!numeric || value < 1 || value > 65535)
            return false;
        *port = quint16(value);
    }
    return !host->isEmpty() && !host->contains(u' ');
}

QString bareAddress(const QString &jid)
{
    return jid.section(u'/', 0, 0).trimmed().toLower();
}

XmppAccount readXmppAccount(const Preferences &preferences)
{
    XmppAccount account;
    const QString address = preferences.stringValue(RBHostChatAddress).trimmed();
    account.remoteAddress = preferences.stringValue(RBRemoteChatAddress).trimmed();
    account.passwordCommand = argumentVector(preferences, QLatin1String(RBHostChatPasswordCommand));
    account.trustedCertificate = preferences.stringValue(RBChatTrustedCertificate).trimmed();

    const QString bare = address.section(u'/', 0, 0);
    const qsizetype at = bare.indexOf(u'@');
    if (address.isEmpty()) {
        account.error = QStringLiteral("hostChatAddress is not set");
        return account;
    }
    if (at <= 0 || at == bare.size() - 1 || address.contains(u' ')) {
        account.error = QStringLiteral("hostChatAddress \"%1\" is not a chat address such as wendle@example.org").arg(address);
        return account;
    }
    account.domain = bare.mid(at + 1);
    account.jid = address.contains(u'/') ? address : address + u'/' + QLatin1String(DefaultResource);

    const QString server = preferences.stringValue(RBHostChatServer).trimmed();
    if (!server.isEmpty() && !parseServerAddress(server, &account.host, &account.port)) {
        account.error = QStringLiteral("hostChatServer \"%1\" is not host or host:port").arg(server);
        return account;
    }
    // A password never crosses the network in clear: encryption may be left
    // out only when the server is this machine.
    account.requireTls = !isLoopbackHost(account.host.isEmpty() ? account.domain : account.host);
    if (account.passwordCommand.isEmpty())
        account.error = QStringLiteral("hostChatPasswordCommand is not set");
    return account;
}

} // namespace wendle
