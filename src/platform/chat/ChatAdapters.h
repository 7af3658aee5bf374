#pragma once

#include "platform/chat/ChatTransport.h"
#include "platform/chat/ChatTransports.h"

#include <QStringList>

namespace wendle {

class Preferences;

// Each chat reply as a JSON file in the outbox folder, holding the handle,
// the text and the path of the file sent with it.
class OutboxChatTransport : public ChatTransport {
public:
    explicit OutboxChatTransport(const QString &folder) : m_folder(folder) {}
    bool send(const OutgoingChat &chat, const QString &script) override;

private:
    QString m_folder;
    quint64 m_counter = 0;
};

// The generated script on the standard input of "scriptHostCommand".
class ScriptChatTransport : public ChatTransport {
public:
    explicit ScriptChatTransport(const Preferences &preferences) : m_preferences(preferences) {}
    bool send(const OutgoingChat &chat, const QString &script) override;

private:
    const Preferences &m_preferences;
};

// Chooses by "chatTransport" at each reply, looked up in ChatTransports (the
// outbox when unset or unknown).
class SelectingChatTransport : public ChatTransport {
public:
    SelectingChatTransport(const Preferences &preferences, ChatTransport &outbox, ChatTransport &script, ChatTransport &xmpp,
                           ChatTransport &mcabber)
        : m_preferences(preferences)
        , m_outbox(outbox)
        , m_script(script)
        , m_xmpp(xmpp)
        , m_mcabber(mcabber)
    {}
    bool send(const OutgoingChat &chat, const QString &script) override;
    // The chosen adapter's state, or the choice's name when it keeps none.
    QString state() const override;

private:
    ChatTransport &adapter(ChatRoute route) const;

    const Preferences &m_preferences;
    ChatTransport &m_outbox;
    ChatTransport &m_script;
    ChatTransport &m_xmpp;
    ChatTransport &m_mcabber;
};

// The argument vector stored under key: a list, or one string split the way
// a shell splits words.
QStringList argumentVector(const Preferences &preferences, const QString &key);

} // namespace wendle
