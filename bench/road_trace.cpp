// Where the time of the whole road goes: `wendle send ... wndl find named
// budget` to a running Wendle, until the reply file is in the outbox. Both
// processes run with WENDLE_TRACE set and print their steps (see
// src/platform/trace/RoadTrace.h); this program lines them up by the shared
// monotonic clock and prints, for each step, the median time since the
// client started.
//
//   build/bench/bench_road_trace [runs [files [folder [wendle-binary]]]]
//
// The home holds `files` small files (a few named budget) and the search
// index over them, built before the first run; the folder (default: the
// temporary folder) is where the home goes: on a tmpfs such as /dev/shm the
// syncs of the spool, the log and the outbox cost nothing, on a disk they
// show.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <vector>

namespace {

bool waitFor(const std::function<bool()> &condition, int milliseconds = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(2);
    }
    return true;
}

int run(const QString &binary, const QStringList &arguments, const QProcessEnvironment &env, QByteArray *output = nullptr,
        QByteArray *errors = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(binary, arguments);
    process.waitForFinished(60000);
    if (output)
        *output = process.readAllStandardOutput();
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitCode();
}

struct Step {
    double seconds;
    QByteArray name;
};

// The trace lines of one process's output, in their order.
std::vector<Step> traceSteps(const QByteArray &output)
{
    std::vector<Step> steps;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 4 || words[0] != "wendle-trace")
            continue;
        steps.push_back({words[1].toDouble(), line.mid(words[0].size() + words[1].size() + words[2].size() + 3)});
    }
    return steps;
}

void makeTree(const QString &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/tree/d%2").arg(root).arg(i / 500);
        if (i % 500 == 0)
            QDir().mkpath(folder);
        const QString name = i % 5000 == 7 ? QStringLiteral("budget-%1.txt").arg(i) : QStringLiteral("note-%1.txt").arg(i);
        QFile file(folder + u'/' + name);
        file.open(QIODevice::WriteOnly);
        file.write("some words\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 25;
    const int files = argc > 2 ? std::atoi(argv[2]) : 20000;
    const QString binary = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral(WENDLE_BINARY);
    QTemporaryDir home((argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath()) + QStringLiteral("/wendle-road-XXXXXX"));
    makeTree(home.path(), files);

    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon did not start\n");
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("XDG_CACHE_HOME", home.path() + "/cache");
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus.readLine()).trimmed());
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    for (const auto &[key, value] :
         std::map<QString, QString>{{"limitCommandsFlag", "no"}, {"limitSearchFlag", "yes"}, {"remoteEmailAddress", "owner@example.org"}})
        run(binary, {"config", "set", key, value}, env);

    const QString support = home.path() + "/data/wendle";
    QProcessEnvironment traced = env;
    traced.insert("WENDLE_TRACE", "1");
    QProcess wendle;
    wendle.setProcessEnvironment(traced);
    wendle.setStandardOutputFile(QProcess::nullDevice());
    wendle.setReadChannel(QProcess::StandardError);
    wendle.start(binary, {"run", "--headless"});
    QByteArray status;
    if (!waitFor([&] { return run(binary, {"status"}, env, &status) == 0 && status.contains("search index: ready"); }, 600000)) {
        std::fprintf(stderr, "wendle did not start or build its index:\n%s", status.constData());
        return 1;
    }
    while (wendle.waitForReadyRead(20)) {}
    wendle.readAllStandardError();

    QDir outbox(support + "/outbox");
    std::map<QByteArray, std::vector<double>> sinceStart;
    std::vector<QByteArray> order;
    std::vector<double> wholeRoad;
    int missing = 0;
    for (int i = 0; i < runs; ++i) {
        for (const QString &name : outbox.entryList(QDir::Files))
            outbox.remove(name);
        QElapsedTimer timer;
        timer.start();
        QByteArray clientErrors;
        run(binary, {"send", "--mail", "--from", "owner@example.org", "wndl", "find", "named", "budget"}, traced, nullptr, &clientErrors);
        if (!waitFor([&] { return !outbox.entryList(QDir::Files).isEmpty(); }, 20000)) {
            ++missing;
            continue;
        }
        wholeRoad.push_back(timer.nsecsElapsed() / 1e6);
        // The last log entry follows the reply.
        QThread::msleep(50);
        std::vector<Step> steps = traceSteps(clientErrors);
        while (wendle.waitForReadyRead(20)) {}
        const std::vector<Step> daemon = traceSteps(wendle.readAllStandardError());
        steps.insert(steps.end(), daemon.begin(), daemon.end());
        std::stable_sort(steps.begin(), steps.end(), [](const Step &a, const Step &b) { return a.seconds < b.seconds; });
        if (steps.empty())
            continue;
        std::map<QByteArray, int> seen;
        for (const Step &step : steps) {
            // A step met twice (two log entries) is counted as its own line.
            const int count = ++seen[step.name];
            const QByteArray name = count == 1 ? step.name : step.name + " #" + QByteArray::number(count);
            if (!sinceStart.count(name))
                order.push_back(name);
            sinceStart[name].push_back((step.seconds - steps.front().seconds) * 1000);
        }
    }
    wendle.terminate();
    wendle.waitForFinished();
    bus.terminate();
    bus.waitForFinished();

    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    };
    std::printf("wendle send ... wndl find named budget -> reply file; %d files, home in %s; %d runs (%d without a reply)\n", files,
                qPrintable(QFileInfo(home.path()).path()), runs, missing);
    std::printf("  whole road, as this program waits for it: median %7.3f ms\n", median(wholeRoad));
    std::printf("  step (median ms since the client started; runs that had the step)\n");
    std::sort(order.begin(), order.end(),
              [&](const QByteArray &a, const QByteArray &b) { return median(sinceStart[a]) < median(sinceStart[b]); });
    double previous = 0;
    for (const QByteArray &name : order) {
        const double at = median(sinceStart[name]);
        std::printf("  %8.3f  (+%7.3f)  %-45s %zu\n", at, at - previous, name.constData(), sinceStart[name].size());
        previous = at;
    }
    return missing == 0 ? 0 : 1;
}
