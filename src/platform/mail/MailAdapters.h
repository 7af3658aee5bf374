#pragma once

#include "platform/mail/MailTransport.h"

#include <QString>

#include <memory>

namespace wendle {

class Console;
class Preferences;

// Each reply as an RFC 5322 .eml file in the outbox folder.
class OutboxMailTransport : public MailTransport {
public:
    explicit OutboxMailTransport(const QString &folder) : m_folder(folder) {}
    bool send(const OutgoingMail &mail, const QString &script) override;

private:
    QString m_folder;
    quint64 m_counter = 0;
};

// The generated script on the standard input of "scriptHostCommand".
class ScriptMailTransport : public MailTransport {
public:
    explicit ScriptMailTransport(const Preferences &preferences) : m_preferences(preferences) {}
    bool send(const OutgoingMail &mail, const QString &script) override;

private:
    const Preferences &m_preferences;
};

// Chooses by "mailTransport" at each reply. An unknown choice is reported on
// the console and the reply goes to the outbox, so nothing is lost.
class SelectingMailTransport : public MailTransport {
public:
    SelectingMailTransport(const Preferences &preferences, Console &console, MailTransport &outbox, MailTransport &script)
        : m_preferences(preferences), m_console(console), m_outbox(outbox), m_script(script) {}
    bool send(const OutgoingMail &mail, const QString &script) override;

private:
    const Preferences &m_preferences;
    Console &m_console;
    MailTransport &m_outbox;
    MailTransport &m_script;
};

// The mail adapters of a running instance, chosen among by preference.
class MailAdapters {
public:
    MailAdapters(const Preferences &preferences, const QString &supportFolder, Console &console);
    MailTransport &transport() { return m_selecting; }

private:
    OutboxMailTransport m_outbox;
    ScriptMailTransport m_script;
    SelectingMailTransport m_selecting;
};

} // namespace wendle
