#pragma once

#include <QObject>
#include <QVariantMap>

namespace wendle {

class Controller;

inline constexpr const char *DBusServiceName = "org.wendle.Wendle";
inline constexpr const char *DBusObjectPath = "/org/wendle/Wendle";
inline constexpr const char *DBusInboundInterface = "org.wendle.Wendle.Inbound";

// The inbound side of the scripting interface: mail rules, chat handlers and
// `wendle send`/`wendle deliver` hand each message to the running instance.
// Keys "MessageText", "FromAddress", "AttachedFile"; a missing key is a
// missing value.
class InboundService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.wendle.Wendle.Inbound")

public:
    explicit InboundService(Controller &controller, QObject *parent = nullptr);

public Q_SLOTS:
    void InboundMessage(const QVariantMap &arguments);
    void InboundChat(const QVariantMap &arguments);

private:
    Controller &m_controller;
};

// The text of one argument, or a null string when the key is missing.
QString inboundArgument(const QVariantMap &arguments, const QString &key);

} // namespace wendle
