#include "platform/alerts/Alerts.h"

#include <QApplication>
#include <QMessageBox>

namespace wendle {

void DesktopAlerts::showAlert(const QString &title, const QString &message)
{
    // A run without a display has an offscreen GUI: nobody could close a box.
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        QMessageBox::warning(nullptr, title, message);
        return;
    }
    m_console.writeLine(title + QLatin1String(": ") + message);
}

} // namespace wendle
