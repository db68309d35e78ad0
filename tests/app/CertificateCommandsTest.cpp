#include "NginxTestServer.h"
#include "RecordingMessenger.h"
#include "retrieval/ClientCertificateSelection.h"
#include "RunTool.h"
#include "TempDir.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <gtest/gtest.h>
#include <QFileInfo>
#include <QProcess>

namespace {

const QByteArray KeyId = QByteArray::fromHex("5E1F0A0B");

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
    const QString p12 = home.filePath("clan.p12");
    runTool(home.path(), "openssl",
            {"pkcs12", "-export", "-in", home.write("clan.pem", TestPki::pem(client, true)), "-passout",
             "pass:Geslo 1", "-out", p12});
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
