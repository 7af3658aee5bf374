#pragma once

#include <QString>

namespace wendle {

// Shows one page of the help book to the owner at the computer. Headless
// runs have none; the Controller then names the page on the console.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // pagePath is the full path of an HTML page inside the book.
    virtual void showPage(const QString &pagePath) = 0;
};

} // namespace wendle
