#include "host/HostConfiguration.h"

#include "common/Exception.h"
#include "HostEngineTest.h"
#include "RecordingMessenger.h"

namespace {
class HostConfigurationTest : public HostEngineTest
{
protected:
    HostConfiguration read(bool showDatabaseErrors, const QString &alias = QStringLiteral("hostdb"))
    {
        return ReadHostConfiguration({alias, qEnvironmentVariable("VORN_TEST_PG_USER"), "secret"},
                                     showDatabaseErrors, messenger);
    }

    void insertRemoteMembers(int count)
    {
        QString statements;
        for (int i = 1; i <= count; ++i)
            statements +=
                QStringLiteral("INSERT INTO VORN_REMOTECLAN VALUES ('R%1', 'https', 'r%1/Members.svc', "
                               "'SKI%1', 'path%1', 'MY');")
                    .arg(i);
        database->exec(statements);
    }

    RecordingMessenger messenger;
};
VORN_ON_EVERY_ENGINE(HostConfigurationTest);

const char *const endpointRows = R"(
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('VORNPROTOCOL', 'https');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('vornuri', 'host/svc/Members.svc');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('VornMemberCode', 'M0');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('VORNMEMBERCODE', 'M1');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('CertificateSubjectKeyID', '0A1B2C');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('CERTIFICATEPATH', 'C:\certs\m1.pfx');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('CERTIFICATESTORAGE', 'MY');
INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('OTHER', 'ignored');
INSERT INTO INISET (Kljuc, Vrednost) VALUES ('SfVpVornTransaImport', 'D');
INSERT INTO INISET (Kljuc, Vrednost) VALUES ('oznakaclana', 'OWN7');
)";
} // namespace

