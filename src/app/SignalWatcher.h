#pragma once

#include <QObject>

class QSocketNotifier;

namespace wendle {

// Turns SIGTERM, SIGINT and SIGHUP (the terminal went away) into a call of QCoreApplication::quit() on the
// main thread, so the shutdown steps run as after any other quit. The handler
// only writes a byte to a pipe: nothing else is safe inside a signal handler.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

private:
    static void handleSignal(int signalNumber);
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace wendle
