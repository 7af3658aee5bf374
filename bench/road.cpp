#include "road.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace wendle::bench {

namespace {

std::vector<std::string> environmentStrings(const QProcessEnvironment &environment)
{
    std::vector<std::string> strings;
    for (const QString &entry : environment.toStringList())
        strings.push_back(entry.toStdString());
    return strings;
}

} // namespace

double nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long long environmentNumber(const char *name, long long fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::atoll(value) : fallback;
}

// ---- Spawned ----------------------------------------------------------------

Spawned::~Spawned()
{
    if (m_pid > 0) {
        ::kill(pid_t(m_pid), SIGTERM);
        wait(10000);
    }
}

bool Spawned::start(const QStringList &command, const QProcessEnvironment &environment, const QString &inputFile, const QString &outputFile)
{
    std::vector<std::string> arguments;
    for (const QString &argument : command)
        arguments.push_back(argument.toStdString());
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environmentText = environmentStrings(environment);
    std::vector<char *> envp;
    for (std::string &entry : environmentText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string input = inputFile.isEmpty() ? std::string("/dev/null") : inputFile.toStdString();
    const std::string output = outputFile.isEmpty() ? std::string("/dev/null") : outputFile.toStdString();
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int failed = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    m_pid = failed ? 0 : pid;
    return !failed;
}

int Spawned::wait(int limitMs)
{
    if (m_pid <= 0)
        return -1;
    const double until = nowMs() + limitMs;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid_t(m_pid), &status, WNOHANG);
        if (done == pid_t(m_pid))
            break;
        if (done < 0) {
            m_pid = 0;
            return -1;
        }
        if (nowMs() > until) {
            ::kill(pid_t(m_pid), SIGKILL);
            ::waitpid(pid_t(m_pid), &status, 0);
            m_pid = 0;
            return -2;
        }
        ::usleep(200);
    }
    m_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Finished runToEnd(const QStringList &command, const QProcessEnvironment &environment, bool keepOutput, const QString &inputFile)
{
    Finished finished;
    QTemporaryDir scratch;
    const QString output = keepOutput ? scratch.filePath(QStringLiteral("output")) : QString();
    Spawned process;
    const double start = nowMs();
    if (!process.start(command, environment, inputFile, output))
        return finished;
    finished.exitCode = process.wait();
    finished.ms = nowMs() - start;
    if (keepOutput) {
        QFile file(output);
        if (file.open(QIODevice::ReadOnly))
            finished.output = file.readAll();
    }
    return finished;
}

// ---- FolderWatch ------------------------------------------------------------

FolderWatch::FolderWatch(const QString &folder, const QString &suffix) : m_suffix(suffix.toUtf8())
{
    QDir().mkpath(folder);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0 && ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderWatch::~FolderWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderWatch::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            return;
        const double seen = nowMs();
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            const QByteArray name = event->len ? QByteArray(event->name) : QByteArray();
            if (name.endsWith(m_suffix) && !m_names.contains(name)) {
                m_names.insert(name);
                m_seen.push_back(seen);
            }
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

void FolderWatch::clear()
{
    readEvents();
    m_seen.clear();
}

std::optional<double> FolderWatch::next(int timeoutMs)
{
    const double until = nowMs() + timeoutMs;
    while (m_seen.empty()) {
        const double left = until - nowMs();
        if (left <= 0 || m_fd < 0)
            return std::nullopt;
        pollfd descriptor{m_fd, POLLIN, 0};
        ::poll(&descriptor, 1, int(left) + 1);
        readEvents();
    }
    const double seen = m_seen.front();
    m_seen.erase(m_seen.begin());
    return seen;
}

// ---- OutputWatch ------------------------------------------------------------

OutputWatch::~OutputWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OutputWatch::start(const QStringList &command, const QProcessEnvironment &environment)
{
    // A named pipe carries the output, so the program is started like any other.
    static int serial = 0;
    const QString fifo = QDir::temp().filePath(QStringLiteral("wendle-road-%1-%2.fifo").arg(::getpid()).arg(++serial));
    QFile::remove(fifo);
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
        return false;
    m_fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const bool started = m_fd >= 0 && m_process.start(command, environment, QString(), fifo);
    QFile::remove(fifo);
    return started;
}

std::optional<double> OutputWatch::next(const QByteArray &text, int timeoutMs)
{
    const double until = nowMs() + timeoutMs;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            if (line.contains(text))
                return nowMs();
            continue;
        }
        const double left = until - nowMs();
        if (left <= 0 || m_fd < 0)
            return std::nullopt;
        pollfd descriptor{m_fd, POLLIN, 0};
        ::poll(&descriptor, 1, int(left) + 1);
        char chunk[4096];
        const ssize_t length = ::read(m_fd, chunk, sizeof chunk);
        if (length > 0) {
            m_buffer.append(chunk, length);
            m_all.append(chunk, length);
        } else if (length == 0) {
            ::usleep(1000); // no writer yet, or it is gone
        }
    }
}

