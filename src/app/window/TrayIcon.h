#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace wendle {

class Controller;

// What the tray menu reports, gathered when the menu opens.
struct TrayFacts {
    QString mail;         // how commands come in by mail and how replies leave
    QString chat;         // how chat replies leave
    QString lastLogEntry; // the newest entry of the activity log, time included
};

// The lines at the top of the tray menu.
QStringList trayStatusLines(const TrayFacts &facts);

// The newest entry of <folder>/wendle.log with its time, or empty.
QString lastLogEntry(const QString &supportFolder);

// Wendle's icon in the desktop's tray, for a Wendle whose window is closed:
// status lines, the settings window, the log, quitting.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(Controller &controller, QWidget *settingsWindow, std::function<TrayFacts()> facts, QObject *parent = nullptr);
    ~TrayIcon() override;

    static bool available();
    void show();
    QMenu *menu() const { return m_menu; }

private:
    void updateStatus();

    Controller &m_controller;
    QWidget *m_settingsWindow;
    std::function<TrayFacts()> m_facts;
    QMenu *m_menu;
    QSystemTrayIcon *m_icon;
    QList<QAction *> m_statusActions;
};

// The little "W" badge of the tray and the windows.
QIcon wendleIcon();

} // namespace wendle
