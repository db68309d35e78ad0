#include "NginxTestServer.h"
#include "RecordingMessenger.h"
#include "retrieval/ClientCertificateSelection.h"
#include "TempDir.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <gtest/gtest.h>
#include <openssl/pkcs12.h>
#include <QFileInfo>
#include <QProcess>

namespace {

const QByteArray KeyId = QByteArray::fromHex("5E1F0A0B");

QByteArray pkcs12WithPassword(const ElX509Certificate &certificate, const char *password)
{
    PKCS12 *pkcs12 = PKCS12_create(password, "client", certificate.privateKey(), certificate.x509(), nullptr,
                                   0, 0, 0, 0, 0);
    unsigned char *der = nullptr;
    const int length = i2d_PKCS12(pkcs12, &der);
    QByteArray bytes(reinterpret_cast<const char *>(der), length);
    OPENSSL_free(der);
    PKCS12_free(pkcs12);
    return bytes;
}

// An administrator's store commands, run without a display with the data folder in a temporary folder.
class CertificateCommandsTest : public testing::Test
{
public:
    QString run(const QStringList &arguments, int *exitCode)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(VORN_IMPORT_EXECUTABLE, arguments);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }
    QString stores() const { return home.filePath("data/VornImport/certstores"); }

    TempDir home;
    NginxTestServer server;
};

} // namespace

TEST_F(CertificateCommandsTest, ImportedCertificateIsListedAndFetches)
{
    server.serveDepository();
    VORN_START_NGINX(server);
    const ElX509Certificate client = server.pki().issueClient("Clan 3003", KeyId);
    const QString p12 = home.write("clan.p12", pkcs12WithPassword(client, "Geslo 1"));
    const QString passwordFile = home.write("geslo.txt", "Geslo 1\n");
    int exitCode = -1;

    const struct
    {
        QStringList arguments;
        QString message;
    } refusals[] = {
        {{"My", p12, home.write("napacno.txt", "Geslo 2\n")},
         "does not open as a PKCS#12 file with this password"},
        {{"pkcs11:token=VORN", p12, passwordFile},
         "is a token: certificates are imported into file stores only"},
        {{"../My", p12, passwordFile}, "is no store name"},
    };
    for (const auto &refusal : refusals) {
        const QString output = run(QStringList{"--import-certificate"} + refusal.arguments, &exitCode);
        EXPECT_EQ(exitCode, 1);
        EXPECT_TRUE(output.contains(refusal.message)) << output.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(stores()));

    QString output = run({"--import-certificate", "My", p12, passwordFile}, &exitCode);
    EXPECT_EQ(exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(": 5E1F0A0B\n")) << output.toStdString();
    const QFile::Permissions ownerOnly =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    const QFile::Permissions folderOnly = ownerOnly | QFile::ExeOwner | QFile::ExeUser;
    EXPECT_EQ(QFileInfo(home.filePath("data/VornImport")).permissions(), folderOnly);
    EXPECT_EQ(QFileInfo(stores()).permissions(), folderOnly);
    EXPECT_EQ(QFileInfo(stores() + "/My").permissions(), folderOnly);
    EXPECT_EQ(QFileInfo(stores() + "/My/5E1F0A0B.pem").permissions(), ownerOnly);

    output = run({"--certificates"}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(output.toStdString(),
              ("Store My: " + stores() + "/My\n  5E1F0A0B.pem\n    Subject: " + client.subject() +
               "\n    Issuer: " + client.issuer() + "\n    Key identifier: 5E1F0A0B\n    Valid until: " +
               client.notAfter().date().toString(Qt::ISODate) + "\n    Private key: yes\n")
                  .toStdString());

    ElMemoryCertStorage clientStorage;
    RecordingMessenger messenger;
    ClientCertificateSelection(clientStorage, messenger, stores())
        .PrepareClientCertificate({"https", server.serviceUri(), "3003", "5e1f0a0b", "", "MY"}, "");
    ElHTTPSClient https;
    https.setClientCertStorage(&clientStorage);
    https.setCAFile(server.caFile());
    https.Get("https://" + server.serviceUri() + "MemberAccountPositions?MemberCode=3003");
    EXPECT_TRUE(server.accessLogContains("CN=Clan 3003"));
}
