#include "ExceptionMessage.h"
#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "RecordingMessenger.h"
#include "retrieval/CertificateStores.h"
#include "retrieval/ClientCertificateSelection.h"
#include "retrieval/SetupCheck.h"
#include "SoftHsmToken.h"
#include "StandInHost.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <gtest/gtest.h>
#include <memory>
#include <QDir>
#include <QFile>

using namespace std::chrono_literals;

namespace {

const QByteArray TokenKeyId = QByteArray::fromHex("7A0B1C2D");
const QByteArray KeylessKeyId = QByteArray::fromHex("7A0B1C2E");

// One token and one depository stand-in for the whole suite: the tool keeps the token's module loaded, so
// the token gets its objects, issued by the stand-in's authority, before the first test opens it.
class TokenStoreTest : public testing::Test
{
public:
    static void SetUpTestSuite()
    {
        server = std::make_unique<NginxTestServer>();
        token = std::make_unique<SoftHsmToken>();
        server->serveDepository();
        VORN_START_NGINX(*server);
        QString error;
        if (!token->ready(&error))
            GTEST_SKIP() << error.toStdString();
        member = std::make_unique<ElX509Certificate>(server->pki().issueClient("Clan Token", TokenKeyId));
        ASSERT_TRUE(
            token->put(*member, "member", true, &error) &&
            token->put(server->pki().issueClient("Brez kljuca", KeylessKeyId), "keyless", false, &error))
            << error.toStdString();
    }
    static void TearDownTestSuite() { server.reset(); }

    // The fetch's selection and request with the token as the store; the log of the request.
    void fetch(const QString &store, const QByteArray &keyId, const TokenAccess &access)
    {
        ClientCertificateSelection selection(clientStorage, messenger, folder.path());
        selection.setTokenAccess(access);
        selection.PrepareClientCertificate(
            {"https", server->serviceUri(), "1001", QString::fromLatin1(keyId.toHex()), "", store}, "");
        ElHTTPSClient client;
        client.setClientCertStorage(&clientStorage);
        client.setCAFile(server->caFile());
        client.onReceivingHeaders = [this](const QStringList &headers) { statusLine = headers.value(0); };
        client.Get("https://" + server->serviceUri() + "MemberAccountPositions?MemberCode=1001");
    }

    static std::unique_ptr<NginxTestServer> server;
    static std::unique_ptr<SoftHsmToken> token;
    static std::unique_ptr<ElX509Certificate> member; // with its key, as issued
    TempDir folder;
    ElMemoryCertStorage clientStorage;
    RecordingMessenger messenger;
    QString statusLine;
};

std::unique_ptr<NginxTestServer> TokenStoreTest::server;
std::unique_ptr<SoftHsmToken> TokenStoreTest::token;
std::unique_ptr<ElX509Certificate> TokenStoreTest::member;

} // namespace

