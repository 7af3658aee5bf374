#pragma once

#include "platform/console/Console.h"

#include <QString>

namespace wendle {

// Modal alert panels for the owner sitting at the computer.
class Alerts {
public:
    virtual ~Alerts() = default;
    virtual void showAlert(const QString &title, const QString &message) = 0;
};

// A message box when Wendle has a window; otherwise the console line is the
// only place the owner can see it.
class DesktopAlerts : public Alerts {
public:
    explicit DesktopAlerts(Console &console) : m_console(console) {}
    void showAlert(const QString &title, const QString &message) override;

private:
    Console &m_console;
};

} // namespace wendle
