#include "app/IndexCommand.h"

#include "app/Controller.h"
#include "app/InboundService.h"
#include "app/SessionBus.h"
#include "app/SubcommandParser.h"
#include "platform/preferences/SettingsPreferences.h"
#include "platform/search/index/SearchIndex.h"
#include "settings/Settings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>

namespace wendle {

namespace {

using search::SearchIndex;

void printStatus(const QString &databasePath, QTextStream &out)
{
    const SearchIndex::Status status = SearchIndex::readStatus(databasePath);
    out << "index: " << databasePath << "\n";
    if (!status.exists) {
        out << "state: not built yet (Wendle builds it in the background when it starts)\n";
        return;
    }
    if (!status.problem.isEmpty()) {
        out << "state: unreadable (" << status.problem << "); Wendle builds it anew when it starts\n";
        return;
    }
    out << "folder: " << status.root << "\n"
        << "state: " << (status.complete ? "complete, kept current while Wendle runs" : "being built") << "\n"
        << "files: " << status.files << " (" << status.filesWithText << " with text)\n"
        << "size on disk: " << QString::number(double(status.databaseBytes) / 1e6, 'f', 1) << " MB\n";
    if (!status.builtAt.isEmpty())
        out << "last full build: " << status.builtAt << " in " << QString::number(status.buildSeconds, 'f', 1) << " s\n";
}

// Whether a Wendle runs on this session's bus; without a bus none can be
// asked, and the owner learns where to point this command.
bool wendleIsRunning(QTextStream &err)
{
    const QString busProblem = connectSessionBus();
    if (!busProblem.isNull()) {
        err << "wendle index: " << sessionBusAdvice(busProblem) << "\nThe index is built here and now.\n";
        return false;
    }
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QLatin1String(DBusServiceName));
}

int rebuild(const QString &databasePath, QTextStream &out, QTextStream &err)
{
    QString error;
    if (!SearchIndex::requestRebuild(databasePath, &error)) {
        err << "wendle index: cannot write the index " << databasePath << ": " << error << "\n";
        return 1;
    }
    if (wendleIsRunning(err)) {
        out << "The running Wendle builds the search index anew; until it is done, searches walk the folders.\n"
               "wendle status shows how far it has come.\n";
        return 0;
    }
    SearchIndex index(databasePath, QDir::homePath(), [&out](const QString &line) {
        out << line << "\n";
        out.flush();
    });
    SettingsPreferences preferences;
    Controller::registerDefaults(preferences);
    index.setReadsMail(preferences.boolValue(RBSearchEmails));
    index.start();
    out << "building the search index of " << index.root() << "\n";
    out.flush();
    // A line a second at most, and only when there is news: a build of a
    // large home takes minutes, and a silent one looks hung.
    QString shown;
    const auto showProgress = [&] {
        const QString progress = search::describeProgress(index.progress());
        if (progress != shown)
            out << progress << "\n";
        out.flush();
        shown = progress;
    };
    while (!index.waitUntilReady(1000)) {
        if (index.hasFailed()) {
            err << "wendle index: the index cannot be built\n";
            return 1;
        }
        showProgress();
    }
    showProgress();
    index.stop();
    printStatus(databasePath, out);
    return 0;
}

} // namespace

int runIndexCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    SubcommandParser command(QStringLiteral("index"), QStringLiteral("index status|rebuild"),
                             QStringLiteral("status: show the search index (folder, files, size, last build).\n"
                                            "rebuild: have it built anew, by the running Wendle when there is one,\n"
                                            "else here and now. Searches walk the folders until it is built."));
    if (const auto done = command.parse(arguments, out, err))
        return *done;
    const QStringList words = command.parser.positionalArguments();
    const QString databasePath = SearchIndex::defaultDatabasePath();
    if (words == QStringList{QStringLiteral("status")}) {
        printStatus(databasePath, out);
        return 0;
    }
    if (words == QStringList{QStringLiteral("rebuild")})
        return rebuild(databasePath, out, err);
    return command.usageError(QStringLiteral("expects status or rebuild"), err);
}

} // namespace wendle
