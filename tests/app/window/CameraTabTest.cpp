#include "app/window/SettingsWindowFixture.h"

#include <QPushButton>

using namespace wendle;
using namespace wendle::test;

namespace {

class CameraTabTest : public SettingsWindowTest {
protected:
    CameraTabTest() { useTestPattern(); }
};

} // namespace

// The tab shows the Controller's preview, started by the motion watch at
// start or by the tab's button; the window lends the view and gives it back.
TEST_F(CameraTabTest, TheCameraTabShowsTheControllersPreview)
{
    // the motion watch on at start, the preview button pressed, the Controller destroyed first
    const std::tuple<const char *, bool, bool, bool> cases[] = {
        {"watch on at start", true, false, false},
        {"preview button", false, true, false},
        {"controller destroyed first", true, false, true},
    };
    for (const auto &[name, motion, pressStart, controllerFirst] : cases) {
        SCOPED_TRACE(name);
        window.reset();
        controller = std::make_unique<Controller>(platform);
        window = std::make_unique<SettingsWindow>(*controller, preferences);
        preferences.setValue(RBEnableiSightMotion, motion);
        start();
        window->selectTab("isight");
        QPointer<RBMovieView> view = controller->movieView();
        EXPECT_TRUE(window->findChild<QWidget *>("isight")->isAncestorOf(view));
        EXPECT_TRUE(view->isVisible());
        if (pressStart)
            QTest::mouseClick(control<QPushButton>("startPreview"), Qt::LeftButton);
        EXPECT_EQ(shownFrame(view).size(), QSize(320, 240));

        if (controllerFirst) {
            controller.reset();
            EXPECT_TRUE(view.isNull());
            window.reset();
            continue;
        }
        window.reset();
        ASSERT_FALSE(view.isNull());
        EXPECT_EQ(view->parentWidget(), nullptr);
        EXPECT_FALSE(view->isVisible());
        EXPECT_EQ(controller->movieView(), view.data());
        // Headless again, it still hands out frames.
        EXPECT_EQ(view->grabFrame().size(), QSize(320, 240));
    }
}

TEST_F(CameraTabTest, ThePreviewButtonFollowsTheCameraSwitch)
{
    start();
    auto *button = control<QPushButton>("startPreview");
    EXPECT_TRUE(button->isEnabled());
    preferences.setValue(RBEnableiSight, false); // as `wendle config set` does
    window->refresh();
    EXPECT_FALSE(button->isEnabled());
}
