#pragma once

#include "platform/console/Console.h"

#include <QString>

namespace wendle {

// Critical alerts report a failure the owner must act on; normal ones inform.
enum class AlertStyle { Normal, Critical };

// Modal alert panels for the owner sitting at the computer. buttonTitle names
// the one button that dismisses the panel; empty gives the toolkit's "OK".
class Alerts {
public:
    virtual ~Alerts() = default;
    virtual void showAlert(const QString &title, const QString &message, AlertStyle style = AlertStyle::Normal,
                           const QString &buttonTitle = QString()) = 0;
};

// A message box when Wendle has a window; otherwise the console line is the
// only place the owner can see it.
class DesktopAlerts : public Alerts {
public:
    explicit DesktopAlerts(Console &console) : m_console(console) {}
    void showAlert(const QString &title, const QString &message, AlertStyle style = AlertStyle::Normal,
                   const QString &buttonTitle = QString()) override;

private:
    Console &m_console;
};

} // namespace wendle
