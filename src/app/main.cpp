#include "app/CommandLine.h"
#include "platform/process/OwnerUmask.h"
#include "platform/process/RuntimeFolder.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    // Before anything is written: every command of the program writes only
    // files its owner alone may read.
    wendle::keepOwnFilesPrivate();
    wendle::provideRuntimeFolder();
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    return wendle::runCommandLine(argc, argv);
}
