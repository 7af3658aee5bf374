#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sched.h>
#include <sys/mount.h>

namespace wendle::test {

// A small disk of its own for one folder (tmpfs), in a mount namespace of
// this thread and the threads and programs it starts: a test can fill it or
// make it read-only without touching the machine. Needs root.
class ScratchDisk {
public:
    explicit ScratchDisk(QString folder) : m_folder(std::move(folder)), m_path(QFile::encodeName(m_folder)) {}
    ~ScratchDisk() { ::umount2(m_path.constData(), MNT_DETACH); }
    bool mount(const char *size)
    {
        QDir().mkpath(m_folder);
        return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
               && ::mount("wendle-scratch", m_path.constData(), "tmpfs", 0, size) == 0;
    }
    bool remount(unsigned long flags, const char *size = nullptr)
    {
        return ::mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | flags, size) == 0;
    }
    // Writes a file "filler" until the disk is full.
    void fill()
    {
        QFile filler(m_folder + QStringLiteral("/filler"));
        filler.open(QIODevice::WriteOnly);
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {}
    }

private:
    QString m_folder;
    QByteArray m_path;
};

} // namespace wendle::test
