#include "app/Application.h"

#include "app/InboundService.h"
#include "app/InstanceLock.h"
#include "app/RunningInstance.h"
#include "app/SessionBus.h"
#include "app/WindowService.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace wendle {

namespace {

void fail(const QString &message)
{
    std::fprintf(stderr, "wendle: %s\n", qPrintable(message));
}

// Writes a little into the folder and takes it back: only a real write
// tells a read-only mount or a full disk from a usable folder (permission
// bits say nothing about either, and nothing at all to root). Null when it
// can be written, otherwise why not.
QString writeProblem(const QString &folder)
{
    QTemporaryFile probe(folder + QLatin1String("/.write-test-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    if (probe.write(QByteArray(4096, '\0')) != 4096 || !probe.flush())
        return probe.errorString();
    return {};
}

// The support folder is made when missing; whatever the owner keeps where it
// belongs (a file, a dangling link) stays untouched. Wendle does not start
// without it: a command it took but could not keep would be lost unseen, and
// the log that would tell so could not be written either. Null when the
// folder is usable, otherwise the one line the owner should read.
QString supportFolderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    const QString closing = QStringLiteral("; Wendle keeps the commands it takes, its log and its outbox there and "
                                           "does not start without it");
    if ((info.exists() || info.isSymLink()) && !info.isDir())
        return QStringLiteral("the data folder %1 is not a folder; Wendle leaves it alone. Move it away and start Wendle "
                              "again")
            .arg(folder);
    if (!info.exists() && !QDir().mkpath(folder))
        return QStringLiteral("cannot create the data folder %1 (%2)").arg(folder, qt_error_string(errno)) + closing;
    const QString problem = writeProblem(folder);
    if (!problem.isNull())
        return QStringLiteral("cannot write in the data folder %1 (%2)").arg(folder, problem) + closing;
    return {};
}

// A second `wendle run` in the session (the desktop entry clicked while the
// unit runs) has the running Wendle show itself and says so.
int handOverToRunningWendle(QDBusConnection &bus)
{
    QString error;
    const QString answer = askRunningWendleToShow(bus, &error);
    if (answer.isNull()) {
        fail(QStringLiteral("Wendle is already running in this session, and does not answer: ") + error);
        return 1;
    }
    std::printf("%s\n", qPrintable(answer));
    return 0;
}

// A display that cannot be reached (a stale DISPLAY over ssh) must not abort
// the start: Qt then falls back to drawing nowhere, and Wendle runs on
// without its window. Without a window Wendle still draws (the camera view,
// date stamps): Qt's offscreen platform gives it a GUI that needs no display.
void chooseQtPlatform(bool windowed)
{
    if (windowed && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    if (!windowed)
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    // The mail check script calls this very program's helpers.
    qputenv("WENDLE", QFile::encodeName(QCoreApplication::applicationFilePath()));
}

bool connectToSessionBus()
{
    const QString busProblem = connectSessionBus();
    if (busProblem.isNull())
        return true;
    fail(QStringLiteral("cannot connect to the D-Bus session bus (%1); commands could not reach Wendle.\n"
                        "Without a desktop session, start one for Wendle: dbus-run-session -- wendle run --headless")
             .arg(busProblem));
    return false;
}

bool prepareSupportFolder(const QString &support)
{
    const QString folderProblem = supportFolderProblem(support);
    if (folderProblem.isNull())
        return true;
    fail(folderProblem);
    return false;
}

// One instance per data folder; a lock that cannot be had at all is said and
// run past.
bool lockTheInstance(InstanceLock &instanceLock, const QString &support)
{
    QString holder;
    switch (instanceLock.take(support, &holder)) {
    case InstanceLock::Result::Taken: break;
    case InstanceLock::Result::HeldByAnother:
        fail(QStringLiteral("Wendle is already running for the data folder %1: %2").arg(support, holder));
        return false;
    case InstanceLock::Result::Unavailable:
        fail(QStringLiteral("cannot make sure no other Wendle uses %1 (%2); running anyway").arg(support, holder));
        break;
    }
    return true;
}

} // namespace

QString supportFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/wendle");
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int runApplication(int &argc, char **argv, bool headless)
{
    bool windowed = !headless && hasDisplay();
    chooseQtPlatform(windowed);
    std::unique_ptr<QCoreApplication> app(new QApplication(argc, argv));
    if (windowed && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        fail(QStringLiteral("cannot open a window on the display; running without one"));
        windowed = false;
    }
    nameTheProgram();
    if (!connectToSessionBus())
        return 1;
    // Before the data folder's lock, which the running instance holds too.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.interface()->isServiceRegistered(QLatin1String(DBusServiceName)))
        return handOverToRunningWendle(bus);
    const QString support = supportFolder();
    if (!prepareSupportFolder(support))
        return 1;
    InstanceLock instanceLock;
    if (!lockTheInstance(instanceLock, support))
        return 1;
    return serveCommands(*app, bus, support, windowed);
}

} // namespace wendle
