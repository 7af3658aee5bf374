#pragma once

#include <QCoreApplication>

namespace wendle::test {

// Tests that need an event loop (queued completions, timers) share one
// application object, made on first use.
inline QCoreApplication *ensureQtApplication()
{
    if (QCoreApplication::instance())
        return QCoreApplication::instance();
    static int argumentCount = 1;
    static char programName[] = "wendle_tests";
    static char *arguments[] = {programName, nullptr};
    static QCoreApplication application(argumentCount, arguments);
    return &application;
}

} // namespace wendle::test
