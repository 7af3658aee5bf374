#include "app/CommandLine.h"
#include "platform/process/OwnerUmask.h"
#include "platform/process/RuntimeFolder.h"

#include <QCoreApplication>

#include <malloc.h>

int main(int argc, char **argv)
{
    // One malloc arena for every thread: Wendle idles most of the time, and the
    // arena each of its threads (index, mail, chat) would get kept about 3 MB of
    // freed pages resident. Its threads seldom allocate at the same moment.
    ::mallopt(M_ARENA_MAX, 1);
    // Before anything is written: every command of the program writes only
    // files its owner alone may read.
    wendle::keepOwnFilesPrivate();
    wendle::provideRuntimeFolder();
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    return wendle::runCommandLine(argc, argv);
}
