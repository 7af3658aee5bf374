#pragma once

// Test doubles for the platform services: they record what leaves the
// Controller and let tests move time by hand.

#include "platform/alerts/Alerts.h"
#include "platform/chat/ChatTransport.h"
#include "platform/clock/Clock.h"
#include "platform/console/Console.h"
#include "platform/mail/MailTransport.h"
#include "platform/notifications/DeskNotifications.h"
#include "platform/preferences/Preferences.h"
#include "platform/process/ProcessLauncher.h"
#include "platform/random/RandomSource.h"
#include "platform/scheduler/Scheduler.h"
#include "platform/search/MetadataSearch.h"
#include "platform/workspace/Workspace.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <map>

namespace wendle::test {

class MemoryPreferences : public Preferences {
public:
    void registerDefaults(const QVariantMap &defaults) override { m_defaults.insert(defaults); }
    QVariant value(const QString &key) const override { return m_stored.contains(key) ? m_stored.value(key) : m_defaults.value(key); }
    void setValue(const QString &key, const QVariant &value) override { m_stored.insert(key, value); }
    void remove(const QString &key) override { m_stored.remove(key); }
    QStringList storedKeys() const override { return m_stored.keys(); }
    QVariantMap registeredDefaults() const override { return m_defaults; }

private:
    QVariantMap m_defaults;
    QVariantMap m_stored;
};

class ManualClock : public Clock {
public:
    ManualClock() : m_now(QDateTime(QDate(2026, 12, 4), QTime(13, 35, 31))) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &now) { m_now = now; }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

// Timers fire only when the test advances time; they fire in due order.
class ManualScheduler : public Scheduler {
public:
    TimerId schedule(std::chrono::milliseconds interval, bool repeating, std::function<void()> action) override;
    void cancel(TimerId id) override { m_timers.erase(id); }
    void advance(std::chrono::milliseconds step);
    size_t pending() const { return m_timers.size(); }

private:
    struct Timer {
        std::chrono::milliseconds due;
        std::chrono::milliseconds interval;
        bool repeating;
        std::function<void()> action;
    };
    std::map<TimerId, Timer> m_timers;
    std::chrono::milliseconds m_now{0};
    TimerId m_next = 1;
};

class RecordingConsole : public Console {
public:
    void writeLine(const QString &line) override { lines << line; }
    QStringList lines;
};

// Hands out a fixed sequence, then repeats its last value.
class ScriptedRandom : public RandomSource {
public:
    void seed(unsigned int) override {}
    long next() override
    {
        if (values.isEmpty())
            return 47;
        return values.size() > 1 ? values.takeFirst() : values.first();
    }
    QList<long> values;
};

// Records each message with its script; send() answers `accept`.
template <typename Transport, typename Message, typename Sent> class RecordingTransport : public Transport {
public:
    bool send(const Message &message, const QString &script) override
    {
        sent.append({message, script});
        return accept;
    }
    QList<Sent> sent;
    bool accept = true;
};

struct SentMail {
    OutgoingMail mail;
    QString script;
};
using RecordingMailTransport = RecordingTransport<MailTransport, OutgoingMail, SentMail>;

struct SentChat {
    OutgoingChat chat;
    QString script;
};
class RecordingChatTransport : public RecordingTransport<ChatTransport, OutgoingChat, SentChat> {
public:
    QString state() const override { return stateText; }
    QString stateText;
};

class RecordingWorkspace : public Workspace {
public:
    bool openFile(const QString &path) override
    {
        opened << path;
        return true;
    }
    bool openApplication(const ApplicationRequest &application, const QString &script) override
    {
        applications << application;
        scripts << script;
        return applicationOpens;
    }
    QStringList opened;
    QList<ApplicationRequest> applications;
    QStringList scripts;
    bool applicationOpens = true;
};

// Each alert as "title|message", its style and button title beside it.
class RecordingAlerts : public Alerts {
public:
    void showAlert(const QString &title, const QString &message, AlertStyle style, const QString &buttonTitle) override
    {
        alerts << title + u'|' + message;
        styles << style;
        buttonTitles << buttonTitle;
    }
    QStringList alerts;
    QList<AlertStyle> styles;
    QStringList buttonTitles;
};

// Each notice as "summary|body".
class RecordingDeskNotifications : public DeskNotifications {
public:
    void notify(const QString &summary, const QString &body) override { notices << summary + u'|' + body; }
    QStringList notices;
};

// Records the processes run and started; run() answers with the output a
// test set for that program, startDetached() and start() with `starts`.
class RecordingProcessLauncher : public ProcessLauncher {
public:
    ProcessOutput run(const QString &program, const QStringList &arguments, int) override
    {
        ran << (QStringList{program} + arguments);
        return outputs.value(program, ProcessOutput{});
    }
    bool startDetached(const QString &, const QStringList &) override { return starts; }
    // Started ones end when the test calls finishStarted.
    bool start(const QString &program, const QStringList &arguments, Finished finished, int) override
    {
        started << (QStringList{program} + arguments);
        if (starts)
            unfinished.push_back(std::move(finished));
        return starts;
    }
    void finishStarted(const ProcessOutput &output)
    {
        for (const Finished &finished : std::exchange(unfinished, {}))
            finished(output);
    }
    QList<QStringList> ran;
    QList<QStringList> started;
    std::vector<Finished> unfinished;
    bool starts = true;
    QHash<QString, ProcessOutput> outputs;
};

// Records each query and finishes it when the test says so.
class RecordingSearch : public MetadataSearch {
public:
    bool start(const QString &queryText, SearchScope scope, qsizetype listLength, std::function<void(const QList<SearchHit> &)> onFinished,
               QString *error) override
    {
        queries << queryText;
        scopes << scope;
        listLengths << listLength;
        if (!refusal.isEmpty()) {
            *error = refusal;
            return false;
        }
        m_onFinished = onFinished;
        everyCallback << onFinished;
        return true;
    }
    void cancel() override
    {
        ++cancelled;
        m_onFinished = nullptr;
    }
    // Delivers the hits to the running search, if any.
    bool finish(const QList<SearchHit> &hits)
    {
        const auto onFinished = std::exchange(m_onFinished, nullptr);
        if (onFinished)
            onFinished(hits);
        return bool(onFinished);
    }
    QStringList queries;
    QList<SearchScope> scopes;
    QList<qsizetype> listLengths;
    QString refusal;
    int cancelled = 0;
    // Every completion callback handed over, cancelled ones included.
    QList<std::function<void(const QList<SearchHit> &)>> everyCallback;

private:
    std::function<void(const QList<SearchHit> &)> m_onFinished;
};

} // namespace wendle::test
