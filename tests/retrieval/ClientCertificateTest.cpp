#include "ExceptionMessage.h"
#include "RecordingMessenger.h"
#include "retrieval/ClientCertificateSelection.h"
#include "RunTool.h"
#include "TempDir.h"
#include "TestPki.h"
#include "transport/ElMemoryCertStorage.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

const QByteArray FirstKeyId = QByteArray::fromHex("0A1B2C3D");
const QByteArray SecondKeyId = QByteArray::fromHex("0A1B2C3E");

QByteArray encryptedKeyPem(const ElX509Certificate &certificate)
{
    BIO *bio = BIO_new(BIO_s_mem());
    const char password[] = "secret";
    PEM_write_bio_PrivateKey(bio, certificate.privateKey(), EVP_aes_128_cbc(), nullptr, 0, nullptr,
                             const_cast<char *>(password));
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    QByteArray bytes(data, length);
    BIO_free(bio);
    return bytes;
}

class CertificateStoreTest : public testing::Test
{
protected:
    TestPki pki;
    TempDir stores;
    const ElX509Certificate first = pki.issueClient("Clan 1001", FirstKeyId);
    const ElX509Certificate second = pki.issueClient("Clan 2002", SecondKeyId);
    const ElX509Certificate withoutKeyId = pki.issueClient("Brez", QByteArray());
};

} // namespace

