#include "app/window/TrayIcon.h"

#include "app/Controller.h"

#include <QAction>
#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace wendle {

QStringList trayStatusLines(const TrayFacts &facts)
{
    return {facts.remoteCommandsOn ? QCoreApplication::translate("TrayIcon", "Wendle is listening for commands")
                                   : QCoreApplication::translate("TrayIcon", "Remote commands are paused"),
            QCoreApplication::translate("TrayIcon", "Mail: %1").arg(facts.mail),
            QCoreApplication::translate("TrayIcon", "Chat: %1").arg(facts.chat),
            QCoreApplication::translate("TrayIcon", "Last command: %1").arg(facts.lastCommand)};
}

QString describeLastCommand(const Controller &controller)
{
    const CommandSeen &seen = controller.lastCommandSeen();
    if (seen.text.isEmpty())
        return QCoreApplication::translate("TrayIcon", "none since Wendle started");
    return QCoreApplication::translate("TrayIcon", "\u201c%1\u201d by %2 at %3")
        .arg(seen.text, seen.byChat ? QCoreApplication::translate("TrayIcon", "chat") : QCoreApplication::translate("TrayIcon", "mail"),
             seen.at.toString(QStringLiteral("HH:mm")));
}

QIcon wendleIcon()
{
    QPixmap badge(64, 64);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2a, 0x6f, 0xb0));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(4, 4, 56, 56, 12, 12);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(40);
    painter.setFont(font);
    painter.drawText(badge.rect(), Qt::AlignCenter, QStringLiteral("W"));
    return QIcon(badge);
}

TrayIcon::TrayIcon(Controller &controller, QWidget *settingsWindow, std::function<TrayFacts()> facts, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_settingsWindow(settingsWindow)
    , m_facts(std::move(facts))
    , m_menu(new QMenu)
    , m_icon(new QSystemTrayIcon(wendleIcon(), this))
    , m_pauseAction(nullptr)
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_menu->addSeparator();
    // Named for what it will do, as the menu opens: the owner reaches for it
    // when something is wrong, and must not have to read a check mark.
    m_pauseAction = m_menu->addAction(tr("Pause remote commands"));
    m_pauseAction->setObjectName(QStringLiteral("pauseRemoteCommands"));
    connect(m_pauseAction, &QAction::triggered, this, [this] {
        if (m_remoteCommandsOn)
            m_controller.pauseRemoteCommands(QStringLiteral("the tray menu"));
        else
            m_controller.resumeRemoteCommands(QStringLiteral("the tray menu"));
        updateStatus();
    });
    m_menu->addSeparator();
    QAction *settings = m_menu->addAction(tr("Settings…"));
    connect(settings, &QAction::triggered, this, [this] {
        m_settingsWindow->show();
        m_settingsWindow->raise();
        m_settingsWindow->activateWindow();
    });
    connect(m_menu->addAction(tr("Open Log")), &QAction::triggered, this, [this] { m_controller.openLog(); });
    connect(m_menu->addAction(tr("Wendle Help")), &QAction::triggered, this, [this] { m_controller.helpConfigure(); });
    m_menu->addSeparator();
    connect(m_menu->addAction(tr("Quit Wendle")), &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::updateStatus);
    connect(m_icon, &QSystemTrayIcon::activated, this, [settings](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            settings->trigger();
    });
    m_icon->setContextMenu(m_menu);
    updateStatus();
}

TrayIcon::~TrayIcon()
{
    delete m_menu;
}

bool TrayIcon::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::show()
{
    m_icon->show();
}

void TrayIcon::updateStatus()
{
    const TrayFacts facts = m_facts();
    m_remoteCommandsOn = facts.remoteCommandsOn;
    m_pauseAction->setText(m_remoteCommandsOn ? tr("Pause remote commands") : tr("Resume remote commands"));
    const QStringList lines = trayStatusLines(facts);
    qDeleteAll(m_statusActions);
    m_statusActions.clear();
    QAction *first = m_menu->actions().value(0);
    for (const QString &line : lines) {
        auto *action = new QAction(line, m_menu);
        action->setEnabled(false);
        m_menu->insertAction(first, action);
        m_statusActions << action;
    }
    m_icon->setToolTip(lines.mid(0, 2).join(u'\n'));
}

} // namespace wendle
