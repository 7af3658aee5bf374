#include "support/CupsServer.h"

#include "support/WendleInstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wendle::test {

namespace {

const QStringList SystemFolders{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/bin")};

QString findTool(const QString &name)
{
    return QStandardPaths::findExecutable(name, SystemFolders);
}

// A port nobody listens on right now; the kernel picks it.
quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text.toUtf8()) >= 0;
}

} // namespace

CupsServer::CupsServer() = default;

CupsServer::~CupsServer()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(10000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool CupsServer::isInstalled()
{
    for (const char *tool : {"cupsd", "lpadmin", "lpstat", "lp"}) {
        if (findTool(QLatin1String(tool)).isEmpty())
            return false;
    }
    return true;
}

QString CupsServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

// cupsd runs its filters and backends as lp and refuses to run them as root:
// what it writes belongs to group lp, and the folder above must be readable.
bool CupsServer::prepareFolders(QString *error)
{
    const gid_t lp = ::getgrnam("lp") ? ::getgrnam("lp")->gr_gid : gid_t(-1);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                            | QFile::ReadOther | QFile::ExeOther);
    for (const char *name : {"spool", "cache", "state", "tmp", "log"}) {
        const QString folder = m_dir.filePath(QLatin1String(name));
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("cannot create ") + folder;
            return false;
        }
        if (lp != gid_t(-1) && ::chown(QFile::encodeName(folder).constData(), uid_t(-1), lp) != 0) {
            *error = QStringLiteral("cannot give %1 to group lp").arg(folder);
            return false;
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }
    return true;
}

// DirtyCleanInterval 0: job control files are written at once, not up to
// half a minute later, so a test can read them as soon as the job is listed.
bool CupsServer::writeConfiguration(QString *error)
{
    const QString dir = m_dir.path();
    const QString files = QStringLiteral(
        "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
        "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nUser lp\nGroup lp\nFileDevice Yes\n"
        "ErrorLog %1/log/error_log\n").arg(dir);
    const QString daemon = QStringLiteral(
        "Listen 127.0.0.1:%1\nDefaultAuthType None\nWebInterface No\nDirtyCleanInterval 0\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n").arg(m_port);
    if (!writeText(dir + QLatin1String("/cups-files.conf"), files) || !writeText(dir + QLatin1String("/cupsd.conf"), daemon)) {
        *error = QStringLiteral("cannot write the configuration into ") + dir;
        return false;
    }
    return true;
}

bool CupsServer::start(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    m_port = freeLoopbackPort();
    if (m_port == 0) {
        *error = QStringLiteral("no free loopback port");
        return false;
    }
    if (!prepareFolders(error) || !writeConfiguration(error))
        return false;

    m_daemon.setProgram(findTool(QStringLiteral("cupsd")));
    m_daemon.setArguments({QStringLiteral("-f"), QStringLiteral("-c"), m_dir.filePath(QStringLiteral("cupsd.conf")),
                           QStringLiteral("-s"), m_dir.filePath(QStringLiteral("cups-files.conf"))});
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.start();
    if (!m_daemon.waitForStarted(10000)) {
        *error = QStringLiteral("cupsd did not start: ") + m_daemon.errorString();
        return false;
    }
    const bool answers = waitFor(
        [this] {
            QByteArray output;
            return m_daemon.state() != QProcess::Running
                   || (runClient(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &output) == 0 && output.contains("is running"));
        },
        30000);
    if (!answers || m_daemon.state() != QProcess::Running) {
        QFile log(m_dir.filePath(QStringLiteral("log/error_log")));
        log.open(QIODevice::ReadOnly);
        *error = QStringLiteral("cupsd does not answer: %1 %2").arg(QString::fromUtf8(m_daemon.readAll()), QString::fromUtf8(log.readAll()));
        return false;
    }
    return true;
}

bool CupsServer::addQueue(const QString &name, QString *error)
{
    QByteArray output;
    const int status = runClient(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                                                             QStringLiteral("file:///dev/null")}, &output);
    if (status != 0)
        *error = QStringLiteral("lpadmin -p %1 failed (%2): %3").arg(name).arg(status).arg(QString::fromUtf8(output));
    return status == 0;
}

int CupsServer::runClient(const QString &program, const QStringList &arguments, QByteArray *output) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), address());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(findTool(program), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace wendle::test
