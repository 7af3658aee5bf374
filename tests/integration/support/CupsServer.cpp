#include "support/CupsServer.h"

#include "support/MailServers.h"
#include "support/WendleInstance.h"

#include <QStandardPaths>

#include <grp.h>
#include <unistd.h>

namespace wendle::test {

namespace {

QString findTool(const QString &name)
{
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
}

} // namespace

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

::testing::AssertionResult CupsServer::start()
{
    m_port = freeLoopbackPort();
    const QString dir = m_dir.path();
    // cupsd runs its filters and backends as lp and refuses to run them as root:
    // what it writes belongs to group lp, and the folder above must be readable.
    const gid_t lp = ::getgrnam("lp") ? ::getgrnam("lp")->gr_gid : gid_t(-1);
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                      | QFile::ExeOther;
    QFile::setPermissions(dir, open);
    for (const char *name : {"spool", "cache", "state", "tmp", "log"}) {
        const QString folder = m_dir.filePath(QLatin1String(name));
        if (!QDir().mkpath(folder) || (lp != gid_t(-1) && ::chown(QFile::encodeName(folder).constData(), uid_t(-1), lp) != 0))
            return ::testing::AssertionFailure() << "cannot create " << folder.toStdString() << " for group lp";
        QFile::setPermissions(folder, open | QFile::WriteGroup);
    }
    // DirtyCleanInterval 0: job control files are written at once, not up to
    // half a minute later, so a test can read them as soon as the job is listed.
    const QString files = QStringLiteral(
        "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
        "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nUser lp\nGroup lp\nFileDevice Yes\n"
        "ErrorLog %1/log/error_log\n").arg(dir);
    const QString daemon = QStringLiteral(
        "Listen 127.0.0.1:%1\nDefaultAuthType None\nWebInterface No\nDirtyCleanInterval 0\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n").arg(m_port);
    if (!writeFile(dir + "/cups-files.conf", files.toUtf8()) || !writeFile(dir + "/cupsd.conf", daemon.toUtf8()))
        return ::testing::AssertionFailure() << "cannot write the configuration into " << dir.toStdString();
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.start(findTool("cupsd"), {"-f", "-c", dir + "/cupsd.conf", "-s", dir + "/cups-files.conf"});
    const bool answers = waitFor(
        [this] {
            QByteArray output;
            return m_daemon.state() == QProcess::NotRunning || (runClient("lpstat", {"-r"}, &output) == 0 && output.contains("is running"));
        },
        30000);
    if (answers && m_daemon.state() == QProcess::Running)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cupsd does not answer: " << m_daemon.errorString().toStdString()
                                         << (m_daemon.readAll() + readFile(dir + "/log/error_log")).toStdString();
}

::testing::AssertionResult CupsServer::addQueue(const QString &name)
{
    QByteArray output;
    const int status = runClient("lpadmin", {"-p", name, "-E", "-v", "file:///dev/null"}, &output);
    if (status == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "lpadmin -p " << name.toStdString() << " failed (" << status << "): " << output.toStdString();
}

int CupsServer::runClient(const QString &program, const QStringList &arguments, QByteArray *output) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CUPS_SERVER", address());
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
