#include "support/MailServers.h"

#include "support/WendleInstance.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wendle::test {

namespace {

// The servers drop privileges to nobody:nogroup for the mail folders.
constexpr uid_t MailUser = 65534;
constexpr gid_t MailGroup = 65534;
constexpr int StartTimeoutMs = 20000;

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

// The temporary folder is private (0700) by default; the servers' unprivileged
// processes must be able to walk into it.
void openUp(const QString &path)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                    | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

void giveToMailUser(const QString &path)
{
    if (geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), MailUser, MailGroup) != 0)
        qWarning("cannot chown %s", qPrintable(path));
}

bool makeMaildir(const QString &root)
{
    for (const char *sub : {"", "/new", "/cur", "/tmp"}) {
        const QString path = root + QLatin1String(sub);
        if (!QDir().mkpath(path))
            return false;
        giveToMailUser(path);
    }
    return true;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool waitUntilListening(QProcess &process, quint16 port, QString *error)
{
    const bool up = waitFor([&] { return acceptsConnections(port) || process.state() == QProcess::NotRunning; }, StartTimeoutMs);
    if (up && process.state() != QProcess::NotRunning)
        return true;
    *error = QStringLiteral("%1 did not start listening on port %2: %3")
                 .arg(process.program())
                 .arg(port)
                 .arg(QString::fromUtf8(process.readAllStandardError() + process.readAllStandardOutput()));
    return false;
}

void terminate(std::unique_ptr<QProcess> &process, quint16 port)
{
    if (!process)
        return;
    process->terminate();
    if (!process->waitForFinished(10000)) {
        process->kill();
        process->waitForFinished(5000);
    }
    process.reset();
    waitFor([port] { return !acceptsConnections(port); }, 10000);
}

} // namespace

quint16 freeLoopbackPort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

bool acceptsConnections(quint16 port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected = ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

QString nonLoopbackAddress()
{
    ifaddrs *interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        return {};
    QString found;
    for (ifaddrs *entry = interfaces; entry && found.isEmpty(); entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const in_addr address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr;
        if ((ntohl(address.s_addr) >> 24) == 127)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address, text, sizeof text))
            found = QString::fromLatin1(text);
    }
    ::freeifaddrs(interfaces);
    return found;
}

QString findServerProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                                 QStringLiteral("/usr/bin"), QStringLiteral("/sbin")});
}

// --- OpenSMTPD ---------------------------------------------------------------

SmtpTestServer::SmtpTestServer() : m_port(freeLoopbackPort())
{
    openUp(m_dir.path());
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

bool SmtpTestServer::writeConfiguration(QString *error)
{
    const QString dir = m_dir.path();
    const bool written = writeText(dir + QLatin1String("/vusers"), QStringLiteral("@ nobody\n"))
                         && writeText(dir + QLatin1String("/smtpd.conf"),
                                      QStringLiteral("table vusers file:%1/vusers\n"
                                                     "listen on 127.0.0.1 port %2\n%3"
                                                     "action \"store\" maildir \"%1/Maildir\" virtual <vusers>\n"
                                                     "match from any for domain \"rejected.invalid\" reject\n"
                                                     "match from any for any action \"store\"\n")
                                          .arg(dir)
                                          .arg(m_port)
                                          .arg(m_extraAddress.isEmpty() ? QString()
                                                                        : QStringLiteral("listen on %1 port %2\n").arg(m_extraAddress).arg(m_port)))
                         && makeMaildir(dir + QLatin1String("/Maildir"));
    if (!written)
        *error = QStringLiteral("cannot write the OpenSMTPD configuration in %1").arg(dir);
    return written;
}

bool SmtpTestServer::start(QString *error)
{
    if (!m_machineLock) {
        m_machineLock = std::make_unique<QLockFile>(QDir::temp().filePath(QStringLiteral("wendle-tests-smtpd.lock")));
        m_machineLock->setStaleLockTime(0);
        if (!m_machineLock->tryLock(300000)) {
            *error = QStringLiteral("another test's OpenSMTPD did not finish");
            return false;
        }
    }
    if (!QFile::exists(m_dir.filePath(QStringLiteral("smtpd.conf"))) && !writeConfiguration(error))
        return false;
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(findServerProgram(QStringLiteral("smtpd")));
    m_process->setArguments({QStringLiteral("-d"), QStringLiteral("-f"), m_dir.filePath(QStringLiteral("smtpd.conf"))});
    m_process->setStandardOutputFile(m_dir.filePath(QStringLiteral("smtpd.log")), QIODevice::Append);
    m_process->setStandardErrorFile(m_dir.filePath(QStringLiteral("smtpd.log")), QIODevice::Append);
    m_process->start();
    return waitUntilListening(*m_process, m_port, error);
}

void SmtpTestServer::stop()
{
    terminate(m_process, m_port);
}

QStringList SmtpTestServer::deliveredFiles() const
{
    QStringList files;
    for (const char *sub : {"/Maildir/new", "/Maildir/cur"}) {
        const QDir folder(m_dir.path() + QLatin1String(sub));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name))
            files << folder.filePath(name);
    }
    return files;
}

