#include "platform/process/RuntimeFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

bool provided = false;

// A folder, not a link, owned by the user, that nobody else may enter.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

QByteArray userName()
{
    const struct passwd *entry = ::getpwuid(::getuid());
    return entry ? QByteArray(entry->pw_name) : QByteArray::number(::getuid());
}

} // namespace

void provideRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    provided = true;
    const QByteArray loginFolder = "/run/user/" + QByteArray::number(::getuid());
    if (isPrivateFolder(loginFolder)) {
        qputenv("XDG_RUNTIME_DIR", loginFolder);
        return;
    }
    const QByteArray ownFolder = QFile::encodeName(QDir::tempPath()) + "/runtime-" + userName();
    ::mkdir(ownFolder.constData(), 0700);
    if (isPrivateFolder(ownFolder))
        qputenv("XDG_RUNTIME_DIR", ownFolder);
}

QString sessionRuntimeFolder()
{
    return provided ? QString() : qEnvironmentVariable("XDG_RUNTIME_DIR");
}

} // namespace wendle