TEST(DecodeSubjectKeyID, TwoDigitsPerByte)
{
    const struct
    {
        QString hex;
        QByteArray key;
    } cases[] = {
        {"0A1B", QByteArray("\x0A\x1B", 2)},
        {"0A1", QByteArray("\x0A", 1)},
        {"0a1b", QByteArray("\x0A\x1B", 2)},
        {"fF00", QByteArray("\xFF\x00", 2)},
        {"", QByteArray()},
        {"7", QByteArray()},
        {"4142Z", "AB"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decodeSubjectKeyID(c.hex), c.key) << c.hex.toStdString();
}

TEST(DecodeSubjectKeyID, PairThatIsNotHexadecimalRaisesConversionError)
{
    for (const QString &hex :
         QStringList{"0G", "0A1B G1", "+1", " 1", "-1", "0x", QString::fromUtf8("\xD9\xA1\xD9\xA2")}) {
        try {
            decodeSubjectKeyID(hex);
            ADD_FAILURE() << hex.toStdString() << " was accepted";
        } catch (const EConvertError &error) {
            EXPECT_EQ(error.className(), "EConvertError");
            EXPECT_FALSE(error.message().isEmpty());
        }
    }
}

TEST(ElWinCertStorage, StoresLiveInTheUsersDataFolder)
{
    TempDir data;
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QString folder = ElWinCertStorage::currentUserStoresFolder();
    qputenv("XDG_DATA_HOME", previous);
    EXPECT_EQ(folder, data.path() + "/VornImport/certstores");
}

TEST_F(CertificateStoreTest, StoreNameIgnoresCaseAndFilesAreIndexedByName)
{
    stores.write("Osebno/b-second.PEM", TestPki::pem(second, true));
    stores.write("Osebno/a-first.p12", TestPki::pkcs12(first));
    stores.write("Osebno/c-no-key-id.pfx", TestPki::pkcs12(withoutKeyId));
    stores.write("Osebno/readme.txt", "not a certificate");
    stores.write("Other/d.pem", TestPki::pem(first, true));

    ElWinCertStorage storage(stores.path());
    storage.addStore("OSEBNO");

    ASSERT_EQ(storage.count(), 3);
    EXPECT_EQ(storage.certificate(0).subjectKeyIdentifier(), FirstKeyId);
    EXPECT_EQ(storage.certificate(1).subjectKeyIdentifier(), SecondKeyId);
    EXPECT_TRUE(storage.certificate(2).subjectKeyIdentifier().isEmpty());
    EXPECT_EQ(storage.certificate(1).encoded(), second.encoded());
    EXPECT_NE(storage.certificate(0).privateKey(), nullptr);
    EXPECT_EQ(storage.indexOfSubjectKeyId(SecondKeyId), 1);
    EXPECT_EQ(storage.indexOfSubjectKeyId(FirstKeyId), 0);
    EXPECT_EQ(storage.indexOfSubjectKeyId(FirstKeyId.left(3)), -1);
    // An empty key finds nothing, not even the certificate without the extension.
    EXPECT_EQ(storage.indexOfSubjectKeyId(QByteArray()), -1);
}

TEST_F(CertificateStoreTest, PemConvertedByOpenSslFromAPasswordProtectedExport)
{
    // The way the README tells an operator to bring an exported certificate into a store.
    stores.write("member.pem", TestPki::pem(second, true));
    QDir().mkpath(stores.filePath("Osebno"));
    runTool(stores.path(), "openssl",
            {"pkcs12", "-export", "-in", "member.pem", "-out", "member.pfx", "-passout", "pass:geslo"});
    runTool(stores.path(), "openssl",
            {"pkcs12", "-in", "member.pfx", "-nodes", "-passin", "pass:geslo", "-out", "Osebno/member.pem"});
    const QByteArray shown =
        runTool(stores.path(), "openssl",
                {"x509", "-in", "Osebno/member.pem", "-noout", "-ext", "subjectKeyIdentifier"});

    ElWinCertStorage storage(stores.path());
    storage.addStore("Osebno");
    ASSERT_EQ(storage.count(), 1);
    const QString keyIdText = QString::fromLatin1(shown.split('\n').value(1)).remove(':').trimmed();
    EXPECT_EQ(decodeSubjectKeyID(keyIdText), SecondKeyId);
    EXPECT_EQ(storage.indexOfSubjectKeyId(SecondKeyId), 0);
}

TEST_F(CertificateStoreTest, EmptyStoreFindsNothing)
{
    QDir().mkpath(stores.filePath("Prazno"));
    ElWinCertStorage storage(stores.path());
    storage.addStore("prazno");
    EXPECT_EQ(storage.count(), 0);
    EXPECT_EQ(storage.indexOfSubjectKeyId(FirstKeyId), -1);
}

TEST_F(CertificateStoreTest, MissingStoreNamesTheFolder)
{
    QDir().mkpath(stores.filePath("Osebno"));
    for (const QString name : {"MY", ""}) {
        ElWinCertStorage storage(stores.path());
        const QString message = messageOf<ECertificateStoreError>([&] { storage.addStore(name); });
        EXPECT_TRUE(message.contains(QDir::cleanPath(stores.path() + "/" + name))) << message.toStdString();
    }
}

TEST_F(CertificateStoreTest, UnusableFilesNameTheFile)
{
    const struct
    {
        QString file;
        QByteArray bytes;
    } cases[] = {
        {"garbage.pem", "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n"},
        {"no-key.pem", TestPki::pem(first, false)},
        {"wrong-key.pem", TestPki::pem(first, false) + TestPki::keyPem(second)},
        {"encrypted-key.pem", TestPki::pem(first, false) + encryptedKeyPem(first)},
        {"garbage.p12", "PK\x03\x04 not PKCS#12"},
    };
    for (const auto &c : cases) {
        TempDir folder;
        folder.write("Osebno/" + c.file, c.bytes);
        ElWinCertStorage storage(folder.path());
        const QString message = messageOf<ECertificateStoreError>([&] { storage.addStore("Osebno"); });
        EXPECT_TRUE(message.contains(c.file)) << message.toStdString();
    }
}

namespace {

class PrepareClientCertificateTest : public CertificateStoreTest
{
protected:
    void SetUp() override
    {
        stores.write("Osebno/1.pem", TestPki::pem(first, true));
        stores.write("Osebno/2.p12", TestPki::pkcs12(second));
        endpoint = {"https", "depo.example/ws/", "1001", "0a1b2c3e", "C:\\cert\\clan.pfx", "osebno"};
        messenger.debugEnabled = true;
    }

    RecordingMessenger messenger;
    ElMemoryCertStorage clientStorage;
    ClientCertificateSelection selection{clientStorage, messenger, stores.path()};
    CertificateEndpoint endpoint;
};

} // namespace

TEST_F(PrepareClientCertificateTest, FoundCertificateBecomesTheOnlyClientCertificate)
{
    clientStorage.add(first);
    selection.PrepareClientCertificate(endpoint, "  ");

    ASSERT_EQ(clientStorage.count(), 1);
    EXPECT_EQ(clientStorage.certificate(0).encoded(), second.encoded());
    EXPECT_NE(clientStorage.certificate(0).privateKey(), nullptr);
    const QStringList expected = {
        "VORN_IMP_INI>",
        "FVornProtocol=https",
        "FVornUri=depo.example/ws/",
        "FVornMemberCode=1001",
        "FCertificateSubjectKeyID=0a1b2c3e",
        "FCertificatePath=C:\\cert\\clan.pfx",
        "FCertificateStorage=osebno",
        " ",
        "--- certificate preparation begin ---",
        "No. of certificates after create: 0",
        "No. of certificates after osebno storage addition: 2",
        QStringLiteral("Lookup KeyID: ") + QString::fromLatin1(SecondKeyId) + " (hex " +
            QString::fromLatin1(SecondKeyId.toHex()) + ")",
        "Index of certificate with matching criteria: 1",
        "Certificate found:",
        "   Subject: " + second.subject(),
        "   Issuer: " + second.issuer(),
        "Certificate loaded",
        "--- certificate preparation end ---",
        "",
    };
    EXPECT_EQ(messenger.lines, expected);
    EXPECT_TRUE(second.subject().contains("CN=Clan 2002"));
    EXPECT_EQ(selection.winCertStorage()->count(), 2);
}

TEST_F(PrepareClientCertificateTest, RemoteMemberIsNamedInTheFirstLine)
{
    selection.PrepareClientCertificate(endpoint, " 2002 ");
    EXPECT_EQ(messenger.lines.value(0), "VORN_REMOTECLAN>");
}

TEST_F(PrepareClientCertificateTest, WithDebugOffNothingIsLogged)
{
    messenger.debugEnabled = false;
    selection.PrepareClientCertificate(endpoint, "");
    EXPECT_TRUE(messenger.lines.isEmpty());
    EXPECT_EQ(clientStorage.count(), 1);
}

// Another member's certificate from an earlier fetch is never presented: without a match, or with a
// match without data, the client storage is emptied and the fetch fails naming the identifier and store.
TEST_F(PrepareClientCertificateTest, NoMatchEmptiesTheClientStorageAndFailsNamingKeyAndStore)
{
    for (const QString keyId : {"0A1B2C3F", "", "0A1B2C3E00"}) {
        clientStorage.clear();
        endpoint.certificateSubjectKeyID = "0a1b2c3e";
        selection.PrepareClientCertificate(endpoint, "");
        ASSERT_EQ(clientStorage.count(), 1);
        endpoint.certificateSubjectKeyID = keyId;
        messenger.lines.clear();
        const QString message =
            messageOf<ECertificateNotFound>([&] { selection.PrepareClientCertificate(endpoint, "2002"); });

        EXPECT_EQ(clientStorage.count(), 0) << keyId.toStdString();
        EXPECT_TRUE(message.contains("identifier " + keyId + " ") && message.contains("\"osebno\""))
            << message.toStdString();
        EXPECT_TRUE(messenger.lines.contains("Index of certificate with matching criteria: -1"));
        EXPECT_EQ(messenger.lines.mid(messenger.lines.size() - 2),
                  QStringList({"--- certificate preparation end ---", ""}));
    }
}

TEST_F(PrepareClientCertificateTest, NoMatchOnFirstFetchLeavesTheClientStorageEmpty)
{
    endpoint.certificateSubjectKeyID = "FFFF";
    EXPECT_THROW(selection.PrepareClientCertificate(endpoint, ""), ECertificateNotFound);
    EXPECT_EQ(clientStorage.count(), 0);
}

TEST_F(PrepareClientCertificateTest, BadKeyIdRaisesAfterTheStoreIsOpened)
{
    clientStorage.add(first);
    endpoint.certificateSubjectKeyID = "0A1BXX";
    EXPECT_THROW(selection.PrepareClientCertificate(endpoint, ""), EConvertError);
    EXPECT_EQ(messenger.lines.last(), "No. of certificates after osebno storage addition: 2");
    ASSERT_EQ(clientStorage.count(), 1);
    EXPECT_EQ(clientStorage.certificate(0).encoded(), first.encoded());
}

TEST_F(PrepareClientCertificateTest, MissingStoreRaisesAndKeepsTheClientStorage)
{
    clientStorage.add(first);
    endpoint.certificateStorage = "Drugo";
    EXPECT_THROW(selection.PrepareClientCertificate(endpoint, ""), ECertificateStoreError);
    EXPECT_EQ(messenger.lines.last(), "No. of certificates after create: 0");
    EXPECT_EQ(clientStorage.count(), 1);
}

TEST_F(PrepareClientCertificateTest, EachRunReplacesTheStoreView)
{
    selection.PrepareClientCertificate(endpoint, "");
    stores.write("Osebno/3.pem", TestPki::pem(withoutKeyId, true));
    selection.PrepareClientCertificate(endpoint, "");
    // Certificates of the first run are not counted twice.
    EXPECT_EQ(selection.winCertStorage()->count(), 3);
}

TEST_F(PrepareClientCertificateTest, CertificateThatExpiresWithinThirtyDaysIsLoggedWithoutDebug)
{
    const QDateTime now = TestPki::Validity::now();
    const struct
    {
        QDateTime notAfter;
        QString line; // empty: nothing is logged
    } cases[] = {
        {now.addDays(31), QString()},
        {now.addDays(29), "Certificate of member 1001 (CN=Clan 2002,O=Vorn Test) expires on " +
                              now.addDays(29).date().toString(Qt::ISODate)},
        {now.addSecs(-60), "Certificate of member 1001 (CN=Clan 2002,O=Vorn Test) expired on " +
                               now.addSecs(-60).date().toString(Qt::ISODate)},
    };
    messenger.debugEnabled = false;
    for (const auto &c : cases) {
        stores.write("Osebno/2.p12", TestPki::pkcs12(pki.issueClient("Clan 2002", SecondKeyId,
                                                                     TestPki::Validity::until(c.notAfter))));
        messenger.lines.clear();
        selection.PrepareClientCertificate(endpoint, "");
        EXPECT_EQ(messenger.lines, c.line.isEmpty() ? QStringList() : QStringList{c.line})
            << messenger.lines.join('\n').toStdString();
        EXPECT_EQ(clientStorage.count(), 1);
    }
}
