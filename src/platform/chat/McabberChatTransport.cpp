#include "platform/chat/McabberChatTransport.h"

#include "platform/chat/ChatSettingKeys.h"
#include "platform/chat/McabberCommands.h"
#include "platform/files/HomePath.h"
#include "platform/preferences/Preferences.h"

#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendle {

namespace {

constexpr int RetryIntervalMs = 2000;
// Replies kept while mcabber does not read; the oldest goes first beyond it.
constexpr std::size_t MostWaitingReplies = 100;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

McabberChatTransport::McabberChatTransport(const Preferences &preferences, Log log)
    : m_preferences(preferences)
    , m_log(std::move(log))
    , m_context(std::make_unique<QObject>())
{
    m_retry = new QTimer(m_context.get());
    m_retry->setInterval(RetryIntervalMs);
    QObject::connect(m_retry, &QTimer::timeout, m_context.get(), [this] { flush(); });
}

McabberChatTransport::~McabberChatTransport()
{
    stop();
}

void McabberChatTransport::stop()
{
    m_retry->stop();
    if (m_waiting.empty())
        return;
    flush();
    m_retry->stop();
    if (!m_waiting.empty())
        m_log(QStringLiteral("Wendle Error: %1 chat replies for mcabber were not sent: %2").arg(m_waiting.size()).arg(m_problem));
    m_waiting.clear();
}

QString McabberChatTransport::fifoPath() const
{
    return expandTilde(m_preferences.stringValue(QLatin1String(RBMcabberFifo)).trimmed());
}

QString McabberChatTransport::state() const
{
    if (m_problem.isEmpty())
        return QStringLiteral("mcabber, FIFO %1").arg(fifoPath());
    return QStringLiteral("mcabber, %1 replies wait: %2").arg(m_waiting.size()).arg(m_problem);
}

bool McabberChatTransport::send(const OutgoingChat &chat, const QString &)
{
    const QString jid = chat.handle.trimmed();
    if (const QString problem = mcabber::addressProblem(jid); !problem.isEmpty()) {
        m_log(QStringLiteral("Wendle Error: a chat reply cannot go to mcabber for remoteChatAddress \"%1\": %2")
                  .arg(mcabber::chatText(jid).left(200), problem));
        return false;
    }
    QString text = chat.text;
    if (!chat.filePath.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + chat.filePath;
    Reply reply{mcabber::sayToCommands(jid, text)};
    if (reply.commands.isEmpty())
        return true;
    if (m_waiting.size() >= MostWaitingReplies) {
        m_waiting.pop_front();
        if (m_dropped++ == 0)
            m_log(QStringLiteral("Wendle Error: the oldest chat reply waiting for mcabber was dropped: %1 wait already")
                      .arg(MostWaitingReplies));
    }
    m_waiting.push_back(std::move(reply));
    flush();
    return true;
}

int McabberChatTransport::openFifo(const QString &path, QString *problem) const
{
    if (path.isEmpty()) {
        *problem = QStringLiteral("mcabberFifo names no FIFO");
        return -1;
    }
    // A symbolic link is not followed, so the check below is on the file
    // itself; a terminal would not become this process's controlling one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            *problem =
                QStringLiteral("the FIFO %1 does not exist (is mcabber running, with fifo_name set and the fifo module loaded?)").arg(path);
        else if (error == ENXIO)
            *problem = QStringLiteral("nothing reads the FIFO %1 (is mcabber running?)").arg(path);
        else if (error == ELOOP)
            *problem = QStringLiteral("%1 is a symbolic link; mcabberFifo must name the FIFO itself").arg(path);
        else
            *problem = QStringLiteral("cannot open the FIFO %1: %2").arg(path, systemError(error));
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) {
        ::close(fd);
        *problem = QStringLiteral("%1 is not a FIFO; nothing is written into it").arg(path);
        return -1;
    }
    return fd;
}

void McabberChatTransport::waitFor(const QString &problem)
{
    if (m_problem.isEmpty())
        m_log(QStringLiteral("Wendle Error: chat replies wait for mcabber: %1").arg(problem));
    m_problem = problem;
    if (!m_retry->isActive())
        m_retry->start();
}

void McabberChatTransport::flush()
{
    if (m_waiting.empty())
        return;
    const QString path = fifoPath();
    QString problem;
    const int fd = openFifo(path, &problem);
    if (fd < 0) {
        waitFor(problem);
        return;
    }
    qsizetype sent = 0;
    while (!m_waiting.empty()) {
        Reply &reply = m_waiting.front();
        while (reply.written < reply.commands.size()) {
            QByteArray &command = reply.commands[reply.written];
            const ssize_t written = ::write(fd, command.constData(), size_t(command.size()));
            if (written == command.size()) {
                ++reply.written;
                continue;
            }
            if (written > 0) { // a pipe takes PIPE_BUF bytes whole; anything else keeps its rest
                command.remove(0, written);
                continue;
            }
            const int error = written < 0 ? errno : EAGAIN;
            if (error == EINTR)
                continue;
            ::close(fd);
            waitFor(error == EAGAIN  ? QStringLiteral("mcabber does not read its FIFO %1 (the pipe is full)").arg(path)
                    : error == EPIPE ? QStringLiteral("nothing reads the FIFO %1 (is mcabber running?)").arg(path)
                                     : QStringLiteral("cannot write to the FIFO %1: %2").arg(path, systemError(error)));
            return;
        }
        m_waiting.pop_front();
        ++sent;
    }
    ::close(fd);
    m_retry->stop();
    if (m_problem.isEmpty())
        return;
    m_log(QStringLiteral("Wendle Log Update:  mcabber reads its FIFO %1 again; %2 waiting chat replies were sent%3")
              .arg(path)
              .arg(sent)
              .arg(m_dropped ? QStringLiteral(" (%1 dropped)").arg(m_dropped) : QString()));
    m_problem.clear();
    m_dropped = 0;
}

} // namespace wendle
