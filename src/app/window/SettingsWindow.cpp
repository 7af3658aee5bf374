#include "app/window/SettingsWindow.h"

#include "app/ColorSetting.h"
#include "app/Controller.h"
#include "app/window/LibraryTable.h"
#include "app/window/PreferenceControls.h"
#include "camera/RBMovieView.h"
#include "platform/preferences/Preferences.h"
#include "replies/ChatScriptInstaller.h"
#include "settings/Settings.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <functional>

namespace wendle {

SettingsWindow::SettingsWindow(Controller &controller, Preferences &preferences, QWidget *parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_preferences(preferences)
    , m_controls(new PreferenceControls(preferences, this))
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(tr("Wendle"));
    setObjectName(QStringLiteral("settingsWindow"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    buildComputerTab();
    buildRemoteTab();
    buildSecurityTab();
    buildChatTab();
    buildCustomTab();
    buildCameraTab();
    resize(620, 560);
}

SettingsWindow::~SettingsWindow()
{
    // The camera view belongs to the Controller, which keeps using it
    // headless: out of the widget tree before the tree is deleted.
    if (m_movieView) {
        m_movieView->hide();
        m_movieView->setParent(nullptr);
    }
}

QWidget *SettingsWindow::addTab(const char *identifier, const QString &title, void (Controller::*help)())
{
    auto *tab = new QWidget;
    tab->setObjectName(QLatin1String(identifier));
    auto *layout = new QVBoxLayout(tab);
    layout->addStretch();
    auto *helpButton = new QPushButton(tr("Help"));
    helpButton->setObjectName(QLatin1String("help_") + QLatin1String(identifier));
    helpButton->setToolTip(tr("Explain the settings of this tab"));
    connect(helpButton, &QPushButton::clicked, this, [controller = &m_controller, help] { std::invoke(help, *controller); });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(helpButton);
    layout->addLayout(buttons);
    m_tabs->addTab(tab, title);
    return tab;
}

// A titled group placed above the tab's stretch and help button.
QFormLayout *SettingsWindow::addGroup(QWidget *tab, const QString &title)
{
    auto *group = new QGroupBox(title);
    auto *form = new QFormLayout(group);
    auto *layout = static_cast<QVBoxLayout *>(tab->layout());
    layout->insertWidget(layout->count() - 2, group);
    return form;
}

QString SettingsWindow::currentTabIdentifier() const
{
    return m_tabs->currentWidget() ? m_tabs->currentWidget()->objectName() : QString();
}

QStringList SettingsWindow::tabIdentifiers() const
{
    QStringList identifiers;
    for (int i = 0; i < m_tabs->count(); ++i)
        identifiers << m_tabs->widget(i)->objectName();
    return identifiers;
}

void SettingsWindow::selectTab(const QString &identifier)
{
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (m_tabs->widget(i)->objectName() == identifier)
            m_tabs->setCurrentIndex(i);
    }
}

void SettingsWindow::acceptFileDrops()
{
    m_tableView->acceptFileDrops();
}

void SettingsWindow::setFaxModemTitles(const QStringList &titles)
{
    m_faxModemDropdown->clear();
    m_faxModemDropdown->addItems(titles);
}

void SettingsWindow::showStampColor(const QColor &color)
{
    QPixmap swatch(48, 16);
    swatch.fill(color);
    QPainter(&swatch).drawRect(0, 0, swatch.width() - 1, swatch.height() - 1);
    m_stampColorWell->setIcon(QIcon(swatch));
    m_stampColorWell->setIconSize(swatch.size());
    m_stampColorWell->setProperty("color", color);
}

void SettingsWindow::chooseStampColor()
{
    const QColor chosen = QColorDialog::getColor(m_controller.stampColor(), this, tr("Stamp Colour"), QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid())
        return;
    m_controller.setStampColor(chosen);
    m_preferences.setValue(QLatin1String(RBiSightStampColor), archiveColor(chosen));
    showStampColor(chosen);
}

void SettingsWindow::addShortcut()
{
    // Window-modal, like a sheet: the rest of Wendle keeps answering commands.
    auto *panel = new QFileDialog(this, tr("Choose a Script or File"), QDir::homePath());
    panel->setObjectName(QStringLiteral("addShortcutPanel"));
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        const QStringList files = panel->selectedFiles();
        addShortcutPanelDidEnd(files.value(0), result);
    });
    panel->open();
}

void SettingsWindow::addShortcutPanelDidEnd(const QString &path, int returnCode)
{
    if (returnCode != QDialog::Accepted || path.isEmpty())
        return;
    if (m_library->appendFile(path))
        m_tableView->selectRow(m_library->rowCount() - 1);
}

void SettingsWindow::refresh()
{
    m_controls->refresh();
    m_library->reload();
}

void SettingsWindow::showInFront()
{
    show();
    raise();
    activateWindow();
}

bool SettingsWindow::event(QEvent *event)
{
    // The owner may have run `wendle config set` while the window was away.
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate)
        m_controls->refresh();
    return QWidget::event(event);
}

void SettingsWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_keepsRunning)
        QCoreApplication::quit();
}

} // namespace wendle
