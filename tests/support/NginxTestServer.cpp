#include "NginxTestServer.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

const QByteArray NginxTestServer::FirstClientKeyId =
    QByteArray::fromHex("0A1B2C3D4E5F60718293A4B5C6D7E8F901234567");
const QByteArray NginxTestServer::SecondClientKeyId =
    QByteArray::fromHex("C0FFEE0123456789ABCDEFFEDCBA987654321000");

namespace {

bool acceptsConnections(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

QString quoted(const QString &path)
{
    return u'"' + path + u'"';
}

} // namespace

NginxTestServer::NginxTestServer()
    : m_firstClient(m_pki.issueClient(QStringLiteral("Clan 1001"), FirstClientKeyId)),
      m_secondClient(m_pki.issueClient(QStringLiteral("Clan 2002"), SecondClientKeyId))
{
    const ElX509Certificate server =
        m_pki.issueServer({QStringLiteral("localhost")}, {QStringLiteral("127.0.0.1")});
    m_dir.write(QStringLiteral("ca.pem"), TestPki::pem(m_pki.authority(), false));
    m_dir.write(QStringLiteral("server.pem"), TestPki::pem(server, false));
    m_dir.write(QStringLiteral("server.key"), TestPki::keyPem(server));
    QDir().mkpath(m_dir.filePath(QStringLiteral("logs")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("temp")));
}

NginxTestServer::~NginxTestServer()
{
    stop();
}

bool NginxTestServer::required()
{
    return qEnvironmentVariable("VORN_TEST_REQUIRE_SERVERS") == QLatin1String("1");
}

void NginxTestServer::addDocument(const QString &path, const QByteArray &body,
                                  const QString &announcedFileName, qint64 bytesPerSecond)
{
    const QString fileName = QStringLiteral("docs/%1.bin").arg(m_documents.size());
    m_dir.write(fileName, body);
    m_documents.append({path, m_dir.filePath(fileName), announcedFileName, bytesPerSecond});
}

QString NginxTestServer::url(const QString &path, const QString &host) const
{
    return QStringLiteral("https://%1:%2%3").arg(host).arg(m_port).arg(path);
}

bool NginxTestServer::accessLogContains(const QString &text) const
{
    // nginx writes the line when it has finished the request, which may be a moment after
    // the client has received the answer.
    const QDeadlineTimer deadline(3000);
    while (!QString::fromUtf8(m_dir.read(QStringLiteral("logs/access.log"))).contains(text)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString NginxTestServer::errorLog() const
{
    return QString::fromUtf8(m_dir.read(QStringLiteral("logs/error.log")));
}

QString NginxTestServer::serviceUri(const QString &prefix) const
{
    return QStringLiteral("127.0.0.1:%1/%2/Members.svc/").arg(m_port).arg(prefix);
}

QByteArray NginxTestServer::depositoryArchive(const QString &fileName) const
{
    return m_dir.read(QStringLiteral("reports/") + fileName);
}

QString NginxTestServer::locations() const
{
    QString locations;
    for (const Document &document : m_documents) {
        locations += QStringLiteral("    location = %1 {\n      alias %2;\n")
                         .arg(quoted(document.path), quoted(document.fileName));
        // Tells the test which client certificate the server saw.
        locations += QStringLiteral("      add_header X-Client-Subject $ssl_client_s_dn;\n");
        if (!document.announcedFileName.isEmpty())
            locations +=
                QStringLiteral("      add_header Content-Disposition 'attachment; filename=\"%1\"';\n")
                    .arg(document.announcedFileName);
        if (document.bytesPerSecond > 0)
            locations += QStringLiteral("      limit_rate %1;\n").arg(document.bytesPerSecond);
        locations += QStringLiteral("    }\n");
    }
    return locations + QStringLiteral("    location = %1 {\n"
                                      "      proxy_pass http://127.0.0.1:%2;\n"
                                      "      proxy_read_timeout 1h;\n"
                                      "    }\n")
                           .arg(silentPath())
                           .arg(m_silent.port());
}

QString NginxTestServer::configuration() const
{
    const auto path = [this](const QString &name) { return quoted(m_dir.filePath(name)); };
    return QStringLiteral("daemon off;\n"
                          "master_process off;\n"
                          "pid %1;\n"
                          "error_log %2 info;\n"
                          "events { worker_connections 64; }\n"
                          "http {\n"
                          "  access_log %3;\n"
                          "  client_body_temp_path %4;\n"
                          "  proxy_temp_path %4;\n"
                          "  fastcgi_temp_path %4;\n"
                          "  uwsgi_temp_path %4;\n"
                          "  scgi_temp_path %4;\n"
                          "  types { }\n"
                          "  default_type application/octet-stream;\n"
                          "  server {\n"
                          "    listen 127.0.0.1:%5 ssl;\n"
                          "    listen 127.0.0.2:%5 ssl;\n"
                          "    server_name localhost;\n"
                          "    ssl_protocols TLSv1.2 TLSv1.3;\n"
                          "    ssl_certificate %6;\n"
                          "    ssl_certificate_key %7;\n"
                          "    ssl_client_certificate %8;\n"
                          "    ssl_verify_client on;\n")
               .arg(path(QStringLiteral("nginx.pid")), path(QStringLiteral("logs/error.log")),
                    path(QStringLiteral("logs/access.log")), path(QStringLiteral("temp")))
               .arg(m_port)
               .arg(path(QStringLiteral("server.pem")), path(QStringLiteral("server.key")),
                    path(QStringLiteral("ca.pem"))) +
           locations() + QStringLiteral("  }\n}\n");
}

bool NginxTestServer::writeConfiguration(QString *error)
{
    if (!m_depository) {
        m_dir.write(QStringLiteral("nginx.conf"), configuration().toUtf8());
        return true;
    }
    // The stand-in's own definition writes nginx.conf; the test's documents go into its extra locations.
    QProcess prepare;
    prepare.start(QStringLiteral(VORN_DEPOSITORY_STANDIN),
                  {QStringLiteral("prepare"), m_dir.path(), QString::number(m_port)});
    if (!prepare.waitForFinished(60000) || prepare.exitStatus() != QProcess::NormalExit ||
        prepare.exitCode() != 0) {
        *error = QStringLiteral("The depository stand-in could not be prepared: ") +
                 QString::fromUtf8(prepare.readAllStandardError()) + prepare.errorString();
        return false;
    }
    m_dir.write(QStringLiteral("extra/tests.conf"), locations().toUtf8());
    return true;
}

bool NginxTestServer::start(QString *error)
{
    const QString nginx = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    if (nginx.isEmpty()) {
        *error = QStringLiteral("nginx is not installed");
        return false;
    }
    // The free port may be taken between the probe and nginx's bind: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = SilentListener::freePort();
        if (!writeConfiguration(error))
            return false;
        m_dir.write(QStringLiteral("logs/error.log"), QByteArray());

        const pid_t parent = getpid();
        m_process.setChildProcessModifier([parent] {
            // nginx must not outlive a test process that crashes or is killed.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
        });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("logs/stderr.log")));
        m_process.start(nginx, {QStringLiteral("-p"), m_dir.path() + u'/', QStringLiteral("-e"),
                                m_dir.filePath(QStringLiteral("logs/error.log")), QStringLiteral("-c"),
                                m_dir.filePath(QStringLiteral("nginx.conf"))});
        if (!m_process.waitForStarted(5000)) {
            *error = QStringLiteral("nginx did not start: ") + m_process.errorString();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (acceptsConnections(m_port))
                return true;
            if (m_process.waitForFinished(50))
                break;
        }
        const QString log = errorLog() + QString::fromUtf8(m_dir.read(QStringLiteral("logs/stderr.log")));
        stop();
        *error = QStringLiteral("nginx did not accept connections on port %1: %2").arg(m_port).arg(log);
        if (!log.contains(QLatin1String("Address already in use")))
            return false;
    }
    return false;
}

void NginxTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
