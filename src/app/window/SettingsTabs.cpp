// The contents of the settings window's tabs.

#include "app/window/SettingsWindow.h"

#include "app/Controller.h"
#include "app/window/LibraryTable.h"
#include "app/window/PreferenceControls.h"
#include "camera/RBMovieView.h"
#include "operations/Launch.h"
#include "platform/preferences/Preferences.h"
#include "replies/ChatScriptInstaller.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace wendle {

namespace {

QLabel *note(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

} // namespace

void SettingsWindow::buildComputerTab()
{
    QWidget *tab = addTab("computer", tr("Computer"), &Controller::helpComputer);
    PreferenceControls &c = *m_controls;

    QFormLayout *mail = addGroup(tab, tr("This computer's mail account"));
    mail->addRow(tr("Address:"), c.lineEdit(RBComputerEmailAddress, tr("computer@example.com")));
    mail->addRow(tr("Replies leave by:"), c.choice(RBMailTransport));
    mail->addRow(tr("SMTP server:"), c.lineEdit(RBSmtpUrl, tr("smtp://mail.example.com:587")));
    mail->addRow(tr("SMTP user:"), c.lineEdit(RBSmtpUser));
    mail->addRow(tr("SMTP password command:"), c.argumentEdit(RBSmtpPasswordCommand, tr("pass show mail/smtp")));
    mail->addRow(tr("IMAP mailbox:"), c.lineEdit(RBImapUrl, tr("imaps://mail.example.com/INBOX")));
    mail->addRow(tr("IMAP user:"), c.lineEdit(RBImapUser));
    mail->addRow(tr("IMAP password command:"), c.argumentEdit(RBImapPasswordCommand, tr("pass show mail/imap")));
    mail->addRow(tr("Check the mailbox every:"), c.spinBox(RBImapPollSeconds, tr(" s")));
    mail->addRow(tr("Also trust certificate:"), c.lineEdit(RBMailTrustedCertificate, tr("/path/to/server.pem")));
    mail->addRow(tr("Script host command:"), c.argumentEdit(RBScriptHostCommand));
    mail->addRow(tr("Closing line:"), c.lineEdit(RBDefaultSalutation));

    QFormLayout *fax = addGroup(tab, tr("Faxing"));
    m_faxModemDropdown = new QComboBox;
    m_faxModemDropdown->setObjectName(QStringLiteral("faxModemDropdown"));
    connect(m_faxModemDropdown, &QComboBox::activated, this,
            [this](int index) { m_controller.faxModemChanged(m_faxModemDropdown->itemText(index)); });
    fax->addRow(tr("Fax queue:"), m_faxModemDropdown);
    fax->addRow(c.checkBox(RBEnableFaxing, tr("Enable faxing")));

    QFormLayout *programs = addGroup(tab, tr("Applications and log"));
    programs->addRow(tr("Music:"), c.lineEdit(RBMusicApplication));
    programs->addRow(tr("Photos:"), c.lineEdit(RBPhotoApplication));
    programs->addRow(tr("Chat:"), c.lineEdit(RBChatApplication));
    auto *openLog = new QPushButton(tr("Open Log"));
    openLog->setObjectName(QStringLiteral("openLog"));
    connect(openLog, &QPushButton::clicked, this, [this] { m_controller.openLog(); });
    programs->addRow(c.checkBox(RBLogData, tr("Keep an activity log")), openLog);
}

void SettingsWindow::buildRemoteTab()
{
    QWidget *tab = addTab("ped", tr("Remote"), &Controller::helpRemote);
    PreferenceControls &c = *m_controls;

    QFormLayout *senders = addGroup(tab, tr("Who may send commands"));
    senders->addRow(tr("Your phone's mail address:"), c.lineEdit(RBPhoneEmailAddress, tr("5551234567@txt.example.com")));
    senders->addRow(tr("Your other mail address:"), c.lineEdit(RBRemoteEmailAddress, tr("you@example.com")));
    senders->addRow(c.checkBox(RBEnableRemoteCommands, tr("Accept remote commands")));
    senders->addRow(c.checkBox(RBNotifyOnRemoteCommands, tr("Show a notification here for every remote command")));

    QFormLayout *phone = addGroup(tab, tr("Your phone's screen"));
    phone->addRow(tr("Characters per line:"), c.spinBox(RBPhoneWidth, tr(" characters")));
    phone->addRow(tr("Lines per screen:"), c.spinBox(RBPhoneHeight, tr(" lines")));
    phone->addRow(c.checkBox(RBSplitLongMessages, tr("Split long replies into screens")));
}

void SettingsWindow::buildSecurityTab()
{
    QWidget *tab = addTab(SecurityTab, tr("Security"), &Controller::helpSecurity);
    PreferenceControls &c = *m_controls;

    QFormLayout *limit = addGroup(tab, tr("Commands"));
    limit->addRow(c.checkBox(RBLimitCommandsFlag, tr("Limit commands per hour to:")), c.spinBox(RBMaxCommandsPerHour, tr(" commands")));
    limit->addRow(c.checkBox(RBLimitNotificationFlag, tr("Tell the sender when the limit refuses a command")));
    limit->addRow(c.checkBox(RBConfirmCustomCommands, tr("Custom commands wait for their confirmation number")));
    limit->addRow(tr("Secret word after wndl:"), c.lineEdit(RBCommandSecret));

    QFormLayout *senders = addGroup(tab, tr("Checking the sender"));
    senders->addRow(c.checkBox(RBStrictSenderMatch, tr("The sender must be one of my addresses exactly")));
    senders->addRow(c.checkBox(RBRequireAuthenticatedSender, tr("The sender must pass DKIM or SPF at my mail server")));
    senders->addRow(tr("My mail server's name (authserv-id):"), c.lineEdit(RBAuthservId, tr("mx.example.com")));

    QFormLayout *keys = addGroup(tab, tr("Signed commands (OpenPGP)"));
    keys->addRow(c.checkBox(RBRequireSignedCommands, tr("Run a mail command only when my key signed it")));
    keys->addRow(tr("My keys' fingerprints:"), c.checkedEdit(RBOwnerKeyFingerprints, tr("40 hex digits; commas between keys")));
    keys->addRow(c.checkBox(RBEncryptReplies, tr("Encrypt every mailed reply to my keys, or send none")));
    keys->addRow(tr("Refuse mail commands older than:"), c.spinBox(RBMaxCommandAgeMinutes, tr(" minutes (0: any age)")));

    QFormLayout *files = addGroup(tab, tr("Finding and sending files"));
    files->addRow(c.checkBox(RBLimitSearchFlag, tr("Search only my home folder")));
    files->addRow(tr("Largest file sent:"), c.spinBox(RBMaxFileSize, tr(" MB")));
    files->addRow(tr("Most results listed (5 to 20):"), c.spinBox(RBMaxFilesReturned, tr(" files")));
    files->addRow(c.checkBox(RBDoNotForwardFlag, tr("Send result lists to the sender only, without the copy address")));
    files->addRow(c.checkBox(RBConfirmForwardFlag, tr("Ask before forwarding a file")));

    QFormLayout *kinds = addGroup(tab, tr("Searching contents also looks in"));
    const QList<QPair<const char *, QString>> kindBoxes = {
        {RBSearchDocuments, tr("Documents")}, {RBSearchImages, tr("Images")},          {RBSearchEmails, tr("Mail messages")},
        {RBSearchArchives, tr("Archives")},   {RBSearchDiskImages, tr("Disk images")}, {RBSearchApplications, tr("Applications")},
        {RBSearchClippings, tr("Clippings")}, {RBSearchScripts, tr("Scripts")},        {RBSearchAudios, tr("Audio")},
        {RBSearchVideos, tr("Videos")},
    };
    for (qsizetype i = 0; i + 1 < kindBoxes.size(); i += 2)
        kinds->addRow(c.checkBox(kindBoxes[i].first, kindBoxes[i].second), c.checkBox(kindBoxes[i + 1].first, kindBoxes[i + 1].second));
}

void SettingsWindow::buildChatTab()
{
    QWidget *tab = addTab("chat", tr("Chat"), &Controller::helpChat);
    PreferenceControls &c = *m_controls;

    QFormLayout *accounts = addGroup(tab, tr("Chat accounts"));
    m_hostChatField = c.lineEdit(RBHostChatAddress, tr("computer@jabber.example.org"));
    m_remoteChatField = c.lineEdit(RBRemoteChatAddress, tr("you@jabber.example.org"));
    // The preference is written first (PreferenceControls connected before
    // these), so leaving the field sees the new account.
    const auto track = [this](QLineEdit *field, ChatAccountField which) {
        connect(field, &QLineEdit::textEdited, this, [this, which] { m_controller.controlTextDidChange(which); });
        connect(field, &QLineEdit::editingFinished, this, [this, which] { m_controller.controlTextDidEndEditing(which); });
    };
    track(m_hostChatField, ChatAccountField::Host);
    track(m_remoteChatField, ChatAccountField::Remote);
    accounts->addRow(tr("This computer's account:"), m_hostChatField);
    accounts->addRow(tr("Your account:"), m_remoteChatField);
    accounts->addRow(tr("Chat goes through:"), c.choice(RBChatTransport));
    accounts->addRow(tr("XMPP server:"), c.lineEdit(RBHostChatServer, tr("found from this computer's account")));
    accounts->addRow(tr("Password command:"), c.argumentEdit(RBHostChatPasswordCommand, tr("pass show chat/computer")));
    accounts->addRow(tr("Also trust certificate:"), c.lineEdit(RBChatTrustedCertificate, tr("/path/to/server.pem")));
    accounts->addRow(tr("mcabber's FIFO:"), c.lineEdit(RBMcabberFifo, tr("~/.mcabber/mcabber.fifo")));

    QFormLayout *script = addGroup(tab, tr("Chat handler script"));
    script->addRow(note(tr("Leaving \"Your account\" after a change writes the handler script; "
                           "the button writes it again at any time.")));
    auto *create = new QPushButton(tr("Create Chat Script"));
    create->setObjectName(QStringLiteral("forceChatScript"));
    connect(create, &QPushButton::clicked, this, [this] { m_controller.forceChatScript(); });
    script->addRow(create);
}

void SettingsWindow::buildCustomTab()
{
    QWidget *tab = addTab("custom", tr("Custom Commands"), &Controller::helpCustom);
    PreferenceControls &c = *m_controls;

    QFormLayout *form = addGroup(tab, tr("Your commands"));
    m_library = new LibraryModel(m_controller, this);
    m_tableView = new LibraryTable(m_library);
    m_tableView->setMinimumHeight(220);
    form->addRow(m_tableView);
    auto *add = new QPushButton(tr("Add…"));
    add->setObjectName(QStringLiteral("addShortcut"));
    connect(add, &QPushButton::clicked, this, &SettingsWindow::addShortcut);
    auto *remove = new QPushButton(tr("Remove"));
    remove->setObjectName(QStringLiteral("removeShortcut"));
    connect(remove, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = m_tableView->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_library->removeRows(rows.first().row(), 1);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    form->addRow(buttons);
    form->addRow(note(tr("Drop script files on the table, or add them. Double-click a name or a path to change it.")));
    form->addRow(tr("Stop a script after:"), c.spinBox(RBCustomCommandTimeout, tr(" s")));
}

void SettingsWindow::buildCameraTab()
{
    QWidget *tab = addTab(CameraTab, tr("Camera"), &Controller::helpiSight);
    PreferenceControls &c = *m_controls;

    QFormLayout *camera = addGroup(tab, tr("Camera"));
    // The switch is stored first (PreferenceControls connected before
    // this), then the camera and motion watch follow it.
    QCheckBox *cameraSwitch = c.checkBox(RBEnableiSight, tr("Enable the camera (snapshot command)"));
    for (QCheckBox *box : {cameraSwitch, c.checkBox(RBEnableiSightMotion, tr("Watch for motion"))}) {
        connect(box, &QCheckBox::toggled, this, [this] { m_controller.cameraPreferencesChanged(); });
        camera->addRow(box);
    }
    camera->addRow(tr("Camera source:"), c.lineEdit(RBCameraSource, tr("v4l2src device=/dev/video0")));
    camera->addRow(tr("Check for motion every:"), c.doubleSpinBox(RBiSightSensitivity, 0.5, 1, tr(" s")));
    camera->addRow(c.checkBox(RBMotionAlertFlag, tr("Mail me a picture when motion is seen")));
    camera->addRow(tr("At most one alert every:"), c.spinBox(RBMotionAlertInterval, tr(" s")));
    camera->addRow(tr("Snapshot quality (0 to 1):"), c.doubleSpinBox(RBiSightQuality, 0.05, 2));
    camera->addRow(c.checkBox(RBiSightDateStamp, tr("Stamp snapshots with the date and time")));
    m_stampColorWell = new QPushButton;
    m_stampColorWell->setObjectName(QStringLiteral("stampColorWell"));
    m_stampColorWell->setToolTip(tr("Colour of the date stamp and of the no-camera picture's text"));
    connect(m_stampColorWell, &QPushButton::clicked, this, &SettingsWindow::chooseStampColor);
    showStampColor(m_controller.stampColor());
    camera->addRow(tr("Stamp colour:"), m_stampColorWell);

    // The Controller's camera view, lent to the tab while the window lives
    // (the destructor hands it back). Off this tab it is hidden, and the
    // camera then delivers only the few frames the watch needs.
    QFormLayout *preview = addGroup(tab, tr("Preview"));
    m_movieView = m_controller.movieView();
    m_movieView->setMinimumSize(256, 192);
    preview->addRow(m_movieView.data());
    m_movieView->show();
    auto *start = new QPushButton(tr("Start Preview"));
    start->setObjectName(QStringLiteral("startPreview"));
    start->setToolTip(tr("Start the camera and show what it sees"));
    c.bind([this, start] { start->setEnabled(m_preferences.boolValue(QLatin1String(RBEnableiSight))); });
    connect(cameraSwitch, &QCheckBox::toggled, start, &QPushButton::setEnabled);
    connect(start, &QPushButton::clicked, this, [this] { m_controller.startPreview(); });
    preview->addRow(start);
}

} // namespace wendle
