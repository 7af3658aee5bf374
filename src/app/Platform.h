#pragma once

#include <QString>

namespace wendle {

class Preferences;
class Clock;
class Scheduler;
class Console;
class RandomSource;
class MailTransport;
class ChatTransport;
class Workspace;
class Alerts;
class Resources;
class MetadataSearch;
class ScriptRunner;
class ProcessLauncher;
class FrameSource;
class HelpViewer;
class DeskNotifications;

// The platform services the Controller works through; main() wires the Linux
// adapters, tests wire doubles.
struct Platform {
    Preferences &preferences;
    Clock &clock;
    Scheduler &scheduler;
    Console &console;
    RandomSource &random;
    MailTransport &mail;
    ChatTransport &chat;
    Workspace &workspace;
    Alerts &alerts;
    Resources &resources;
    MetadataSearch &search;
    ScriptRunner &scripts;
    ProcessLauncher &processes;
    FrameSource &camera;
    QString supportFolder;                      // log, old log, snapshot, outbox
    HelpViewer *help = nullptr;                 // none when headless
    DeskNotifications *notifications = nullptr; // none: nobody at the desk is told of commands
};

} // namespace wendle