// ---- WendleDaemon -----------------------------------------------------------

WendleDaemon::WendleDaemon(const QString &binary, const QString &parent) : m_binary(binary)
{
    const QString base = parent.isEmpty() ? QDir::tempPath() : parent;
    QByteArray pattern = QFile::encodeName(base + QStringLiteral("/wendle-road-XXXXXX"));
    if (::mkdtemp(pattern.data()))
        m_home = QFile::decodeName(pattern);
    // The address is the only line dbus-daemon prints.
    const QString addressFile = m_home + QStringLiteral("/bus-address");
    if (m_home.isEmpty()
        || !m_busDaemon.start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, QProcessEnvironment::systemEnvironment(),
                              QString(), addressFile))
        return;
    for (int i = 0; i < 500 && m_bus.isEmpty(); ++i, ::usleep(10000)) {
        QFile file(addressFile);
        if (file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n')) {
            file.seek(0);
            m_bus = QString::fromUtf8(file.readAll()).trimmed();
        }
    }
    // The owner's own addresses: the example ones of the defaults give no commands.
    QFile::setPermissions(m_home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(m_home + QStringLiteral("/config/wendle"));
    QFile settings(m_home + QStringLiteral("/config/wendle/wendle.conf"));
    if (settings.open(QIODevice::WriteOnly))
        settings.write("[General]\nremoteEmailAddress=owner@example.org\nphoneEmailAddress=5551234567@txt.example.org\n");
}

WendleDaemon::~WendleDaemon()
{
    stop();
    if (m_busDaemon.running()) {
        ::kill(pid_t(m_busDaemon.pid()), SIGTERM);
        m_busDaemon.wait(10000);
    }
    if (!m_home.isEmpty())
        QDir(m_home).removeRecursively();
}

QProcessEnvironment WendleDaemon::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (auto it = m_overrides.cbegin(); it != m_overrides.cend(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

QStringList WendleDaemon::wendle(const QStringList &arguments) const
{
    return QStringList{m_binary} + arguments;
}

bool WendleDaemon::configure(const QString &key, const QString &value) const
{
    return runToEnd(wendle({"config", "set", key, value}), environment()).exitCode == 0;
}

bool WendleDaemon::start()
{
    if (!busReady() || !m_daemon.start(wendle({"run", "--headless"}), environment()))
        return false;
    for (int i = 0; i < 3000; ++i, ::usleep(10000)) {
        QFile log(supportFolder() + QStringLiteral("/wendle.log"));
        if (log.open(QIODevice::ReadOnly) && log.readAll().contains("Wendle started"))
            return true;
        int status = 0;
        if (::waitpid(pid_t(m_daemon.pid()), &status, WNOHANG) == pid_t(m_daemon.pid()))
            return false;
    }
    return false;
}

void WendleDaemon::stop()
{
    if (!m_daemon.running())
        return;
    ::kill(pid_t(m_daemon.pid()), SIGTERM);
    m_daemon.wait(30000);
}

// ---- roads -----------------------------------------------------------------

std::optional<double> replyRoad(FolderWatch &replies, const QStringList &command, const QProcessEnvironment &environment,
                                const QString &inputFile)
{
    replies.clear();
    Spawned process;
    const double start = nowMs();
    if (!process.start(command, environment, inputFile))
        return std::nullopt;
    const std::optional<double> answered = replies.next(ReplyWaitMs);
    const int exitCode = process.wait();
    if (!answered || exitCode != 0)
        return std::nullopt;
    return *answered - start;
}

namespace {

// One SMTP reply, its last line included: its code, or 0 when the connection ended.
int smtpReply(int socket, QByteArray &buffer)
{
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n");
        if (end >= 0) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 2);
            if (line.size() >= 4 && line[3] == '-')
                continue;
            return line.left(3).toInt();
        }
        char chunk[4096];
        const ssize_t length = ::recv(socket, chunk, sizeof chunk, 0);
        if (length <= 0)
            return 0;
        buffer.append(chunk, length);
    }
}

} // namespace

