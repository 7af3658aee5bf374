#include "app/InstanceLock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace wendle {

namespace {

QString whoHolds(int fd)
{
    char text[512] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    const QString holder = got > 0 ? QString::fromUtf8(text, got).trimmed() : QString();
    return holder.isEmpty() ? QStringLiteral("a process that has not yet said who it is") : holder;
}

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // lets the lock go
}

InstanceLock::Result InstanceLock::take(const QString &folder, QString *holder)
{
    const QByteArray path = QFile::encodeName(folder + QLatin1String("/wendle.lock"));
    // Never through a link someone left where the lock belongs.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *holder = QStringLiteral("cannot open %1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        *holder = error == EWOULDBLOCK
                      ? whoHolds(fd)
                      : QStringLiteral("cannot lock %1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(error)));
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Unavailable;
    }
    const QByteArray self = QStringLiteral("process %1 on %2, started %3 (session bus %4)\n")
                                .arg(::getpid())
                                .arg(QSysInfo::machineHostName(), QDateTime::currentDateTime().toString(Qt::ISODate),
                                     qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS", QStringLiteral("none")))
                                .toUtf8();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, self.constData(), size_t(self.size()), 0) != self.size())
        qWarning("wendle: cannot write who holds the instance lock");
    m_fd = fd;
    return Result::Taken;
}

} // namespace wendle
