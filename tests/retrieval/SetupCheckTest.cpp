#include "retrieval/SetupCheck.h"

#include "ConnectProxy.h"
#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "TempDir.h"
#include "TestPki.h"

#include <cctype>
#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Functions, since the server's key identifiers are initialised in another translation unit.
QString ownKeyId()
{
    return QString::fromLatin1(NginxTestServer::FirstClientKeyId.toHex().toUpper());
}
QString remoteKeyId()
{
    return QString::fromLatin1(NginxTestServer::SecondClientKeyId.toHex().toUpper());
}
const QString Password = QStringLiteral("Geslo-7x!");

// A demo installation: settings with both folders and the CA file, the type table, a host database with
// the own member's endpoint and one remote member, both certificates in a store readable by the owner
// only, and the depository stand-in that requires them.
class SetupCheckTest : public testing::Test
{
public:
    void SetUp() override
    {
        server.serveDepository();
        VORN_START_NGINX(server);
        QDir().mkpath(folder.filePath("input"));
        QDir().mkpath(folder.filePath("output"));
        folder.write("tipi.ini", "BT,10,1,2,N,N\n");
        writeSettings(server.caFile());
        database.createHostTables();
        const QString uri = QStringLiteral("127.0.0.1:%1/ws/Members.svc").arg(server.port());
        database.exec(
            QStringLiteral("INSERT INTO VORN_IMP_INI VALUES ('VORNPROTOCOL', 'https');"
                           "INSERT INTO VORN_IMP_INI VALUES ('VORNURI', '%1');"
                           "INSERT INTO VORN_IMP_INI VALUES ('VORNMEMBERCODE', '1001');"
                           "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESUBJECTKEYID', '%2');"
                           "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESTORAGE', 'Osebno');"
                           "INSERT INTO INISET VALUES ('OZNAKACLANA', 'KDD7');"
                           "INSERT INTO VORN_REMOTECLAN VALUES ('2002', 'https', '%1/', '%3', '', 'OSEBNO')")
                .arg(uri, ownKeyId().toLower(), remoteKeyId()));
        putIntoStore("1001.pem", TestPki::pem(server.firstClient(), true));
        putIntoStore("2002.p12", TestPki::pkcs12(server.secondClient()));
    }

    void writeSettings(const QString &caFile)
    {
        folder.write("VornImport.ini",
                     QStringLiteral("[Nastavitve]\nVhodniImenik=%1\nIzhodniImenik=%2\nCAFile=%3\n")
                         .arg(folder.filePath("input"), folder.filePath("output"), caFile)
                         .toUtf8());
    }

    void putIntoStore(const QString &name, const QByteArray &bytes)
    {
        const QString path = stores.write("Osebno/" + name, bytes);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }

    // The own member's certificate replaced by one of the same authority and key identifier.
    void replaceOwnCertificate(const TestPki::Validity &validity)
    {
        putIntoStore("1001.pem", TestPki::pem(server.pki().issueClient(
                                                  "Clan 1001", NginxTestServer::FirstClientKeyId, validity),
                                              true));
    }

    bool run(const QString &member = QString())
    {
        SetupCheckInputs inputs;
        inputs.settingsFile = folder.filePath("VornImport.ini");
        inputs.programFolder = folder.path();
        inputs.login = {alias, "vorn", password};
        inputs.member = member;
        inputs.storesFolder = stores.path();
        inputs.timeouts = {5s, 5s};
        lines.clear();
        return SetupCheck(inputs, [this](const CheckLine &line) { lines << line.text(); }).run();
    }

    // The first line that starts with prefix, or a note that there is none.
    QString lineStarting(const QString &prefix) const
    {
        for (const QString &line : lines)
            if (line.startsWith(prefix))
                return line;
        return "no line starts with " + prefix + " in:\n" + lines.join('\n');
    }

    QString depositoryUrl() const { return server.url("/ws/Members.svc/"); }

