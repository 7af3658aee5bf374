#include "app/HelpCommand.h"

#include "app/Application.h"
#include "app/HelpBook.h"
#include "platform/help/HelpBrowser.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextDocument>

#include <cstdio>

namespace wendle {

QString helpPageNames()
{
    QStringList names;
    for (const HelpPage &entry : HelpPages)
        names << QLatin1String(entry.name);
    return names.join(QLatin1String(", "));
}

int runHelpCommand(int &argc, char **argv, const QString &name)
{
    const QString page = helpPageNamed(name);
    if (page.isNull()) {
        std::fprintf(stderr, "wendle help: there is no page \"%s\"; the pages are: %s\n", qPrintable(name), qPrintable(helpPageNames()));
        return 2;
    }
    // The resources are found beside the binary, which needs the
    // application object; text layout needs a GUI one even when nothing is
    // drawn, so without a display it runs offscreen.
    const bool windowed = hasDisplay() && qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("offscreen");
    if (!windowed)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("wendle"));
    const QString path = Resources::locateFolder() + QLatin1String("/help/") + page;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "wendle help: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return 1;
    }
    if (!windowed) {
        QTextDocument document;
        document.setHtml(QString::fromUtf8(file.readAll()));
        std::fputs(document.toPlainText().toUtf8().constData(), stdout);
        std::fputs("\n", stdout);
        return 0;
    }
    HelpBrowser viewer;
    viewer.showPage(path);
    return app.exec();
}

} // namespace wendle
