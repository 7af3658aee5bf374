#pragma once

#include "app/Controller.h"
#include "platform/camera/GStreamerFrameSource.h"
#include "platform/clock/Clock.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/scripts/ScriptRunner.h"
#include "resources/Resources.h"
#include "support/Doubles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace wendle::test {

// A Controller on the real clock, scheduler and script runner, with recording
// doubles for the mail, chat and alerts it sends; each test brings the
// workspace, search and process launcher it means to exercise.
class LiveControllerTest : public ::testing::Test {
protected:
    // Starts the controller and makes owner@example.org its remote sender.
    void startController(Workspace &workspace, MetadataSearch &search, ProcessLauncher &processes)
    {
        controller = std::make_unique<Controller>(Platform{preferences, clock, scheduler, console, random, mail, chat, workspace, alerts,
                                                           resources, search, scripts, processes, camera, support.filePath("wendle")});
        controller->setCommandTextHandler([](const QByteArray &) {});
        preferences.setValue(QStringLiteral("remoteEmailAddress"), QStringLiteral("owner@example.org"));
        controller->processEmailFrom("owner@example.org", "wndl", QVariant());
    }
    // The controller goes before the derived fixture's parts it refers to.
    void TearDown() override { controller.reset(); }

    QTemporaryDir support;
    MemoryPreferences preferences;
    SystemClock clock;
    QtScheduler scheduler;
    RecordingConsole console;
    ScriptedRandom random;
    RecordingMailTransport mail;
    RecordingChatTransport chat;
    RecordingAlerts alerts;
    Resources resources{QStringLiteral(WENDLE_SOURCE_RESOURCES)};
    ProcessScriptRunner scripts;
    GStreamerFrameSource camera;
    std::unique_ptr<Controller> controller;
};

} // namespace wendle::test
