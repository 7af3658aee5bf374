#include "support/ProsodyServer.h"

#include "support/WendleInstance.h"

namespace wendle::test {

namespace {

const QMap<QString, QString> Accounts{{"owner", "secret1"}, {"computer", "secret2"}, {"eve", "secret3"}};

bool run(const QString &program, const QStringList &arguments, QByteArray *errors)
{
    QByteArray output;
    const int status = runProcess(program, arguments, QProcessEnvironment::systemEnvironment(), &output, errors);
    *errors += output;
    return status == 0;
}

} // namespace

::testing::AssertionResult ProsodyServer::start()
{
    const QString dir = m_dir.path();
    if (!m_prepared) {
        m_httpPort = freeLoopbackPort();
        const QString configuration =
            QStringLiteral("run_as_root = true\npidfile = \"%1/prosody.pid\"\ndata_path = \"%1/data\"\n"
                           "log = { info = \"%1/server.log\"; error = \"%1/server.log\" }\n"
                           "interfaces = { \"127.0.0.1\" }\nc2s_ports = { %2 }\ns2s_ports = { }\n"
                           "http_ports = { %3 }\nhttp_interfaces = { \"127.0.0.1\" }\nhttps_ports = { }\n"
                           "certificates = \"%1/certs\"\n"
                           "ssl = { key = \"%1/certs/example.test.key\"; certificate = \"%1/certs/example.test.crt\" }\n"
                           "c2s_require_encryption = false\nallow_unencrypted_plain_auth = true\n"
                           "authentication = \"internal_hashed\"\n"
                           // Big enough for the 1 MB message of the bad-input test. The upload
                           // service is the component alone: loaded on the host as well, two
                           // services would share one HTTP path and refuse each other's slots.
                           "c2s_stanza_size_limit = 2*1024*1024\n"
                           "modules_enabled = { \"roster\"; \"saslauth\"; \"tls\"; \"disco\"; \"ping\"; \"presence\"; \"message\"; "
                           "\"iq\"; \"posix\"; \"http\" }\n"
                           "modules_disabled = { \"s2s\" }\n"
                           "VirtualHost \"example.test\"\n  http_host = \"127.0.0.1\"\n"
                           "Component \"upload.example.test\" \"http_file_share\"\n  http_host = \"127.0.0.1\"\n"
                           "  http_external_url = \"http://127.0.0.1:%3/\"\n")
                .arg(dir)
                .arg(m_port)
                .arg(m_httpPort);
        QByteArray errors;
        if (!QDir().mkpath(dir + "/data") || !QDir().mkpath(dir + "/certs") || !writeFile(config(), configuration.toUtf8()))
            return ::testing::AssertionFailure() << "cannot write the Prosody configuration in " << str(dir);
        if (!run("openssl",
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir + "/certs/example.test.key", "-out", certificate(),
                  "-days", "30", "-subj", "/CN=example.test", "-addext", "subjectAltName=DNS:example.test,DNS:upload.example.test"},
                 &errors))
            return ::testing::AssertionFailure() << "openssl cannot make a certificate: " << errors.constData();
        for (const auto &[name, password] : Accounts.asKeyValueRange()) {
            if (!run("prosodyctl", {"--config", config(), "register", name, domain(), password}, &errors))
                return ::testing::AssertionFailure() << "prosodyctl cannot register " << str(name) << ": " << errors.constData();
        }
        m_prepared = true;
    }
    return launch("prosody", {"--config", config(), "-F"});
}

int ProsodyServer::send(const QString &user, const QByteArray &text, bool raw) const
{
    QStringList arguments{"-n", "-u", user + u'@' + domain(), "-p", Accounts.value(user), "-j", address()};
    arguments << (raw ? QStringLiteral("--raw") : "computer@" + domain());
    return runProcess("go-sendxmpp", arguments, QProcessEnvironment::systemEnvironment(), nullptr, nullptr, text);
}

OwnerPhone::OwnerPhone(const ProsodyServer &server)
{
    const int before = server.logins("owner");
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start("go-sendxmpp",
                    {"-n", "-l", "-u", "owner@" + ProsodyServer::domain(), "-p", Accounts.value("owner"), "-j", server.address()});
    m_ready = m_process.waitForStarted(10000) && wendle::test::waitFor([&] { return server.logins("owner") > before; });
}

OwnerPhone::~OwnerPhone()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString OwnerPhone::received()
{
    m_received += QString::fromUtf8(m_process.readAll());
    return m_received;
}

bool OwnerPhone::waitFor(const QString &needle, int timeoutMs)
{
    return wendle::test::waitFor([&] { return received().contains(needle); }, timeoutMs);
}

} // namespace wendle::test
