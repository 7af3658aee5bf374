#include "app/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("wendle"));
    return wendle::runCommandLine(argc, argv);
}
