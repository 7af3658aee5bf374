#include "intake/CommandsInFlight.h"

#include "platform/log/PrintableText.h"

#include <QFile>

namespace wendle {

namespace {

QString recordPath(const QString &supportFolder)
{
    return supportFolder + u'/' + QLatin1String(CommandsInFlightFile);
}

} // namespace

// Appended and never synced: this runs for every command, and a record cut
// short by a crash still names what it holds. The folder is there: Wendle
// does not start without it.
void recordCommandInFlight(const QString &supportFolder, const QString &command)
{
    QFile file(recordPath(supportFolder));
    if (file.open(QIODevice::Append))
        file.write(text::printableLine(command).toUtf8() + '\n');
}

void clearCommandsInFlight(const QString &supportFolder)
{
    QFile::remove(recordPath(supportFolder));
}

QStringList takeInterruptedCommands(const QString &supportFolder)
{
    QFile file(recordPath(supportFolder));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList commands;
    // Bounded: the record is ours, but a damaged one must not flood the log.
    while (!file.atEnd() && commands.size() < 20) {
        const QString line = QString::fromUtf8(file.readLine(1024)).trimmed();
        if (!line.isEmpty())
            commands << line;
    }
    file.remove();
    return commands;
}

} // namespace wendle