bool smtpDeliver(quint16 port, const QByteArray &from, const QByteArray &to, const QByteArray &message)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval limit{30, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray buffer;
    const auto say = [&](const QByteArray &line, int expected) {
        const QByteArray bytes = line + "\r\n";
        return ::send(socket, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size()
               && smtpReply(socket, buffer) / 100 == expected / 100;
    };
    QByteArray body = message;
    body.replace("\r\n.", "\r\n..");
    if (!body.endsWith("\r\n"))
        body += "\r\n";
    const bool accepted = ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
                          && smtpReply(socket, buffer) == 220 && say("EHLO bench.example.org", 250) && say("MAIL FROM:<" + from + ">", 250)
                          && say("RCPT TO:<" + to + ">", 250) && say("DATA", 354) && say(body + ".", 250);
    if (accepted)
        say("QUIT", 221);
    ::close(socket);
    return accepted;
}

std::optional<double> processRoad(const QStringList &command, const QProcessEnvironment &environment, int worstExitCode)
{
    const Finished finished = runToEnd(command, environment);
    if (finished.exitCode < 0 || finished.exitCode > worstExitCode)
        return std::nullopt;
    return finished.ms;
}

// ---- figures ----------------------------------------------------------------

Spread spreadOf(std::vector<double> values)
{
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) { return values[std::min(values.size() - 1, size_t(share * double(values.size())))]; };
    spread.median = at(0.5);
    spread.p10 = at(0.1);
    spread.p90 = at(0.9);
    return spread;
}

std::vector<RoadFigures> runPaired(const std::vector<Road> &roads, int rounds, const std::function<void()> &between)
{
    std::vector<RoadFigures> figures;
    for (const Road &road : roads)
        figures.push_back({road.name, {}, 0});
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < roads.size(); ++i) {
            const size_t which = (i + size_t(round)) % roads.size();
            if (between)
                between();
            const std::optional<double> ms = roads[which].run();
            if (ms)
                figures[which].ms.push_back(*ms);
            else
                ++figures[which].missing;
        }
    }
    return figures;
}

void printFigures(const QString &title, const std::vector<RoadFigures> &figures)
{
    std::printf("%s\n", qPrintable(title));
    if (figures.empty())
        return;
    const Spread first = spreadOf(figures.front().ms);
    for (size_t i = 0; i < figures.size(); ++i) {
        const RoadFigures &road = figures[i];
        const Spread spread = spreadOf(road.ms);
        std::printf("  %-50s median %8.2f ms   p10 %8.2f   p90 %8.2f   (%zu runs", qPrintable(road.name), spread.median, spread.p10,
                    spread.p90, road.ms.size());
        if (road.missing)
            std::printf(", %d WITHOUT AN ANSWER", road.missing);
        std::printf(")");
        if (i > 0 && spread.median > 0)
            std::printf("   first/this %.2f×", first.median / spread.median);
        std::printf("\n");
    }
    std::fflush(stdout);
}

} // namespace wendle::bench
