#pragma once

#include "platform/help/HelpViewer.h"

#include <QWidget>

class QTextBrowser;

namespace wendle {

// The help book in a window of its own, titled "Wendle Help": links between
// pages are followed inside the window, links to the web open in the
// desktop's browser.
class HelpBrowser : public QWidget, public HelpViewer {
    Q_OBJECT

public:
    explicit HelpBrowser(QWidget *parent = nullptr);
    void showPage(const QString &pagePath) override;

    // The page shown now, as a full path; empty before the first page.
    QString currentPage() const;
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser = nullptr;
};

} // namespace wendle