    NginxTestServer server;
    TempDir folder;
    TempDir stores;
    HostTestDatabase database{HostEngine::SQLite, "DEMO"};
    QString alias = database.alias();
    QString password = Password;
    QString member; // the check's MEMBER argument in the fault table
    QStringList lines;
};

} // namespace

TEST_F(SetupCheckTest, DemoSetupPassesEveryCheck)
{
    EXPECT_TRUE(run()) << lines.join('\n').toStdString();
    const QString expiry = QDateTime::currentDateTimeUtc().addDays(365).date().toString(Qt::ISODate);
    const QStringList expected = {
        "OK   Settings file " + folder.filePath("VornImport.ini"),
        "OK   Input folder (VhodniImenik) " + folder.filePath("input") + " exists and can be written",
        "OK   Output folder (IzhodniImenik) " + folder.filePath("output") + " exists and can be written",
        "OK   Type table " + folder.filePath("tipi.ini"),
        "OK   Alias DEMO in " + database.aliasFilePath(),
        "OK   Database of alias DEMO (driver SQLITE, database " + database.folder().filePath("host.sqlite") +
            ") opens",
        "OK   Own member code KDD7",
        "OK   Endpoint https://127.0.0.1:" + QString::number(server.port()) +
            "/ws/Members.svc/, member code 1001, certificate " + ownKeyId().toLower() +
            " in store Osebno (VORN_IMP_INI)",
        "OK   Certificate store Osebno is the folder " + stores.filePath("Osebno"),
        "OK   Certificate files are readable by their owner only",
        "OK   Certificate " + server.firstClient().subject() + " with the key identifier " +
            ownKeyId().toLower() + " in " + stores.filePath("Osebno/1001.pem"),
        "OK   Its private key belongs to it",
        "OK   The certificate is valid until " + expiry + " (364 days)",
        "OK   The depository " + depositoryUrl() + " answers (HTTP/1.1 404 Not Found)",
    };
    EXPECT_EQ(lines.join('\n').toStdString(), expected.join('\n').toStdString());
    EXPECT_FALSE(lines.join('\n').contains(Password));
}

TEST_F(SetupCheckTest, RemoteMemberIsCheckedWithItsOwnCertificate)
{
    EXPECT_TRUE(run("2002")) << lines.join('\n').toStdString();
    EXPECT_EQ(lineStarting("OK   Remote member").toStdString(), "OK   Remote member 2002");
    EXPECT_TRUE(lineStarting("OK   Certificate CN=")
                    .startsWith("OK   Certificate " + server.secondClient().subject()));
    EXPECT_TRUE(lineStarting("OK   The depository").startsWith("OK   The depository " + depositoryUrl()));

    EXPECT_FALSE(run("3003"));
    EXPECT_EQ(lines.last(),
              "FAIL 3003 names no remote member (VORN_REMOTECLAN holds 2002). To do: give the code "
              "of a remote member, or add the member's row to VORN_REMOTECLAN");
}

TEST_F(SetupCheckTest, ConnectionGoesThroughTheProxyOfTheSettings)
{
    ConnectProxy proxy;
    folder.write("VornImport.ini", folder.read("VornImport.ini") + "Proxy=" + proxy.url().toUtf8() + "\n");
    EXPECT_TRUE(run()) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), "OK   The depository " + depositoryUrl() + " answers through the proxy " +
                                proxy.url() + " (Proxy) (HTTP/1.1 404 Not Found)");
    EXPECT_EQ(proxy.requests(),
              QStringList{QStringLiteral("CONNECT 127.0.0.1:%1 HTTP/1.1").arg(server.port())});
}

