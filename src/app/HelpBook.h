#pragma once

#include <QString>

namespace wendle {

inline constexpr const char *HelpBookName = "Wendle Help";

// The pages of the help book, relative to the book's folder. name is what
// `wendle help PAGE` accepts and, for the tabs, the settings window's tab
// identifier whose help button opens the page.
struct HelpPage {
    const char *name;
    const char *page;
};

inline constexpr HelpPage HelpPages[] = {
    {"computer", "html/computer_tab.html"}, {"ped", "html/ped_tab.html"},       {"sec", "html/security_tab.html"},
    {"chat", "html/chat_tab.html"},         {"custom", "html/custom_tab.html"}, {"configuring", "html/configuring.html"},
    {"isight", "html/isight_tab.html"},
};

// The page for a name given on the command line: a name of the table, the
// page's file name with or without ".html", or a few plain words ("remote",
// "security", "camera", "configure"). Null when nothing matches.
QString helpPageNamed(const QString &name);

} // namespace wendle
