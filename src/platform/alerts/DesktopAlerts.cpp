#include "platform/alerts/Alerts.h"

#include <QApplication>
#include <QMessageBox>

namespace wendle {

void DesktopAlerts::showAlert(const QString &title, const QString &message)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QMessageBox::warning(nullptr, title, message);
        return;
    }
    m_console.writeLine(title + QLatin1String(": ") + message);
}

} // namespace wendle
