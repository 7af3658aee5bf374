#pragma once

#include <QString>

namespace wendle {

// One Wendle per data folder: two instances on the same folder (two sessions
// of one user, or one started outside the session bus) would answer every
// command twice and overwrite each other's log and replies. The lock is an
// flock on "wendle.lock" in the folder, which the kernel lets go when the
// process ends however it ends; the file names the holder.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    enum class Result { Taken, HeldByAnother, Unavailable };
    // On HeldByAnother, *holder describes the other instance ("process 123
    // on host, started ..."); on Unavailable, *holder says why no lock could be made.
    Result take(const QString &folder, QString *holder);

private:
    int m_fd = -1;
};

} // namespace wendle
