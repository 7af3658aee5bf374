#pragma once

#include <QApplication>

namespace wendle::test {

// Tests that need an event loop (queued completions, timers) or draw
// (camera view, stamps) share one application object, made on first use,
// on Qt's offscreen platform.
inline QCoreApplication *ensureQtApplication()
{
    if (QCoreApplication::instance())
        return QCoreApplication::instance();
    static int argumentCount = 1;
    static char programName[] = "wendle_tests";
    static char *arguments[] = {programName, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: tearing a GUI application down among the exit-time
    // destructors of Qt's own globals crashes after the last test.
    static QApplication *application = new QApplication(argumentCount, arguments);
    return application;
}

} // namespace wendle::test
