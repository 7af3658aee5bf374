#include "platform/alerts/Alerts.h"

#include <QApplication>
#include <QMessageBox>

namespace wendle {

void DesktopAlerts::showAlert(const QString &title, const QString &message, AlertStyle style, const QString &buttonTitle)
{
    // A run without a display has an offscreen GUI: nobody could close a box.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || QGuiApplication::platformName() == QLatin1String("offscreen")) {
        m_console.writeLine(title + QLatin1String(": ") + message);
        return;
    }
    QMessageBox box(style == AlertStyle::Critical ? QMessageBox::Critical : QMessageBox::Information, title, message);
    if (buttonTitle.isEmpty())
        box.addButton(QMessageBox::Ok);
    else
        box.addButton(buttonTitle, QMessageBox::AcceptRole);
    box.exec();
}

} // namespace wendle
