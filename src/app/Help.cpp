#include "app/Controller.h"

#include "app/HelpBook.h"
#include "platform/console/Console.h"
#include "platform/help/HelpViewer.h"
#include "resources/Resources.h"

#include <QDir>
#include <QFileInfo>

namespace wendle {

namespace {

// Status codes of the help registration, as the console line shows them.
constexpr int BookNotFound = -43;
constexpr int BookNotReadable = -54;

const QHash<QString, QString> &pageSynonyms()
{
    static const QHash<QString, QString> synonyms = {
        {QStringLiteral("remote"), QStringLiteral("ped")},
        {QStringLiteral("phone"), QStringLiteral("ped")},
        {QStringLiteral("security"), QStringLiteral("sec")},
        {QStringLiteral("camera"), QStringLiteral("isight")},
        {QStringLiteral("configure"), QStringLiteral("configuring")},
    };
    return synonyms;
}

} // namespace

QString helpPageNamed(const QString &name)
{
    const QString wanted = pageSynonyms().value(name.toLower(), name.toLower());
    for (const HelpPage &entry : HelpPages) {
        const QString page = QLatin1String(entry.page);
        const QString fileName = QFileInfo(page).fileName();
        if (wanted == QLatin1String(entry.name) || wanted == fileName || wanted == QFileInfo(page).completeBaseName())
            return page;
    }
    return QString();
}

QString Controller::helpBookFolder() const
{
    return m_platform.resources.folder() + QLatin1String("/help");
}

void Controller::registerHelp()
{
    // The book is the folder of pages beside the other resources; it is
    // registered when every page is there to be read.
    int status = 0;
    for (const HelpPage &entry : HelpPages) {
        const QFileInfo page(helpBookFolder() + u'/' + QLatin1String(entry.page));
        if (!page.exists()) {
            status = BookNotFound;
            break;
        }
        if (!page.isReadable()) {
            status = BookNotReadable;
            break;
        }
    }
    if (status != 0)
        m_platform.console.writeLine(
            QStringLiteral("Wendle Log Update: Couldn't register help from %1; status %2.").arg(helpBookFolder()).arg(status));
}

void Controller::showHelpPage(const QString &page)
{
    const QString path = helpBookFolder() + u'/' + page;
    if (m_platform.help)
        m_platform.help->showPage(path);
    else
        m_platform.console.writeLine(QStringLiteral("Wendle Log Update: %1 page: %2").arg(QLatin1String(HelpBookName), path));
}

// clang-format off
void Controller::helpComputer() { showHelpPage(QStringLiteral("html/computer_tab.html")); }
void Controller::helpRemote() { showHelpPage(QStringLiteral("html/ped_tab.html")); }
void Controller::helpSecurity() { showHelpPage(QStringLiteral("html/security_tab.html")); }
void Controller::helpChat() { showHelpPage(QStringLiteral("html/chat_tab.html")); }
void Controller::helpCustom() { showHelpPage(QStringLiteral("html/custom_tab.html")); }
void Controller::helpConfigure() { showHelpPage(QStringLiteral("html/configuring.html")); }
void Controller::helpiSight() { showHelpPage(QStringLiteral("html/isight_tab.html")); }
// clang-format on

} // namespace wendle
