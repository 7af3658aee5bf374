#include "support/TestServers.h"

#include "support/WendleInstance.h"

#include <QDateTime>
#include <QNetworkInterface>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <grp.h>
#include <unistd.h>

namespace wendle::test {

namespace {

// The servers drop privileges to nobody:nogroup for the mail folders.
constexpr uid_t MailUser = 65534;
constexpr gid_t MailGroup = 65534;

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

void giveToMailUser(const QString &path)
{
    if (geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), MailUser, MailGroup) != 0)
        qWarning("cannot chown %s", qPrintable(path));
}

bool makeMaildir(const QString &root)
{
    for (const char *sub : {"", "/new", "/cur", "/tmp"}) {
        if (!QDir().mkpath(root + QLatin1String(sub)))
            return false;
        giveToMailUser(root + QLatin1String(sub));
    }
    return true;
}

QString findProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin", "/sbin", "/usr/bin", "/bin"});
}

} // namespace

quint16 freeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

QString nonLoopbackAddress()
{
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return {};
}

bool TestServer::installed(std::initializer_list<const char *> programs)
{
    return std::all_of(programs.begin(), programs.end(), [](const char *name) { return !findProgram(name).isEmpty(); });
}

TestServer::TestServer() : m_port(freeLoopbackPort())
{
    // The temporary folder is private (0700); the servers' unprivileged
    // processes must be able to walk into it.
    QFile::setPermissions(m_dir.path(),
                          QFile::permissions(m_dir.path()) | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
}

void TestServer::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(10000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
    waitFor([this] { return !acceptsConnections(m_port); }, 10000);
}

::testing::AssertionResult TestServer::launch(const QString &program, const QStringList &arguments)
{
    m_process = std::make_unique<QProcess>();
    m_process->setStandardOutputFile(m_dir.filePath("server.log"), QIODevice::Append);
    m_process->setStandardErrorFile(m_dir.filePath("server.log"), QIODevice::Append);
    endWithTheTest(*m_process);
    m_process->start(findProgram(program), arguments);
    const bool up = waitFor([this] { return acceptsConnections(m_port) || m_process->state() == QProcess::NotRunning; }, 20000);
    if (up && m_process->state() != QProcess::NotRunning)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << str(program) << " did not start listening on port " << m_port << ": " << str(log());
}

::testing::AssertionResult TestServer::makeCertificate()
{
    if (!m_tls)
        return ::testing::AssertionSuccess();
    QByteArray errors;
    if (!QDir().mkpath(m_dir.filePath("tls"))
        || runProcess("openssl",
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key(), "-out",
                       certificate(), "-days", "30", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
                      QProcessEnvironment::systemEnvironment(), nullptr, &errors)
               != 0)
        return ::testing::AssertionFailure() << "openssl cannot make a certificate: " << errors.constData();
    // OpenSMTPD refuses a key others could read.
    QFile::setPermissions(key(), QFile::ReadOwner | QFile::WriteOwner);
    return ::testing::AssertionSuccess();
}

// --- OpenSMTPD ---------------------------------------------------------------

QString SmtpTestServer::unavailable()
{
    if (!installed({"smtpd", "unshare"}))
        return QStringLiteral("OpenSMTPD (smtpd) is not installed; scripts/install-deps installs it");
    static const QString refusal = [] {
        QByteArray errors;
        const int code = runProcess("unshare", {"--mount", "--propagation", "private", "--", "mount", "-t", "tmpfs", "none", "/var/spool"},
                                    QProcessEnvironment::systemEnvironment(), nullptr, &errors);
        return code == 0 ? QString()
                         : "OpenSMTPD keeps its control socket and queue machine-wide, and this machine lets no test make a "
                           "private mount namespace for them (unshare --mount: "
                               + QString::fromUtf8(errors).trimmed() + u')';
    }();
    return refusal;
}

::testing::AssertionResult SmtpTestServer::start()
{
    const QString dir = m_dir.path();
    if (::testing::AssertionResult made = makeCertificate(); !made)
        return made;
    const QString tls = m_tls ? QStringLiteral(" smtps pki 127.0.0.1") : QString();
    const QString pki =
        m_tls ? QStringLiteral("pki 127.0.0.1 cert \"%1\"\npki 127.0.0.1 key \"%2\"\n").arg(certificate(), key()) : QString();
    const QString extra =
        m_extraAddress.isEmpty() ? QString() : QStringLiteral("listen on %1 port %2%3\n").arg(m_extraAddress).arg(m_port).arg(tls);
    QString routes;
    for (qsizetype i = 0; i < m_routes.size(); ++i)
        routes +=
            QStringLiteral("action \"route%1\" maildir \"%2\" virtual <vusers>\nmatch from any for domain \"%3\" action \"route%1\"\n")
                .arg(i)
                .arg(m_routes[i][1], m_routes[i][0]);
    const QString configuration = QStringLiteral("%4table vusers file:%1/vusers\nlisten on 127.0.0.1 port %2%5\n%3"
                                                 "action \"store\" maildir \"%1/Maildir\" virtual <vusers>\n"
                                                 "match from any for domain \"rejected.invalid\" reject\n%6"
                                                 "match from any for any action \"store\"\n")
                                      .arg(dir)
                                      .arg(m_port)
                                      .arg(extra, pki, tls, routes);
    if (!writeFile(dir + "/vusers", "@ nobody\n") || !writeFile(dir + "/smtpd.conf", configuration.toUtf8())
        || !makeMaildir(dir + "/Maildir") || !QDir().mkpath(dir + "/run") || !QDir().mkpath(dir + "/spool"))
        return ::testing::AssertionFailure() << "cannot write the OpenSMTPD configuration in " << str(dir);
    // smtpd makes its queue folders under the private /var/spool and its
    // control socket in the private /run; the folders are passed as
    // arguments, never spliced into the shell line.
    return launch("unshare", {"--mount", "--propagation", "private", "--", "sh", "-c",
                              "mount --bind \"$1\" /run && mount --bind \"$2\" /var/spool && shift 2 && exec \"$@\"", "sh", dir + "/run",
                              dir + "/spool", findProgram("smtpd"), "-d", "-f", dir + "/smtpd.conf"});
}

QList<ParsedMail> SmtpTestServer::delivered(const QString &token) const
{
    QList<ParsedMail> found;
    for (const char *sub : {"/Maildir/new", "/Maildir/cur"}) {
        const QDir folder(m_dir.path() + QLatin1String(sub));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            const ParsedMail mail = parseMail(readFile(folder.filePath(name)));
            if (mail.bodyText.contains(token))
                found << mail;
        }
    }
    return found;
}

