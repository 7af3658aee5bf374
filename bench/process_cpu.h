#pragma once

#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace wendle::bench {

// User and system time a running process has used so far, in seconds, from
// /proc/PID/stat; -1 when it cannot be read.
inline double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold spaces: state is the
    // third field, utime the 14th, stime the 15th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

} // namespace wendle::bench
