#include "app/window/SettingsWindowFixture.h"
#include "settings/SettingRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <climits>

using namespace wendle;
using namespace wendle::test;

namespace {

TEST_F(SettingsWindowTest, StartShowsTheCameraTabOnlyWhileTheCameraWatches)
{
    // the camera on, its motion watch on, the tab shown at start
    const std::tuple<bool, bool, const char *> cases[] = {
        {false, false, "sec"}, {true, false, "sec"}, {false, true, "sec"}, {true, true, "isight"}};
    for (const auto &[camera, motion, tab] : cases) {
        preferences.setValue(RBEnableiSight, camera);
        preferences.setValue(RBEnableiSightMotion, motion);
        window->selectTab("chat");
        controller->awakeFromNib(window.get());
        EXPECT_EQ(window->currentTabIdentifier(), tab) << camera << motion;
    }
}

TEST_F(SettingsWindowTest, ControlsWriteTheStoreAtOnceAndShowWhatOthersStored)
{
    start();
    window->selectTab("computer");
    QTest::mouseClick(control<QCheckBox>(RBLogData), Qt::LeftButton);
    EXPECT_EQ(preferences.value(RBLogData), QVariant(false));

    control<QSpinBox>(RBPhoneWidth)->setValue(32);
    EXPECT_EQ(preferences.value(RBPhoneWidth), QVariant(32));

    QLineEdit *salutation = control<QLineEdit>(RBDefaultSalutation);
    salutation->clear();
    type(salutation, "-- sent from the den");
    EXPECT_EQ(preferences.value(RBDefaultSalutation), QVariant("-- sent from the den"));

    // Emptying a key without a default makes it absent again.
    type(control<QLineEdit>(RBSmtpUser), "x");
    QTest::keyClick(control<QLineEdit>(RBSmtpUser), Qt::Key_Backspace);
    EXPECT_FALSE(preferences.value(RBSmtpUser).isValid());

    type(control<QLineEdit>(RBImapPasswordCommand), "pass show 'mail/my box'");
    EXPECT_EQ(preferences.value(RBImapPasswordCommand), QVariant(QStringList{"pass", "show", "mail/my box"}));

    QComboBox *transport = control<QComboBox>(RBMailTransport);
    transport->setCurrentText("smtp");
    Q_EMIT transport->activated(transport->currentIndex());
    EXPECT_EQ(preferences.value(RBMailTransport), QVariant("smtp"));

    // A value stored elsewhere (wendle config set) shows when the window comes back.
    preferences.setValue(RBMaxFilesReturned, 12);
    preferences.setValue(RBSearchEmails, true);
    window->hide();
    window->show();
    EXPECT_EQ(control<QSpinBox>(RBMaxFilesReturned)->value(), 12);
    EXPECT_TRUE(control<QCheckBox>(RBSearchEmails)->isChecked());
}

// The fingerprint field keeps what `wendle config set` would refuse out of
// the store, and says why under the field.
TEST_F(SettingsWindowTest, TheKeyFieldStoresOnlyKeysTheKeyringHolds)
{
    QTemporaryDir keyring;
    qputenv("GNUPGHOME", keyring.path().toLocal8Bit());
    start();
    window->selectTab("sec");
    QLineEdit *field = control<QLineEdit>(RBOwnerKeyFingerprints);
    auto *problem = control<QLabel>(QStringLiteral("%1Problem").arg(RBOwnerKeyFingerprints));
    const QString fingerprint = "0123456789ABCDEF0123456789ABCDEF01234567";
    // what is typed, what the field says of it
    const std::pair<QString, QString> cases[] = {
        {"12ab", "expected key fingerprints of 40 or 64 hex digits, separated by commas, or empty for none: \"12ab\" is not a "
                 "key fingerprint (40 or 64 hex digits; separate several with commas)"},
        {"0x" + fingerprint.toLower(),
         "the key " + fingerprint + " is not in the keyring " + keyring.path() + "; import it first with gpg --import"},
        {"", ""},
    };
    for (const auto &[typed, said] : cases) {
        SCOPED_TRACE(typed.toStdString());
        field->clear();
        type(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(problem->text(), said);
        EXPECT_EQ(problem->isVisibleTo(window.get()), !said.isEmpty());
        EXPECT_FALSE(preferences.value(RBOwnerKeyFingerprints).isValid());
    }
    qunsetenv("GNUPGHOME");
}

// The account rules are the chat script installer's; here, that typing in a
// field and leaving it reaches them, a field merely left does not, and the
// button does.
TEST_F(SettingsWindowTest, ChatFieldsFollowTheAccountRules)
{
    const QString created = "iChat Script Created|The custom iChat script has been created.  Please configure iChat to run the "
                            "\"WendleChat\" script whenever the \"Text Invitation\" and \"Message Received\" events occur.";
    const QString duplicate = "Duplicate iChat Accounts|Do not set the Host Chat account to the same account used for the Remote Chat "
                              "account.  Please try another chat account and try again.";
    const QString noAccount = "No Chat Account|Enter your own chat address in \"Your account\" first: the script takes commands "
                              "from that account only.";
    // remote is stored before the window opens (no host account); field is
    // typed in and left, or clicked.
    struct Case {
        const char *name;
        QString remote;
        const char *field;
        QString typed;
        QStringList alerts;
        bool scriptWritten;
    };
    const QList<Case> cases = {
        {"remote typed", "", RBRemoteChatAddress, "me@xy", {created}, true},
        {"left without typing", "owner@jabber.example.org", RBRemoteChatAddress, "", {}, false},
        {"host typed equal to remote", "owner@jabber.example.org", RBHostChatAddress, "owner@jabber.example.org", {duplicate}, false},
        {"button without an account", "", "forceChatScript", "", {noAccount}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        alerts.alerts.clear();
        QFile::remove(controller->chatScriptPath());
        preferences.remove(RBHostChatAddress);
        if (c.remote.isEmpty())
            preferences.remove(RBRemoteChatAddress);
        else
            preferences.setValue(RBRemoteChatAddress, c.remote);
        start();
        window->selectTab("chat");
        if (auto *button = window->findChild<QPushButton *>(c.field)) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            QLineEdit *field = control<QLineEdit>(c.field);
            field->clear();
            type(field, c.typed);
            QTest::keyClick(field, Qt::Key_Return);
        }
        EXPECT_EQ(alerts.alerts, c.alerts);
        EXPECT_EQ(QFile::exists(controller->chatScriptPath()), c.scriptWritten);
    }
}

TEST_F(SettingsWindowTest, EachHelpButtonOpensItsPageInTheHelpViewer)
{
    const QList<QPair<QString, QString>> pages = {
        {"computer", "html/computer_tab.html"}, {"ped", "html/ped_tab.html"},       {"sec", "html/security_tab.html"},
        {"chat", "html/chat_tab.html"},         {"custom", "html/custom_tab.html"}, {"isight", "html/isight_tab.html"},
    };
    start();
    EXPECT_EQ(window->tabIdentifiers(), (QStringList{"computer", "ped", "sec", "chat", "custom", "isight"}));
    for (const auto &[tab, page] : pages) {
        help->hide();
        window->selectTab(tab);
        QTest::mouseClick(control<QPushButton>("help_" + tab), Qt::LeftButton);
        EXPECT_TRUE(help->isVisible()) << tab.toStdString();
        EXPECT_EQ(help->currentPage(), controller->helpBookFolder() + '/' + page);
        EXPECT_FALSE(help->browser()->documentTitle().isEmpty()) << page.toStdString();
    }
    EXPECT_EQ(help->windowTitle(), "Wendle Help");
}

TEST_F(SettingsWindowTest, TheConfigurationPageOpensByItselfOnTheFirstStartOnly)
{
    start();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->currentPage(), controller->helpBookFolder() + "/html/configuring.html");
    EXPECT_EQ(preferences.value(RBFirstTimeLaunching), QVariant(false));

    help->hide();
    window.reset();
    controller = std::make_unique<Controller>(platform);
    window = std::make_unique<SettingsWindow>(*controller, preferences);
    start();
    EXPECT_FALSE(help->isVisible());
}

TEST_F(SettingsWindowTest, TheStampColourWellShowsTheStoredColourOrKeepsItsOwn)
{
    const std::pair<QByteArray, QColor> cases[] = {
        {"#ff0000ff", QColor(0, 0, 255)}, {"not a colour", QColor(0, 0, 255)}, {"#80ff8000", QColor(255, 128, 0, 128)}};
    for (const auto &[stored, shown] : cases) {
        preferences.setValue(RBiSightStampColor, stored);
        controller->awakeFromNib(window.get());
        EXPECT_EQ(control<QPushButton>("stampColorWell")->property("color").value<QColor>(), shown) << stored.constData();
    }
}

TEST_F(SettingsWindowTest, EveryTabIsPhotographedForReview)
{
    // The camera tab with its preview running.
    useTestPattern();
    preferences.setValue(RBEnableiSightMotion, true);
    start();
    QDir().mkpath(WENDLE_SCREENSHOT_DIR);
    for (const QString &tab : window->tabIdentifiers()) {
        window->selectTab(tab);
        if (tab == "isight")
            shownFrame(controller->movieView());
        const QString file = QStringLiteral(WENDLE_SCREENSHOT_DIR "/settings-%1.png").arg(tab);
        QFile::remove(file);
        EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
        EXPECT_GT(QImage(file).width(), 400);
    }
}

} // namespace

// The window shows each key the table places on a tab, on that tab, within
// the table's range; no control stands for a key the table places elsewhere.
TEST_F(SettingsWindowTest, ControlsFollowTheSettingsTable)
{
    const QHash<QString, QString> ownControls = {
        {RBDefaultFaxModem, "faxModemDropdown"}, {RBiSightStampColor, "stampColorWell"}, {RBCustomCommands, "libraryTable"}};
    for (const SettingInfo &info : knownSettings()) {
        const std::string key = info.key.toStdString();
        QWidget *control = window->findChild<QWidget *>(ownControls.value(info.key, info.key));
        if (!info.tab) {
            EXPECT_EQ(control, nullptr) << key;
            continue;
        }
        ASSERT_NE(control, nullptr) << key;
        EXPECT_TRUE(window->findChild<QWidget *>(info.tab)->isAncestorOf(control)) << key << " on " << info.tab;
        const auto [minimum, maximum] = settingRange(info);
        // A number says what it counts; only a fraction has no unit.
        const bool unitless = info.bounds.rule == SettingRule::Fraction;
        if (auto *box = qobject_cast<QSpinBox *>(control)) {
            EXPECT_EQ(QPair(double(box->minimum()), double(box->maximum())), QPair(minimum, std::min(maximum, double(INT_MAX)))) << key;
            EXPECT_EQ(box->suffix().isEmpty(), unitless) << key;
        }
        if (auto *box = qobject_cast<QDoubleSpinBox *>(control)) {
            EXPECT_EQ(QPair(box->minimum(), box->maximum()), QPair(minimum, maximum)) << key;
            EXPECT_EQ(box->suffix().isEmpty(), unitless) << key;
        }
        if (auto *box = qobject_cast<QComboBox *>(control); box && info.key != RBDefaultFaxModem) {
            EXPECT_EQ(box->itemText(0), settingChoices(info.key).value(0)) << key;
        }
    }
}
