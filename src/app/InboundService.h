#pragma once

#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QVariantMap>

namespace wendle {

class Console;
class Controller;
class InboundQueue;
class Preferences;
struct InboundItem;

inline constexpr const char *DBusServiceName = "org.wendle.Wendle";
inline constexpr const char *DBusObjectPath = "/org/wendle/Wendle";
inline constexpr const char *DBusInboundInterface = "org.wendle.Wendle.Inbound";
inline constexpr const char *DBusCannotTakeError = "org.wendle.Wendle.Error.CannotTakeMessage";

// The inbound side of the scripting interface: mail rules, chat handlers and
// `wendle send`/`wendle deliver` hand each message to the running instance.
// Keys "MessageText", "FromAddress", "AttachedFile"; a missing key is a
// missing value. `wendle deliver` adds "MessageID" and
// "AuthenticationResults" (the header values, one string) and "DateHeader",
// taken as the caller states them: the session bus admits only the owner's
// own programs, which could as well change the settings. A signature is
// different: only one this Wendle checked counts, so a command handed over
// here is unsigned, whatever the caller says. A call returns as
// soon as the message is taken; the command runs after. A call past the
// bounds of InboundLimits.h gets an error reply and a console line, and
// nothing of it is taken. A message Wendle cannot keep (its data folder
// cannot be written) is refused with a D-Bus error, so whoever brought it
// keeps it and tries again.
// DeliverMessage(h) is `wendle deliver`'s road: a file (in memory) with the
// message as the mail system handed it over, read and parsed here, once.
// It answers the lines the deliverer prints; an error named
// DBusBadMessageError refuses a message that can never be taken, any other
// asks for another try.
class InboundService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.wendle.Wendle.Inbound")

public:
    InboundService(InboundQueue &queue, const Preferences &preferences, const QString &attachmentFolder, Console &console,
                   QObject *parent = nullptr);

public Q_SLOTS:
    void InboundMessage(const QVariantMap &arguments);
    void InboundChat(const QVariantMap &arguments);
    QStringList DeliverMessage(const QDBusUnixFileDescriptor &message);

private:
    void take(bool chat, const QVariantMap &arguments);
    // Hands the message to the queue; null when taken (or known already),
    // else the error to answer with.
    QString enqueue(const InboundItem &item, const QString &attachmentPath);
    bool refusedAsTooLarge(const QVariantMap &arguments);
    void trimAfterLargeCall(qsizetype bytes);

    InboundQueue &m_queue;
    const Preferences &m_preferences;
    QString m_attachmentFolder;
    Console &m_console;
};

// The text of one argument, or a null string when the key is missing.
QString inboundArgument(const QVariantMap &arguments, const QString &key);

// Runs one taken message through the intake. Attachments Wendle saved itself
// (inside attachmentFolder) are deleted once the intake is done with them;
// the intake never keeps one. Answers whether the intake took the message
// as a command.
bool handInboundItem(Controller &controller, const InboundItem &item, const QString &attachmentFolder);
// Deletes the file when it is one of Wendle's saved attachments.
void removeOwnAttachment(const QString &path, const QString &attachmentFolder);
// Deletes saved attachments older than a day: left by a crash, or saved by
// `wendle deliver` for a message that never reached Wendle.
void removeStaleAttachments(const QString &attachmentFolder);

} // namespace wendle
