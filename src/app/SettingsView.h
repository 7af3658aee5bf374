#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

namespace wendle {

// What the start-up steps do to the settings window. A headless run has no
// window: the Controller then runs only the steps that need none.
class SettingsView {
public:
    virtual ~SettingsView() = default;
    // The library table takes dropped files and selects one row at a time.
    virtual void acceptFileDrops() = 0;
    virtual void selectTab(const QString &identifier) = 0;
    // Empties the fax queue pop-up and fills it with these titles.
    virtual void setFaxModemTitles(const QStringList &titles) = 0;
    virtual void showStampColor(const QColor &color) = 0;
};

// Identifiers of the settings window's tabs.
inline constexpr const char *SecurityTab = "sec";
inline constexpr const char *CameraTab = "isight";

} // namespace wendle
