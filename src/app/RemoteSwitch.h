#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class QTextStream;

namespace wendle {

class Controller;

inline constexpr const char *DBusRemoteInterface = "org.wendle.Wendle.Remote";

// The owner's pause switch for all remote control, for `wendle pause` and
// `wendle resume` while Wendle runs: the running instance stores the
// setting, logs the change and answers with the line to print. An adaptor
// on the object that takes the inbound messages, like the status.
class RemoteSwitchService : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.wendle.Wendle.Remote")

public:
    RemoteSwitchService(QObject *parent, Controller &controller);

public Q_SLOTS:
    QString Pause();
    QString Resume();

private:
    Controller &m_controller;
};

// `wendle pause` (enable false) and `wendle resume` (enable true): through
// the running Wendle when there is one, otherwise straight into the settings
// file, which Wendle reads when it starts. Returns the exit code.
int runRemoteSwitchCommand(bool enable, const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace wendle
