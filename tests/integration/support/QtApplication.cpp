#include <QCoreApplication>

// Qt's D-Bus and process classes want an application object; gtest_main
// provides main(), so it is made here, before the first test runs.
namespace {
int argumentCount = 1;
char programName[] = "wendle_integration_tests";
char *arguments[] = {programName, nullptr};
QCoreApplication *application = new QCoreApplication(argumentCount, arguments);
} // namespace
