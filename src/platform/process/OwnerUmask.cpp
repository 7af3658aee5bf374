#include "platform/process/OwnerUmask.h"

#include <QFile>

#include <glib.h>
#include <sys/stat.h>

#include <vector>

namespace wendle {

namespace {

constexpr mode_t PrivateUmask = 077;
// What a process started by Wendle gets when Wendle never changed its own.
mode_t ownerUmask = 022;

} // namespace

void keepOwnFilesPrivate()
{
    ownerUmask = ::umask(PrivateUmask);
}

void restoreOwnerUmask()
{
    ::umask(ownerUmask);
}

bool startDetachedForOwner(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an
    // intermediate process that exits at once: nothing is left to reap.
    const auto flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    GError *error = nullptr;
    const bool started = g_spawn_async(
        nullptr, argv.data(), nullptr, flags, [](gpointer) { restoreOwnerUmask(); }, nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    return started;
}

} // namespace wendle