TEST_F(TokenStoreTest, TokenKeySignsTheHandshakeAndNeverLeavesTheToken)
{
    fetch(SoftHsmToken::uri(), TokenKeyId, token->access());
    EXPECT_EQ(statusLine.toStdString(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(server->accessLogContains("CN=Clan Token"));

    // What the tool holds of the key is its public part with a dummy private value: it signs on the token.
    ASSERT_EQ(clientStorage.count(), 1);
    EXPECT_NE(TestPki::keyPem(clientStorage.certificate(0)), TestPki::keyPem(*member));
}

TEST_F(TokenStoreTest, EachFailureHasItsMessage)
{
    TokenAccess openPinFile = token->access("4712");
    QFile::setPermissions(openPinFile.pinFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    TokenAccess noModule = token->access();
    noModule.modulePath = "/usr/lib/no-such-pkcs11.so";
    const struct
    {
        QString store;
        QByteArray keyId;
        TokenAccess access;
        QString message;
    } cases[] = {
        {SoftHsmToken::uri("VORN2"), TokenKeyId, token->access("0000"),
         "The token VORN2 (SoftHSM project, serial "},
        {SoftHsmToken::uri("VORN2"), TokenKeyId, token->access("0000"),
         ") refused the PIN from the PIN file "},
        {SoftHsmToken::uri("NOPE"), TokenKeyId, token->access(),
         "No token matching pkcs11:token=NOPE is present in the PKCS#11 module " + SoftHsmToken::module() +
             " (tokens present: "},
        {SoftHsmToken::uri(), KeylessKeyId, token->access(), "\"keyless\", id 7A0B1C2E) but no private key"},
        {SoftHsmToken::uri(), TokenKeyId, noModule,
         "Cannot load the PKCS#11 module /usr/lib/no-such-pkcs11.so"},
        {SoftHsmToken::uri("VORN2"), TokenKeyId, openPinFile, "may be read or changed by others"},
        {SoftHsmToken::uri("VORN2"),
         TokenKeyId,
         {SoftHsmToken::module(), "", "VornImport.ini"},
         "No PIN for the token VORN2"},
        {SoftHsmToken::uri() + ";pin-value=4711", TokenKeyId, token->access(), "holds a PIN (pin-value)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        const QString message = messageOf<ETokenError>([&] { fetch(c.store, c.keyId, c.access); });
        EXPECT_TRUE(message.contains(c.message)) << message.toStdString();
        EXPECT_FALSE(message.contains("4711") || message.contains("0000")) << message.toStdString();
    }
}

TEST_F(TokenStoreTest, SetupCheckAndListingFollowTheToken)
{
    TempDir installation;
    QDir().mkpath(installation.filePath("input"));
    QDir().mkpath(installation.filePath("output"));
    installation.write("tipi.ini", "BT,10,1,2,N,N\n");
    const TokenAccess access = token->access();
    installation.write("VornImport.ini",
                       QStringLiteral("[Nastavitve]\nVhodniImenik=%1\nIzhodniImenik=%2\nCAFile=%3\n"
                                      "PKCS11Module=%4\nPKCS11PinFile=%5\n")
                           .arg(installation.filePath("input"), installation.filePath("output"),
                                server->caFile(), access.modulePath, access.pinFile)
                           .toUtf8());
    HostTestDatabase database{HostEngine::SQLite, "TOKEN"};
    database.createHostTables();
    insertStandInMembers(database, *server, server->serviceUri());
    database.exec("UPDATE VORN_IMP_INI SET VALUE='" + SoftHsmToken::uri() +
                  "' WHERE KEY='CERTIFICATESTORAGE'");
    const auto check = [&](const QString &keyId) {
        database.exec(QStringLiteral("UPDATE VORN_IMP_INI SET VALUE='%1' WHERE KEY='CERTIFICATESUBJECTKEYID'")
                          .arg(keyId));
        QStringList lines;
        SetupCheckInputs inputs;
        inputs.settingsFile = installation.filePath("VornImport.ini");
        inputs.programFolder = installation.path();
        inputs.login = {database.alias(), "vorn", "x"};
        inputs.timeouts = {5s, 5s};
        SetupCheck(inputs, [&lines](const CheckLine &line) { lines << line.text(); }).run();
        return lines.join('\n');
    };
    const QString found = check("7A0B1C2D");
    EXPECT_TRUE(found.contains(QStringLiteral("OK   Token VORN (SoftHSM project, serial ")))
        << found.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral(") is present in the PKCS#11 module %1, the PIN is accepted")
                                   .arg(SoftHsmToken::module())));
    EXPECT_TRUE(found.contains("OK   Its private key is on the token\nOK   The certificate is valid until "));
    EXPECT_TRUE(found.endsWith("answers (HTTP/1.1 404 Not Found)")) << found.toStdString();
    EXPECT_TRUE(check("7A0B1C2F")
                    .contains("FAIL No certificate with the key identifier 7A0B1C2F on the token "
                              "VORN (SoftHSM project, serial "));
    EXPECT_TRUE(check("7A0B1C2E").contains("holds the certificate CN=Brez kljuca"));

    const StoreListing listing = listCertificateStores(QString(), SoftHsmToken::uri(), access).value(0);
    const std::string listed = listing.lines().join('\n').toStdString(); // in the token's order
    const std::string until =
        "\n    Valid until: " + member->notAfter().date().toString(Qt::ISODate).toStdString();
    EXPECT_NE(
        listed.find("  object \"member\" (id 7a0b1c2d)\n    Subject: CN=Clan Token,O=Vorn Test\n    Issuer: "
                    "CN=Vorn Test Authority,O=Vorn Test\n    Key identifier: 7A0B1C2D" +
                    until + "\n    Private key: yes"),
        std::string::npos)
        << listed;
    EXPECT_NE(listed.find("Key identifier: 7A0B1C2E" + until +
                          "\n    Private key: no\n    Problem: The token VORN"),
              std::string::npos)
        << listed;
}