TEST_P(HostConfigurationTest, ReadsEndpointHostSettingsAndRemoteMembers)
{
    database->exec(endpointRows);
    database->exec("INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', 'r1/Members.svc', 'S1', 'p1', 'MY');"
                   "INSERT INTO VORN_REMOTECLAN VALUES ('R2', 'http', 'r2/', 'S2', 'p2', 'ROOT');"
                   "INSERT INTO VORN_REMOTECLAN VALUES ('R3', 'https', 'r3', NULL, NULL, NULL)");
    const HostConfiguration configuration = read(false);

    const Endpoint expected{"M1", "https", "host/svc/Members.svc/", "0A1B2C", "C:\\certs\\m1.pfx", "MY"};
    EXPECT_EQ(configuration.ConfiguredEndpoint, expected); // later VORNMEMBERCODE row wins, "/" appended
    EXPECT_TRUE(configuration.TransaImportPreferred);
    EXPECT_EQ(configuration.OwnMemberCode, "OWN7");
    EXPECT_EQ(configuration.MemberBoxItems, QStringList({" ", "R1", "R2", "R3"}));
    EXPECT_EQ(configuration.RemoteMembers[0], (Endpoint{"R1", "https", "r1/Members.svc", "S1", "p1", "MY"}));
    EXPECT_EQ(configuration.RemoteMembers[1].VornUri, "r2/");
    EXPECT_EQ(configuration.RemoteMembers[2], (Endpoint{"R3", "https", "r3", "", "", ""})); // URI as stored
    EXPECT_EQ(configuration.RemoteMembers[3], Endpoint{});
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_P(HostConfigurationTest, WritesTheDebugLinesInOrder)
{
    database->exec(endpointRows);
    messenger.debugEnabled = true;
    read(false);
    EXPECT_EQ(messenger.lines, QStringList({"K9", "https", "host/svc/Members.svc/", "M1", "0A1B2C",
                                            "C:\\certs\\m1.pfx", "MY", "K10", "OznakaClana: OWN7"}));
}

TEST_P(HostConfigurationTest, TransaImportIsPreferredOnlyForAnExactCapitalD)
{
    const std::pair<const char *, bool> cases[] = {
        {"d", false}, {"N", false}, {"DA", false}, {"", false}, {"D", true}};
    for (const auto &[value, preferred] : cases) {
        database->exec(QStringLiteral("DELETE FROM INISET; INSERT INTO INISET (Kljuc, Vrednost) VALUES "
                                      "('SfVpVornTransaImport', '%1')")
                           .arg(value));
        EXPECT_EQ(read(false).TransaImportPreferred, preferred) << value;
    }
}

TEST_P(HostConfigurationTest, EmptyTablesLeaveEverythingEmpty)
{
    const HostConfiguration configuration = read(true);
    EXPECT_EQ(configuration.ConfiguredEndpoint, Endpoint{});
    EXPECT_TRUE(configuration.OwnMemberCode.isEmpty());
    EXPECT_FALSE(configuration.TransaImportPreferred);
    EXPECT_EQ(configuration.MemberBoxItems, QStringList{" "});
}

TEST_P(HostConfigurationTest, RemoteMembersBeyondTheTableAreLeftOutWithADebugLine)
{
    insertRemoteMembers(103);
    messenger.debugEnabled = true;
    const HostConfiguration configuration = read(true);
    EXPECT_EQ(configuration.MemberBoxItems.size(), 1 + RemoteMemberCapacity);
    EXPECT_EQ(configuration.MemberBoxItems.last(), "R101");
    EXPECT_EQ(configuration.RemoteMembers[100].VornMemberCode, "R101");
    EXPECT_EQ(messenger.lines.last(), "VORN_REMOTECLAN: 2 rows left out, the remote member table holds 101");
}

TEST_P(HostConfigurationTest, ExactlyAFullTableLeavesNothingOut)
{
    insertRemoteMembers(101);
    messenger.debugEnabled = true;
    const HostConfiguration configuration = read(true);
    EXPECT_EQ(configuration.RemoteMembers[100].VornMemberCode, "R101");
    EXPECT_FALSE(messenger.lines.last().startsWith("VORN_REMOTECLAN"));
}

TEST_P(HostConfigurationTest, FailedConnectionIsSilentUnlessDatabaseErrorsAreShown)
{
    const HostConfiguration configuration = read(false, "UNKNOWN");
    EXPECT_EQ(configuration.MemberBoxItems, QStringList{" "});
    EXPECT_TRUE(messenger.messages.isEmpty());

    try {
        read(true, "UNKNOWN");
        FAIL() << "no error raised";
    } catch (const EDatabaseError &error) {
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_EQ(messenger.messages[0], "Napaka K4: EDatabaseError>" + error.message());
        EXPECT_TRUE(error.message().contains("UNKNOWN"));
    }
}

TEST_P(HostConfigurationTest, FailedReadKeepsWhatWasReadBeforeUnlessDatabaseErrorsAreShown)
{
    database->exec(endpointRows);
    insertRemoteMembers(2);
    database->exec("DROP TABLE INISET");
    const HostConfiguration configuration = read(false);
    EXPECT_EQ(configuration.ConfiguredEndpoint.VornMemberCode, "M1");
    EXPECT_TRUE(configuration.OwnMemberCode.isEmpty());
    EXPECT_FALSE(configuration.TransaImportPreferred);
    EXPECT_EQ(configuration.MemberBoxItems, QStringList{" "});
    EXPECT_TRUE(messenger.messages.isEmpty());

    try {
        read(true);
        FAIL() << "no error raised";
    } catch (const std::exception &error) {
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_TRUE(messenger.messages[0].startsWith("Napaka K19: EDatabaseError>"))
            << messenger.messages[0].toStdString();
        EXPECT_TRUE(messenger.messages[0].contains("iniset", Qt::CaseInsensitive));
        EXPECT_EQ(exceptionClassName(error), "EDatabaseError");
    }
}

TEST_P(HostConfigurationTest, MissingRemoteMemberColumnAddsNoHalfRecord)
{
    database->exec(
        "DROP TABLE VORN_REMOTECLAN; CREATE TABLE VORN_REMOTECLAN (VornMemberCode varchar(20), VornProtocol "
        "varchar(10)); INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https');"
        "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('OZNAKACLANA', 'OWN7')");
    const HostConfiguration configuration = read(false);
    EXPECT_EQ(configuration.OwnMemberCode, "OWN7"); // read before the failure
    EXPECT_EQ(configuration.RemoteMembers[0], Endpoint{});
    EXPECT_EQ(configuration.MemberBoxItems, QStringList{" "});
}