// --- Dovecot -----------------------------------------------------------------

::testing::AssertionResult ImapTestServer::start()
{
    const QString dir = m_dir.path();
    if (::testing::AssertionResult made = makeCertificate(); !made)
        return made;
    const QString tls =
        m_tls ? QStringLiteral("ssl = required\nssl_cert = <%1\nssl_key = <%2\n").arg(certificate(), key()) : QStringLiteral("ssl = no\n");
    // Only the test's own port: the other listener, which would take 143 or
    // 993 beside the machine's own Dovecot, is switched off.
    const QString configuration =
        QStringLiteral("base_dir = %1/run\nstate_dir = %1/run\nlog_path = %1/server.log\n"
                       "protocols = imap\nlisten = 127.0.0.1\n%3disable_plaintext_auth = no\n"
                       "auth_mechanisms = plain login\ndefault_internal_user = dovenull\ndefault_login_user = dovenull\n"
                       "service imap-login {\n  inet_listener %4 {\n    address = 127.0.0.1\n    port = %2\n%5  }\n"
                       "  inet_listener %6 {\n    port = 0\n  }\n}\n"
                       "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/passwd\n}\n"
                       "userdb {\n  driver = passwd-file\n  args = %1/passwd\n}\n"
                       "mail_location = maildir:~/Maildir\n")
            .arg(dir)
            .arg(m_port)
            .arg(tls, m_tls ? "imaps" : "imap", m_tls ? "    ssl = yes\n" : "", m_tls ? "imap" : "imaps");
    const QString passwd = QStringLiteral("%1:{PLAIN}%2:%3:%4::%5/home\n").arg(user(), password()).arg(MailUser).arg(MailGroup).arg(dir);
    if (!writeFile(dir + "/dovecot.conf", configuration.toUtf8()) || !writeFile(dir + "/passwd", passwd.toUtf8())
        || !QDir().mkpath(dir + "/run") || !makeMaildir(dir + "/home/Maildir"))
        return ::testing::AssertionFailure() << "cannot write the Dovecot configuration in " << str(dir);
    giveToMailUser(dir + "/home");
    return launch("dovecot", {"-F", "-c", dir + "/dovecot.conf"});
}

