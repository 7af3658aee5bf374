#pragma once

#include <QObject>

class QSocketNotifier;

namespace wendle {

// Turns SIGTERM, SIGINT and SIGHUP (the terminal went away) into a call of QCoreApplication::quit() on the
// main thread, so the shutdown steps run as after any other quit. The handler
// only writes a byte to a pipe: nothing else is safe inside a signal handler.
//
// SIGPIPE is caught and dropped: a chat or mail server that hangs up while
// Wendle writes must give that write an error, not end Wendle. A handler
// rather than SIG_IGN, so programs Wendle starts get the usual SIGPIPE.
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
