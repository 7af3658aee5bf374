#include "platform/help/HelpBrowser.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace wendle {

HelpBrowser::HelpBrowser(QWidget *parent) : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("Wendle Help"));
    setObjectName(QStringLiteral("helpViewer"));
    resize(640, 560);
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(true);

    auto *back = new QPushButton(tr("Back"), this);
    auto *contents = new QPushButton(tr("Contents"), this);
    back->setEnabled(false);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, this, [this] {
        // Every page sits in the same folder as the contents page.
        const QString folder = QFileInfo(currentPage()).absolutePath();
        if (!folder.isEmpty())
            showPage(folder + QLatin1String("/configuring.html"));
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
}

void HelpBrowser::showPage(const QString &pagePath)
{
    if (QFileInfo(pagePath).isReadable())
        m_browser->setSource(QUrl::fromLocalFile(pagePath));
    else
        m_browser->setHtml(tr("<h2>Page not found</h2><p>The help page %1 is missing or cannot be read. "
                              "Reinstall Wendle to restore its help.</p>")
                               .arg(pagePath.toHtmlEscaped()));
    show();
    raise();
    activateWindow();
}

QString HelpBrowser::currentPage() const
{
    return m_browser->source().toLocalFile();
}

} // namespace wendle