QString ImapTestServer::maildir(const QString &folder)
{
    // Maildir++: INBOX is the Maildir itself, other folders are ".Name" in it.
    const QString maildir = m_dir.filePath(folder == QLatin1String("INBOX") ? "home/Maildir" : "home/Maildir/." + folder);
    if (!QFileInfo::exists(maildir) && !makeMaildir(maildir))
        return {};
    return maildir;
}

bool ImapTestServer::deliver(const QByteArray &message, const QString &folder)
{
    const QString maildir = this->maildir(folder);
    if (maildir.isEmpty())
        return false;
    const QString name = QStringLiteral("%1.test%2.localhost").arg(QDateTime::currentSecsSinceEpoch()).arg(++m_delivered);
    const QString temporary = maildir + "/tmp/" + name;
    if (!writeFile(temporary, message))
        return false;
    giveToMailUser(temporary);
    return QFile::rename(temporary, maildir + "/new/" + name);
}

QStringList ImapTestServer::unseenUids(const QString &folder) const
{
    QByteArray answer, errors;
    QStringList arguments{
        "-s", "--url", QString(url()).replace("/INBOX", u'/' + folder), "--user", user() + u':' + password(), "-X", "UID SEARCH UNSEEN"};
    if (m_tls)
        arguments << "--cacert" << certificate();
    if (runProcess("curl", arguments, QProcessEnvironment::systemEnvironment(), &answer, &errors) != 0)
        return {"<curl failed: " + QString::fromUtf8(errors) + u'>'};
    return QString::fromUtf8(answer.mid(answer.indexOf("SEARCH") + 6)).simplified().split(u' ', Qt::SkipEmptyParts);
}

// --- CUPS --------------------------------------------------------------------

::testing::AssertionResult CupsServer::start()
{
    const QString dir = m_dir.path();
    // cupsd runs its filters and backends as lp and refuses to run them as root:
    // what it writes belongs to group lp.
    const gid_t lp = ::getgrnam("lp") ? ::getgrnam("lp")->gr_gid : gid_t(-1);
    for (const char *name : {"spool", "cache", "state", "tmp", "log"}) {
        const QString folder = m_dir.filePath(QLatin1String(name));
        if (!QDir().mkpath(folder) || (lp != gid_t(-1) && ::chown(QFile::encodeName(folder).constData(), uid_t(-1), lp) != 0))
            return ::testing::AssertionFailure() << "cannot create " << str(folder) << " for group lp";
        QFile::setPermissions(folder, QFile::permissions(folder) | QFile::WriteGroup | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                          | QFile::ExeOther);
    }
    // DirtyCleanInterval 0: job control files are written at once, not up to
    // half a minute later, so a test can read them as soon as the job is listed.
    const QString files = QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
                                         "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nUser lp\nGroup lp\nFileDevice Yes\n"
                                         "ErrorLog %1/log/error_log\n")
                              .arg(dir);
    const QString daemon = QStringLiteral("Listen 127.0.0.1:%1\nDefaultAuthType None\nWebInterface No\nDirtyCleanInterval 0\n"
                                          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                          "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n")
                               .arg(m_port);
    if (!writeFile(dir + "/cups-files.conf", files.toUtf8()) || !writeFile(dir + "/cupsd.conf", daemon.toUtf8()))
        return ::testing::AssertionFailure() << "cannot write the configuration into " << str(dir);
    if (::testing::AssertionResult listening = launch("cupsd", {"-f", "-c", dir + "/cupsd.conf", "-s", dir + "/cups-files.conf"});
        !listening)
        return listening << readFile(dir + "/log/error_log").constData();
    QByteArray output;
    if (waitFor([&] { return runClient("lpstat", {"-r"}, &output) == 0 && output.contains("is running"); }, 30000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cupsd does not answer: " << output.constData() << readFile(dir + "/log/error_log").constData();
}

::testing::AssertionResult CupsServer::addQueue(const QString &name)
{
    QByteArray output;
    const int status = runClient("lpadmin", {"-p", name, "-E", "-v", "file:///dev/null"}, &output);
    if (status == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "lpadmin -p " << str(name) << " failed (" << status << "): " << output.constData();
}

int CupsServer::runClient(const QString &program, const QStringList &arguments, QByteArray *output) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CUPS_SERVER", address());
    QByteArray errors;
    const int status = runProcess(findProgram(program), arguments, environment, output, &errors);
    if (output)
        *output += errors;
    return status;
}

} // namespace wendle::test
