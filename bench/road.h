#pragma once

// The black-box road harness every road bench uses: it starts a command the
// way the owner's side does (`wendle send`, `wendle deliver`, a mail server's
// delivery, a chat message), stops the clock when the reply is written (a new
// file in the outbox, seen by inotify, or the peer's own receipt), and prints
// medians and spreads of runs paired with the peers people use for the same
// job. Everything it times is a real process or a real server; nothing inside
// Wendle is called.

#include <QByteArray>
#include <QHash>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace wendle::bench {

// Monotonic time in milliseconds.
double nowMs();

// ---- running programs -----------------------------------------------------

// A program started with an argument vector (never a shell line): standard
// input from a file or nothing, standard output into a file or nothing.
class Spawned {
public:
    Spawned() = default;
    Spawned(const Spawned &) = delete;
    Spawned &operator=(const Spawned &) = delete;
    ~Spawned();
    bool start(const QStringList &command, const QProcessEnvironment &environment, const QString &inputFile = {},
               const QString &outputFile = {});
    // Waits for the end; the exit code, -1 when killed, -2 past the limit (then killed).
    int wait(int limitMs = 60000);
    qint64 pid() const { return m_pid; }
    bool running() const { return m_pid > 0; }

private:
    qint64 m_pid = 0;
};

// Runs a command to its end: its exit code and how long it took, and its
// output when asked for.
struct Finished {
    int exitCode = -1;
    double ms = 0;
    QByteArray output;
};
Finished runToEnd(const QStringList &command, const QProcessEnvironment &environment, bool keepOutput = false,
                  const QString &inputFile = {});

// ---- where replies land ---------------------------------------------------

// Watches one folder for files that are complete, whose names end in suffix:
// moved in whole (IN_MOVED_TO, a save through a named temporary file), linked
// in whole (IN_CREATE of the final name: QSaveFile on Linux writes an unnamed
// O_TMPFILE and links it in when it is complete) or written and closed
// (IN_CLOSE_WRITE). Each name counts once, at its first event. Made before
// the command starts, so no reply is missed.
class FolderWatch {
public:
    explicit FolderWatch(const QString &folder, const QString &suffix = QStringLiteral(".eml"));
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;
    bool ok() const { return m_fd >= 0; }
    // Forgets the files seen so far.
    void clear();
    // Waits until a new complete file is there: the time it was seen
    // (nowMs()), or nothing after timeoutMs.
    std::optional<double> next(int timeoutMs);
    // The names seen and not yet taken by next().
    int pending() const { return int(m_seen.size()); }

private:
    void readEvents();
    int m_fd = -1;
    QByteArray m_suffix;
    std::vector<double> m_seen;
    QSet<QByteArray> m_names;
};

// Watches a program's standard output (a chat client listening for the
// owner) for lines holding a text.
class OutputWatch {
public:
    ~OutputWatch();
    bool start(const QStringList &command, const QProcessEnvironment &environment);
    // Waits for a new line holding `text`: the time it was read, or nothing.
    std::optional<double> next(const QByteArray &text, int timeoutMs);
    QByteArray seen() const { return m_all; }

private:
    Spawned m_process;
    int m_fd = -1;
    QByteArray m_buffer;
    QByteArray m_all;
};

// ---- a running Wendle -----------------------------------------------------

// `wendle run --headless` with its own session bus (a dbus-daemon of its own)
// and its home in a private folder under `parent`.
class WendleDaemon {
public:
    explicit WendleDaemon(const QString &binary, const QString &parent = QString());
    ~WendleDaemon();
    bool busReady() const { return !m_bus.isEmpty(); }
    QString binary() const { return m_binary; }
    QString home() const { return m_home; }
    QString supportFolder() const { return m_home + QStringLiteral("/data/wendle"); }
    QString outbox() const { return supportFolder() + QStringLiteral("/outbox"); }
    QString busAddress() const { return m_bus; }
    QProcessEnvironment environment() const;
    // One variable of its environment set otherwise (HOME on a tree to search,
    // XDG_CACHE_HOME on an index built before); call before start.
    void setEnvironment(const QString &name, const QString &value) { m_overrides.insert(name, value); }
    bool configure(const QString &key, const QString &value) const;
    // Starts it and waits until its log says it started.
    bool start();
    void stop();
    qint64 pid() const { return m_daemon.pid(); }
    // The command line of `wendle ARGS` in this session.
    QStringList wendle(const QStringList &arguments) const;

private:
    QString m_binary;
    QString m_home;
    QString m_bus;
    QHash<QString, QString> m_overrides;
    Spawned m_busDaemon;
    Spawned m_daemon;
};

// ---- roads and figures ----------------------------------------------------

// How long a road may take before its run counts as one without an answer.
constexpr int ReplyWaitMs = 30000;

// The road of a command a program hands to Wendle (`wendle send`, `wendle
// deliver` with the message on its standard input): from starting the
// program until the reply file is complete in the watched folder. The
// program must succeed too. Nothing when either fails.
std::optional<double> replyRoad(FolderWatch &replies, const QStringList &command, const QProcessEnvironment &environment,
                                const QString &inputFile = {});
// Hands a message to an SMTP server on loopback as a mail server would
// (EHLO, MAIL, RCPT, DATA): true when the server accepted it.
bool smtpDeliver(quint16 port, const QByteArray &from, const QByteArray &to, const QByteArray &message);

// A peer that answers by ending: from its start to its end, when its exit
// code is at most worstExitCode (grep and plocate say 1 for "none found").
std::optional<double> processRoad(const QStringList &command, const QProcessEnvironment &environment, int worstExitCode = 0);

// One way of doing the job, timed from its start to its answer. `run` starts
// the clock (nowMs()) just before it starts the command and returns the
// milliseconds until the answer, or nothing when no answer came.
struct Road {
    QString name;
    std::function<std::optional<double>()> run;
};

struct Spread {
    double median = 0;
    double p10 = 0;
    double p90 = 0;
};
Spread spreadOf(std::vector<double> values);

struct RoadFigures {
    QString name;
    std::vector<double> ms;
    int missing = 0; // runs that got no answer
};

// Runs every road once per round, `rounds` rounds, in an order that turns
// with each round so load from elsewhere hits all alike; `between` is called
// before each run (a pause, a refill).
std::vector<RoadFigures> runPaired(const std::vector<Road> &roads, int rounds, const std::function<void()> &between = {});

// Prints the figures: the first road is the whole road being measured and
// comes first; every other is its peer, with the ratio of the medians.
void printFigures(const QString &title, const std::vector<RoadFigures> &figures);

// The value of an environment variable as a number, or the default.
long long environmentNumber(const char *name, long long fallback);

} // namespace wendle::bench
