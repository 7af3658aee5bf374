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
    QString mail;                 // how commands come in by mail and how replies leave
    QString chat;                 // how chat replies leave
    QString lastCommand;          // the newest command taken in, how and when
    bool remoteCommandsOn = true; // enableRemoteCommands: off while the owner has paused them
};

// The lines at the top of the tray menu.
QStringList trayStatusLines(const TrayFacts &facts);

// The newest command the controller took in: text, mail or chat, time.
QString describeLastCommand(const Controller &controller);

// Wendle's icon in the desktop's tray, for a Wendle whose window is closed:
// status lines, pausing remote commands, the settings window, the log,
// quitting.
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
    QAction *m_pauseAction;
    bool m_remoteCommandsOn = true;
};

// The little "W" badge of the tray and the windows.
QIcon wendleIcon();

} // namespace wendle