namespace {

const QDateTime now = TestPki::Validity::now();

struct Fault
{
    const char *name;
    std::function<void(SetupCheckTest &)> arrange;
    std::function<QString(SetupCheckTest &)> line; // the start of the line expected
    bool passes;
    bool needsNonRoot = false; // root reads every folder
};

class SetupCheckFaultTest : public SetupCheckTest, public testing::WithParamInterface<Fault>
{
};

const Fault faults[] = {
    {"wrong key identifier",
     [](SetupCheckTest &t) {
         t.database.exec("UPDATE VORN_IMP_INI SET VALUE='0A0B' WHERE KEY='CERTIFICATESUBJECTKEYID'");
     },
     [](SetupCheckTest &) {
         return "FAIL No certificate with the key identifier 0A0B in store Osebno (it holds " + ownKeyId() +
                ", " + remoteKeyId() + ")";
     },
     false},
    {"store readable by others",
     [](SetupCheckTest &t) {
         QFile::setPermissions(t.stores.filePath("Osebno/2002.p12"),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
     },
     [](SetupCheckTest &t) {
         return "WARN Certificate files readable by group or others: 2002.p12; their private keys are "
                "unencrypted. To do: chmod go-rwx " +
                t.stores.filePath("Osebno") + "/*";
     },
     true},
    {"expired certificate",
     [](SetupCheckTest &t) { t.replaceOwnCertificate(TestPki::Validity::until(now.addDays(-1))); },
     [](SetupCheckTest &) {
         return "FAIL The certificate expired on " + now.addDays(-1).date().toString(Qt::ISODate) +
                ". To do: ask the depository for a new certificate";
     },
     false},
    {"certificate that expires in ten days",
     [](SetupCheckTest &t) {
         t.replaceOwnCertificate(TestPki::Validity::until(now.addDays(10).addSecs(3600)));
     },
     [](SetupCheckTest &) {
         return "WARN The certificate expires on " +
                now.addDays(10).addSecs(3600).date().toString(Qt::ISODate) +
                ", in 10 days. To do: ask the depository for a new certificate";
     },
     true},
    {"certificate not valid yet",
     [](SetupCheckTest &t) {
         t.replaceOwnCertificate({now.addDays(2), now.addDays(400)});
     },
     [](SetupCheckTest &) { return QString("FAIL The certificate is not valid yet: valid from "); }, false},
    {"private key of another certificate",
     [](SetupCheckTest &t) {
         t.putIntoStore("1001.pem", TestPki::pem(t.server.firstClient(), false) +
                                        TestPki::keyPem(t.server.secondClient()));
     },
     [](SetupCheckTest &t) {
         return "FAIL " + t.stores.filePath("Osebno/1001.pem") +
                " holds a private key of another certificate";
     },
     false},
    {"server certificate from an unknown authority",
     [](SetupCheckTest &t) {
         t.writeSettings(
             t.folder.write("other-ca.pem", TestPki::pem(TestPki("Other Authority").authority(), false)));
     },
     [](SetupCheckTest &t) {
         return "FAIL The depository " + t.depositoryUrl() + " does not answer: SSL certificate problem";
     },
     false},
    {"depository down", [](SetupCheckTest &t) { t.server.stop(); },
     [](SetupCheckTest &t) { return "FAIL The depository " + t.depositoryUrl() + " does not answer: "; },
     false},
    {"output folder missing",
     [](SetupCheckTest &t) { QDir(t.folder.filePath("output")).removeRecursively(); },
     [](SetupCheckTest &t) {
         return "FAIL Output folder (IzhodniImenik) " + t.folder.filePath("output") + " does not exist";
     },
     false},
    {"type table missing", [](SetupCheckTest &t) { QFile::remove(t.folder.filePath("tipi.ini")); },
     [](SetupCheckTest &t) { return "FAIL Type table " + t.folder.filePath("tipi.ini") + " is not found"; },
     false},
    {"store missing",
     [](SetupCheckTest &t) {
         t.database.exec("UPDATE VORN_IMP_INI SET VALUE='MY' WHERE KEY='CERTIFICATESTORAGE'");
     },
     [](SetupCheckTest &t) {
         return "FAIL Certificate store MY does not exist: no folder " + t.stores.filePath("MY");
     },
     false},
    {"endpoint without URI",
     [](SetupCheckTest &t) { t.database.exec("DELETE FROM VORN_IMP_INI WHERE KEY='VORNURI'"); },
     [](SetupCheckTest &) {
         return QString(
             "FAIL The endpoint's service URI (VORNURI) is not set. To do: set VORNURI in VORN_IMP_INI");
     },
     false},
    {"own member code missing", [](SetupCheckTest &t) { t.database.exec("DELETE FROM INISET"); },
     [](SetupCheckTest &) { return QString("FAIL The own member code (INISET OZNAKACLANA) is not set"); },
     false},
    {"unknown alias", [](SetupCheckTest &t) { t.alias = "NOPE"; },
     [](SetupCheckTest &t) {
         return "FAIL Alias NOPE is not defined in " + t.database.aliasFilePath() +
                ". To do: define the alias in " + t.database.aliasFilePath();
     },
     false},
    {"settings file a FIFO",
     [](SetupCheckTest &t) {
         QFile::remove(t.folder.filePath("VornImport.ini"));
         ASSERT_EQ(::mkfifo(QFile::encodeName(t.folder.filePath("VornImport.ini")).constData(), 0600), 0);
     },
     [](SetupCheckTest &t) {
         return "FAIL Settings file " + t.folder.filePath("VornImport.ini") +
                " is not a regular file (a FIFO, device or folder)";
     },
     false},
    {"password equal to the member code", [](SetupCheckTest &t) { t.password = "1001"; },
     [](SetupCheckTest &t) {
         return "OK   Endpoint https://127.0.0.1:" + QString::number(t.server.port()) +
                "/ws/Members.svc/, member code 1001, certificate";
     },
     true},
    {"own member code as the member", [](SetupCheckTest &t) { t.member = "KDD7"; },
     [](SetupCheckTest &) { return QString("OK   Member KDD7 is the own member"); }, true},
    {"unreadable store folder",
     [](SetupCheckTest &t) { QFile::setPermissions(t.stores.filePath("Osebno"), QFile::WriteOwner); },
     [](SetupCheckTest &t) {
         return "FAIL Certificate store Osebno: the folder " + t.stores.filePath("Osebno") +
                " cannot be read. To do: give the user who runs the program read and search permission";
     },
     false, true},
    {"certificate the depository does not trust",
     [](SetupCheckTest &t) {
         t.putIntoStore(
             "1001.pem",
             TestPki::pem(
                 TestPki("Other Authority").issueClient("Clan 1001", NginxTestServer::FirstClientKeyId),
                 true));
     },
     [](SetupCheckTest &t) {
         return "FAIL The depository " + t.depositoryUrl() +
                " refuses the client certificate (HTTP/1.1 400 Bad Request: 400 The SSL certificate error)";
     },
     false},
    {"key identifier as openssl prints it",
     [](SetupCheckTest &t) {
         t.database.exec("UPDATE VORN_IMP_INI SET VALUE='0A:9B' WHERE KEY='CERTIFICATESUBJECTKEYID'");
     },
     [](SetupCheckTest &) {
         return QString(
             "FAIL The key identifier 0A:9B is no hexadecimal text: ':9' is not a valid hexadecimal "
             "byte. To do: write it as two hexadecimal digits per byte with nothing between them "
             "(0A9B) in VORN_IMP_INI");
     },
     false},
};

} // namespace

TEST_P(SetupCheckFaultTest, GivesItsLineAndResult)
{
    if (GetParam().needsNonRoot && ::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    GetParam().arrange(*this);
    EXPECT_EQ(run(member), GetParam().passes) << lines.join('\n').toStdString();
    const QString expected = GetParam().line(*this);
    EXPECT_EQ(lineStarting(expected).left(expected.size()).toStdString(), expected.toStdString());
    EXPECT_FALSE(lines.join('\n').contains(Password));
}

INSTANTIATE_TEST_SUITE_P(Faults, SetupCheckFaultTest, testing::ValuesIn(faults),
                         [](const testing::TestParamInfo<Fault> &info) {
                             std::string name = info.param.name;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });
