#pragma once

#include "app/window/SettingsWindow.h"
#include "camera/RBMovieView.h"
#include "platform/help/HelpBrowser.h"
#include "settings/Settings.h"
#include "support/ControllerFixture.h"
#include "support/QtApplication.h"
#include "support/WaitFor.h"

#include <QLineEdit>
#include <QTest>

namespace wendle::test {

// The real settings window and help viewer around a Controller on recording
// doubles, drawn on Qt's offscreen platform.
class SettingsWindowTest : public ControllerFixture {
protected:
    SettingsWindowTest()
    {
        ensureQtApplication();
        help = std::make_unique<HelpBrowser>();
        platform.help = help.get();
        controller = std::make_unique<Controller>(platform);
        window = std::make_unique<SettingsWindow>(*controller, preferences);
    }
    ~SettingsWindowTest() override
    {
        window.reset();
        controller.reset();
    }

    // Starts up the way Wendle does: window wired, then shown.
    void start()
    {
        controller->awakeFromNib(window.get());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename Widget> Widget *control(const QString &name) const
    {
        auto *widget = window->findChild<Widget *>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    // The camera is the test pattern, and the first start is over.
    void useTestPattern()
    {
        preferences.setValue(RBFirstTimeLaunching, false);
        preferences.setValue(RBCameraSource, "videotestsrc pattern=smpte ! video/x-raw,width=320,height=240");
        preferences.setValue(RBEnableiSight, true);
    }

    // Lets the view's update timer run until a frame shows (the pattern
    // delivers in real time), at most two seconds.
    QImage shownFrame(RBMovieView *view)
    {
        waitFor(
            [&] {
                scheduler.advance(std::chrono::milliseconds(20));
                return !view->image().isNull();
            },
            2000);
        return view->image();
    }

    // Types text the way a keyboard does, one character at a time.
    static void type(QWidget *field, const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    std::unique_ptr<HelpBrowser> help;
    std::unique_ptr<SettingsWindow> window;
};

} // namespace wendle::test
