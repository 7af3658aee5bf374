#include "app/Settings.h"
#include "support/ControllerFixture.h"

using namespace wendle;
using namespace wendle::test;

TEST_F(ControllerFixture, SnapshotWithCameraOffIsOnlyLogged)
{
    controller->setCommandTextHandler([](const QByteArray &) {});
    controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
    controller->takeSnapshotAndEmailTo(QStringLiteral("boss@example.com"));
    EXPECT_EQ(logEntries().last(), QStringLiteral("Snapshot requested, but the camera features are turned off"));
    EXPECT_TRUE(mail.sent.isEmpty());
    EXPECT_TRUE(controller->lastCCAddress().isNull());

    preferences.setValue(RBLogData, false);
    const QString before = logText();
    controller->takeSnapshotAndEmailTo(QString());
    EXPECT_EQ(logText(), before);
    EXPECT_EQ(scheduler.pending(), 0u);
}
