#pragma once

#include "SilentListener.h"
#include "TempDir.h"
#include "TestPki.h"

#include <QList>
#include <QProcess>

// An nginx on a free loopback port (127.0.0.1 and 127.0.0.2) that serves HTTPS with a
// server certificate of its own test authority for 127.0.0.1 and localhost, and requires
// a client certificate of that authority (ssl_verify_client on). It runs as a single
// process with its prefix, pid file, logs and temporary folders in a temporary folder,
// dies with the test process, and is stopped with the object.
class NginxTestServer
{
public:
    // Subject key identifiers of the two client certificates the authority issues.
    static const QByteArray FirstClientKeyId;
    static const QByteArray SecondClientKeyId;

    NginxTestServer();
    ~NginxTestServer();

    // Serves body at path, announcing announcedFileName in a Content-Disposition header
    // unless it is empty, at most bytesPerSecond fast when that is not 0 (the body then
    // arrives in pieces with pauses, as over a slow line). Call before start().
    void addDocument(const QString &path, const QByteArray &body, const QString &announcedFileName,
                     qint64 bytesPerSecond = 0);

    // Makes the server the depository stand-in of scripts/depository-standin (the report operations of the
    // member and public services as zip archives of the sample reports, the 404 error page, the request
    // log); documents added with addDocument are served beside them. Call before start().
    void serveDepository() { m_depository = true; }
    // The stand-in's member service URI as the host configuration holds it:
    // 127.0.0.1:<port>/<prefix>/Members.svc/
    QString serviceUri(const QString &prefix = QStringLiteral("kdd")) const;
    // The archive the stand-in answers with for the named file (MemberAccountPositions.zip, ...).
    QByteArray depositoryArchive(const QString &fileName) const;

    // Starts nginx and waits until it accepts connections; false with the reason otherwise.
    bool start(QString *error);
    void stop();

    // True when the test command requires the servers (VORN_TEST_REQUIRE_SERVERS=1), so
    // that a server that cannot start fails the test instead of skipping it.
    static bool required();

    int port() const { return m_port; }
    // https://<host>:<port><path>
    QString url(const QString &path, const QString &host = QStringLiteral("127.0.0.1")) const;
    // The path /silent is proxied to a listener that never answers.
    static QString silentPath() { return QStringLiteral("/silent"); }

    const TestPki &pki() const { return m_pki; }
    // The PEM file of the test authority.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    const ElX509Certificate &firstClient() const { return m_firstClient; }
    const ElX509Certificate &secondClient() const { return m_secondClient; }
    QString errorLog() const;
    // Waits a moment for a line of the access log that contains text.
    bool accessLogContains(const QString &text) const;

private:
    QString configuration() const;
    QString locations() const;
    bool writeConfiguration(QString *error);

    struct Document
    {
        QString path;
        QString fileName;
        QString announcedFileName;
        qint64 bytesPerSecond;
    };

    TempDir m_dir;
    TestPki m_pki;
    ElX509Certificate m_firstClient;
    ElX509Certificate m_secondClient;
    SilentListener m_silent;
    QList<Document> m_documents;
    QProcess m_process;
    int m_port = 0;
    bool m_depository = false;
};

// In a test body or SetUp: starts the server, or skips the test when it cannot start (fails it when
// servers are required).
#define VORN_START_NGINX(server)                                                                             \
    do {                                                                                                     \
        QString startError;                                                                                  \
        if (!(server).start(&startError)) {                                                                  \
            if (NginxTestServer::required())                                                                 \
                FAIL() << startError.toStdString();                                                          \
            GTEST_SKIP() << startError.toStdString();                                                        \
        }                                                                                                    \
    } while (false)
