#pragma once

#include "app/SettingsView.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

namespace wendle {

class Controller;
class LibraryModel;
class LibraryTable;
class Preferences;
class PreferenceControls;
class RBMovieView;

// The settings window: one tab per part of the setup, each control writing
// its preference the moment it changes. Tab identifiers: "computer", "ped"
// (the owner's phone and mailboxes), "sec", "chat", "custom", "isight".
class SettingsWindow : public QWidget, public SettingsView {
    Q_OBJECT

public:
    SettingsWindow(Controller &controller, Preferences &preferences, QWidget *parent = nullptr);
    ~SettingsWindow() override;

    // With a tray icon, closing the window only hides it; without one,
    // closing quits Wendle.
    void setKeepsRunningWhenClosed(bool keepsRunning) { m_keepsRunning = keepsRunning; }

    void acceptFileDrops() override;
    void selectTab(const QString &identifier) override;
    void setFaxModemTitles(const QStringList &titles) override;
    void showStampColor(const QColor &color) override;

    QString currentTabIdentifier() const;
    QStringList tabIdentifiers() const;
    // Shows the window again with what the store holds now.
    void refresh();
    // Shows the window above the others, the one the owner works in.
    void showInFront();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    QWidget *addTab(const char *identifier, const QString &title, void (Controller::*help)());
    static QFormLayout *addGroup(QWidget *tab, const QString &title);
    void buildComputerTab();
    void buildRemoteTab();
    void buildSecurityTab();
    void buildChatTab();
    void buildCustomTab();
    void buildCameraTab();
    void addShortcut();
    void addShortcutPanelDidEnd(const QString &path, int returnCode);
    void chooseStampColor();

    Controller &m_controller;
    Preferences &m_preferences;
    PreferenceControls *m_controls = nullptr;
    QTabWidget *m_tabs = nullptr;
    QComboBox *m_faxModemDropdown = nullptr;
    QLineEdit *m_hostChatField = nullptr;
    QLineEdit *m_remoteChatField = nullptr;
    LibraryModel *m_library = nullptr;
    LibraryTable *m_tableView = nullptr;
    QPushButton *m_stampColorWell = nullptr;
    // The Controller's; gone already if the Controller went first.
    QPointer<RBMovieView> m_movieView;
    bool m_keepsRunning = false;
};

} // namespace wendle
