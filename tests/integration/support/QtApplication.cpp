#include <QApplication>

// Qt's D-Bus and process classes want an application object, the settings
// window a GUI one; gtest_main provides main(), so it is made here, before
// the first test runs, on Qt's offscreen platform.
namespace {
int argumentCount = 1;
char programName[] = "wendle_integration_tests";
char *arguments[] = {programName, nullptr};
QApplication *application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argumentCount, arguments);
}();
} // namespace
