#pragma once

#include "app/Controller.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/scripts/ScriptRunner.h"
#include "resources/Resources.h"
#include "support/Doubles.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace wendle::test {

// A Controller wired to recording doubles, the real resources and a support
// folder of its own.
class ControllerFixture : public ::testing::Test {
protected:
    ControllerFixture()
        : resources(QStringLiteral(WENDLE_SOURCE_RESOURCES))
        , platform{preferences, clock,         scheduler, console, random,
                   mail,        chat,          workspace, alerts,  resources,
                   search,      scripts,       processes, camera,  supportDir.path() + QLatin1String("/wendle"),
                   nullptr,     &notifications}
    {
        // The owner's own addresses: the example ones of the defaults give no commands.
        preferences.setValue(QStringLiteral("remoteEmailAddress"), QStringLiteral("owner@example.org"));
        preferences.setValue(QStringLiteral("phoneEmailAddress"), QStringLiteral("5551234567@txt.example.org"));
        controller = std::make_unique<Controller>(platform);
    }

    // The text of the activity log, or empty when there is none.
    QString logText() const { return QString::fromUtf8(readFile(platform.supportFolder + QLatin1String("/wendle.log"))); }

    // The entry texts of the log, without their time stamps.
    QStringList logEntries() const
    {
        static const QRegularExpression stamp(QStringLiteral("\n\\d{4}-\\d{2}-\\d{2} \\(\\d{2}:\\d{2}:\\d{2}\\): "));
        return logText().split(stamp).mid(1); // the header goes
    }

    QTemporaryDir supportDir;
    MemoryPreferences preferences;
    ManualClock clock;
    ManualScheduler scheduler;
    RecordingConsole console;
    ScriptedRandom random;
    RecordingMailTransport mail;
    RecordingChatTransport chat;
    RecordingWorkspace workspace;
    RecordingAlerts alerts;
    RecordingSearch search;
    ProcessScriptRunner scripts;
    RecordingProcessLauncher processes;
    RecordingDeskNotifications notifications;
    GStreamerFrameSource camera;
    Resources resources;
    Platform platform;
    std::unique_ptr<Controller> controller;
};

} // namespace wendle::test