QString SmtpTestServer::log() const
{
    return readText(m_dir.filePath(QStringLiteral("smtpd.log")));
}

// --- Dovecot -----------------------------------------------------------------

ImapTestServer::ImapTestServer() : m_port(freeLoopbackPort())
{
    openUp(m_dir.path());
}

ImapTestServer::~ImapTestServer()
{
    stop();
}

bool ImapTestServer::writeConfiguration(QString *error)
{
    const QString dir = m_dir.path();
    const QString configuration = QStringLiteral(
        "base_dir = %1/run\nstate_dir = %1/run\nlog_path = %1/dovecot.log\n"
        "protocols = imap\nlisten = 127.0.0.1\nssl = no\ndisable_plaintext_auth = no\n"
        "auth_mechanisms = plain login\ndefault_internal_user = dovenull\ndefault_login_user = dovenull\n"
        "service imap-login {\n  inet_listener imap {\n    address = 127.0.0.1\n    port = %2\n  }\n}\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/passwd\n}\n"
        "userdb {\n  driver = passwd-file\n  args = %1/passwd\n}\n"
        "mail_location = maildir:~/Maildir\n").arg(dir).arg(m_port);
    const bool written =
        writeText(dir + QLatin1String("/dovecot.conf"), configuration)
        && writeText(dir + QLatin1String("/passwd"),
                     QStringLiteral("%1:{PLAIN}%2:%3:%4::%5/home\n").arg(user(), password()).arg(MailUser).arg(MailGroup).arg(dir))
        && QDir().mkpath(dir + QLatin1String("/home")) && QDir().mkpath(dir + QLatin1String("/run"))
        && makeMaildir(dir + QLatin1String("/home/Maildir"));
    giveToMailUser(dir + QLatin1String("/home"));
    if (!written)
        *error = QStringLiteral("cannot write the Dovecot configuration in %1").arg(dir);
    return written;
}

bool ImapTestServer::start(QString *error)
{
    if (!QFile::exists(m_dir.filePath(QStringLiteral("dovecot.conf"))) && !writeConfiguration(error))
        return false;
    // In the foreground, so the process object owns the server and a crashed
    // test does not leave it running.
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(findServerProgram(QStringLiteral("dovecot")));
    m_process->setArguments({QStringLiteral("-F"), QStringLiteral("-c"), m_dir.filePath(QStringLiteral("dovecot.conf"))});
    m_process->start();
    return waitUntilListening(*m_process, m_port, error);
}

void ImapTestServer::stop()
{
    terminate(m_process, m_port);
}

bool ImapTestServer::deliver(const QByteArray &message)
{
    const QString name = QStringLiteral("%1.test%2.localhost").arg(QDateTime::currentSecsSinceEpoch()).arg(++m_delivered);
    const QString temporary = m_dir.filePath(QStringLiteral("home/Maildir/tmp/") + name);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(message) != message.size())
        return false;
    file.close();
    giveToMailUser(temporary);
    return QFile::rename(temporary, m_dir.filePath(QStringLiteral("home/Maildir/new/") + name));
}

QStringList ImapTestServer::unseenUids(QString *error) const
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("--url"), url(), QStringLiteral("--user"),
                                        user() + u':' + password(), QStringLiteral("-X"), QStringLiteral("UID SEARCH UNSEEN")});
    if (!curl.waitForFinished(30000) || curl.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("curl failed: %1").arg(QString::fromUtf8(curl.readAllStandardError()));
        return {QStringLiteral("<curl failed>")};
    }
    const QString answer = QString::fromUtf8(curl.readAllStandardOutput()).trimmed();
    return answer.mid(answer.indexOf(QLatin1String("SEARCH")) + 6).split(u' ', Qt::SkipEmptyParts);
}

QString ImapTestServer::log() const
{
    return readText(m_dir.filePath(QStringLiteral("dovecot.log")));
}

} // namespace wendle::test
