#include "host/HostDatabase.h"

#include "common/Exception.h"
#include "HostEngineTest.h"
#include "ScopedAliasFile.h"
#include "TempDir.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

namespace {
// The security tables: two securities of one ISIN (one valid through 15 March 2024) on a market "S" and
// a market "X", and an expired security of another ISIN.
const char *const securities = R"(
INSERT INTO TRG (Sftrg, SFDRZTRG) VALUES (10, 'S');
INSERT INTO TRG (Sftrg, SFDRZTRG) VALUES (20, 'X');
INSERT INTO SFVP (SFVP, ISIN, KRT, ZPDVP, VornTransaImport) VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N');
INSERT INTO SFVP (SFVP, ISIN, KRT, ZPDVP, VornTransaImport) VALUES (2, 'SI0031102120', 'KRKG2', '2024-03-15', 'D');
INSERT INTO SFVP (SFVP, ISIN, KRT, ZPDVP, VornTransaImport) VALUES (3, 'SI0021110513', 'OLD', '2024-03-14', NULL);
INSERT INTO KTC (SFVP, SFTRG, DANPRK) VALUES (1, 10, NULL);
INSERT INTO KTC (SFVP, SFTRG, DANPRK) VALUES (1, 20, NULL);
INSERT INTO KTC (SFVP, SFTRG, DANPRK) VALUES (2, 20, '2024-03-15');
INSERT INTO KTC (SFVP, SFTRG, DANPRK) VALUES (2, 10, '2024-03-16');
)";

QStringList column(HostQuery &query, const QString &name)
{
    QStringList values;
    for (query.first(); !query.eof(); query.next())
        values << query.fieldText(name);
    return values;
}

class HostDatabaseTest : public HostEngineTest
{
protected:
    void openConnection(const QString &alias = QStringLiteral("HOSTDB"))
    {
        connection.setParams({QStringLiteral("USER NAME=") + qEnvironmentVariable("VORN_TEST_PG_USER"),
                              QStringLiteral("PASSWORD=unused")});
        connection.setAlias(alias);
        connection.open();
    }

    HostConnection connection;
};
VORN_ON_EVERY_ENGINE(HostDatabaseTest);
} // namespace

TEST_P(HostDatabaseTest, ReadsTheHostConfigurationTableWithItsKeyAndValueColumns)
{
    database->exec("INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('VornUri', 'host/svc/Members.svc/');"
                   "INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('CertificatePath', NULL)");
    openConnection(QStringLiteral("hostdb")); // looked up in upper case
    HostQuery query(connection);
    query.addSql("SELECT * from VORN_IMP_INI");
    query.open();
    ASSERT_EQ(query.recordCount(), 2);
    EXPECT_EQ(query.fieldText("KEY"), "VornUri");
    EXPECT_EQ(query.fieldText("value"), "host/svc/Members.svc/");
    query.next();
    EXPECT_EQ(query.fieldText("Value"), ""); // null reads as empty text
    query.next();
    EXPECT_TRUE(query.eof());
    query.next(); // stays past the end
    EXPECT_TRUE(query.eof());
}

TEST_P(HostDatabaseTest, StatementWithoutRowsOpensAndIsPastTheEndAtOnce)
{
    openConnection();
    HostQuery query(connection);
    query.addSql("SELECT VREDNOST from INISET where Kljuc='none' ");
    query.open();
    EXPECT_TRUE(query.isOpen());
    EXPECT_TRUE(query.eof());
    EXPECT_EQ(query.recordCount(), 0);
    EXPECT_THROW(query.fieldText("VREDNOST"), EDatabaseError);
}

TEST_P(HostDatabaseTest, MissingTableOrColumnFailsOnOpenWithTheEngineMessage)
{
    openConnection();
    const std::pair<const char *, const char *> cases[] = {
        {"SELECT * from VORN_NO_SUCH_TABLE", "vorn_no_such_table"},
        {"SELECT NO_SUCH_COLUMN from INISET", "no_such_column"},
    };
    for (const auto &[statement, named] : cases) {
        HostQuery query(connection);
        query.addSql(statement);
        try {
            query.open();
            ADD_FAILURE() << statement << " opened";
        } catch (const EDatabaseError &error) {
            EXPECT_TRUE(error.message().contains(named, Qt::CaseInsensitive))
                << error.message().toStdString();
        }
        EXPECT_TRUE(query.eof());
    }
}

TEST_P(HostDatabaseTest, UnknownColumnOfARowIsAnError)
{
    database->exec("INSERT INTO INISET (Kljuc, Vrednost) VALUES ('A', 'B')");
    openConnection();
    HostQuery query(connection);
    query.addSql("SELECT * from INISET");
    query.open();
    EXPECT_THROW(query.fieldText("Missing"), EDatabaseError);
}

TEST_P(HostDatabaseTest, HostSettingLookupsByKey)
{
    database->exec("INSERT INTO INISET (Kljuc, Vrednost) VALUES ('SfVpVornTransaImport', 'D');"
                   "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('oznakaClana', 'M77');"
                   "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('TransaUseMoveSequence', 'N')");
    openConnection();
    HostQuery query(connection);
    struct Case
    {
        const char *statement;
        const char *expected;
    };
    const Case cases[] = {
        {"Select VREDNOST from INISET where Kljuc='SfVpVornTransaImport' ", "D"},
        {"Select VREDNOST from INISET where upper(Kljuc)='OZNAKACLANA' ", "M77"},
    };
    for (const Case &c : cases) {
        query.clearSql();
        query.addSql(c.statement);
        query.open();
        EXPECT_EQ(column(query, "VREDNOST"), QStringList{c.expected}) << c.statement;
        query.close();
    }

    query.clearSql();
    query.addSql("SELECT Vrednost FROM INISET WHERE Kljuc = :Kljuc");
    for (const auto &[key, expected] :
         {std::pair{"TransaUseMoveSequence", QStringList{"N"}}, std::pair{"Missing", QStringList{}},
          std::pair{"it's", QStringList{}}}) {
        query.bindText("Kljuc", key);
        query.open();
        EXPECT_EQ(column(query, "Vrednost"), expected) << key;
    }
}

TEST_P(HostDatabaseTest, PlainSecurityLookupCountsAValidityEndingOnTheDate)
{
    database->exec(securities);
    openConnection();
    HostQuery query(connection);
    struct Case
    {
        QDate date;
        bool preferTransaImport;
        QStringList codes;
    };
    const Case cases[] = {
        {QDate(2024, 3, 15), true, {"KRKG", "KRKG2"}},
        {QDate(2024, 3, 16), true, {"KRKG"}},
        {QDate(2024, 3, 15), false, {"KRKG", "KRKG2"}},
    };
    for (const Case &c : cases) {
        query.close();
        query.clearSql();
        query.addSql(QStringLiteral("SELECT KRT, VornTransaImport from SFVP WHERE ISIN='") + "SI0031102120" +
                     "' AND (ZPDVP IS NULL OR ZPDVP >= :Dan )" +
                     (c.preferTransaImport ? " ORDER BY SfVp " : ""));
        query.bindDate("Dan", c.date);
        query.open();
        QStringList codes = column(query, "KRT");
        if (!c.preferTransaImport)
            codes.sort(); // no ORDER BY: the order is the engine's
        EXPECT_EQ(codes, c.codes) << c.date.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(query.recordCount(), c.codes.size());
    }
}

TEST_P(HostDatabaseTest, ListingFormLookupBindsTheDateAtBothPlacesAndOrdersByTip)
{
    database->exec(securities);
    openConnection();
    struct Case
    {
        const char *firstLine; // the converters' form reads VornTransaImport, the workbook's does not
        QDate date;
        QStringList rows; // Tip KRT SFDRZTRG
    };
    const char *converterForm =
        "SELECT DISTINCT (CASE WHEN T.SFDRZTRG='S' THEN 1 ELSE 2 END) as Tip, S.KRT, S.SFVP, T.SFDRZTRG, "
        "S.VornTransaImport from SFVP S, KTC K, TRG T WHERE S.ISIN='SI0031102120' AND (S.ZPDVP IS NULL OR "
        "S.ZPDVP >= :Dan)";
    const char *workbookForm =
        "SELECT DISTINCT (CASE WHEN T.SFDRZTRG='S' THEN 1 ELSE 2 END) as Tip, S.KRT, S.SFVP, "
        "T.SFDRZTRG from SFVP S, KTC K, TRG T WHERE S.ISIN='SI0031102120' AND (S.ZPDVP IS NULL "
        "OR S.ZPDVP >= :Dan)";
    // On 15 March the listing of KRKG2 on "X" has ended (DANPRK must lie after the date); on 14 March it has
    // not.
    const QStringList on15th{"1 KRKG S", "1 KRKG2 S", "2 KRKG X"};
    const QStringList on14th{"1 KRKG S", "1 KRKG2 S", "2 KRKG X", "2 KRKG2 X"};
    const Case cases[] = {
        {converterForm, QDate(2024, 3, 15), on15th},
        {converterForm, QDate(2024, 3, 14), on14th},
        {workbookForm, QDate(2024, 3, 15), on15th},
        {workbookForm, QDate(2024, 3, 16), {"1 KRKG S", "2 KRKG X"}},
    };
    for (const Case &c : cases) {
        HostQuery query(connection);
        query.addSql(c.firstLine);
        query.addSql(
            " and S.SFVP=K.SFVP and (K.DANPRK is null OR K.DANPRK>:Dan) AND T.Sftrg=K.SFTRG ORDER BY Tip, "
            "S.SFVP, T.SFDRZTRG");
        query.bindDate("Dan", c.date);
        query.open();
        QStringList rows;
        for (; !query.eof(); query.next())
            rows << query.fieldText("Tip") + " " + query.fieldText("KRT") + " " + query.fieldText("SFDRZTRG");
        EXPECT_EQ(rows, c.rows) << c.date.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(query.recordCount(), c.rows.size());
    }
}

TEST_P(HostDatabaseTest, ReopeningAStatementRebindsItsParameters)
{
    database->exec(securities);
    openConnection();
    HostQuery query(connection);
    query.addSql("SELECT KRT from SFVP WHERE ISIN='SI0021110513' AND (ZPDVP IS NULL OR ZPDVP >= :Dan )");
    query.bindDate("Dan", QDate(2024, 3, 14));
    query.open();
    EXPECT_EQ(column(query, "krt"), QStringList{"OLD"});
    query.bindDate("Dan", QDate(2024, 3, 15));
    query.open();
    EXPECT_EQ(query.recordCount(), 0);
}

TEST_P(HostDatabaseTest, AStatementRunAgainSeesNewRowsNewTextAndOnlyTheValuesBoundThisTime)
{
    database->exec(securities);
    openConnection();
    HostQuery query(connection);
    const QString lookup =
        "SELECT KRT from SFVP WHERE ISIN=:Isin AND (ZPDVP IS NULL OR ZPDVP >= :Dan) ORDER BY SFVP";
    query.addSql(lookup);
    query.bindText("Isin", "SI0031102120");
    query.bindDate("Dan", QDate(2024, 3, 15));
    query.open();
    EXPECT_EQ(column(query, "KRT"), QStringList({"KRKG", "KRKG2"}));
    // Rows added meanwhile are read by the next run of the same statement.
    database->exec(
        "INSERT INTO SFVP (SFVP, ISIN, KRT, ZPDVP, VornTransaImport) VALUES (4, 'SI0031102120', 'NEW', "
        "NULL, 'N')");
    query.open();
    EXPECT_EQ(column(query, "KRT"), QStringList({"KRKG", "KRKG2", "NEW"}));
    // The same text with the date left unbound compares with null, not with the date of before.
    query.clearSql();
    query.addSql(lookup);
    query.bindText("Isin", "SI0031102120");
    query.open();
    EXPECT_EQ(column(query, "KRT"), QStringList({"KRKG", "NEW"}));
    // Another text on the same query object.
    query.clearSql();
    query.addSql("SELECT ISIN from SFVP WHERE KRT = :Krt");
    query.bindText("Krt", "OLD");
    query.open();
    EXPECT_EQ(column(query, "isin"), QStringList{"SI0021110513"});
    // A connection opened anew runs the statement on the new connection.
    connection.close();
    openConnection();
    query.open();
    EXPECT_EQ(column(query, "ISIN"), QStringList{"SI0021110513"});
}

TEST_P(HostDatabaseTest, AStatementThatFailedRunsAgainOnceTheCauseIsGone)
{
    openConnection();
    HostQuery query(connection);
    query.addSql("SELECT Vrednost FROM INISET WHERE Kljuc = :Kljuc");
    query.bindText("Kljuc", "A");
    query.open();
    EXPECT_EQ(query.recordCount(), 0);
    database->exec("DROP TABLE INISET");
    EXPECT_THROW(query.open(), EDatabaseError);
    EXPECT_FALSE(query.isOpen());
    database->exec("CREATE TABLE INISET (Kljuc varchar(60), Vrednost varchar(250));"
                   "INSERT INTO INISET VALUES ('A', 'ena')");
    query.open();
    EXPECT_EQ(column(query, "Vrednost"), QStringList{"ena"});
}

TEST_P(HostDatabaseTest, RemoteMemberColumnsAreFoundByTheirMixedCaseNames)
{
    database->exec("INSERT INTO VORN_REMOTECLAN VALUES ('M2', 'https', 'r/Members.svc', 'AB12', '/c', 'MY')");
    openConnection();
    HostQuery query(connection);
    query.addSql("SELECT * from VORN_REMOTECLAN");
    query.open();
    QStringList values;
    for (const char *name : {"VornMemberCode", "VornProtocol", "VornUri", "CertificateSubjectKeyID",
                             "CertificatePath", "CertificateStorage"})
        values << query.fieldText(name);
    EXPECT_EQ(values, QStringList({"M2", "https", "r/Members.svc", "AB12", "/c", "MY"}));
}

TEST_P(HostDatabaseTest, QueryOnAClosedConnectionFails)
{
    HostQuery query(connection);
    query.addSql("SELECT * from INISET");
    EXPECT_THROW(query.open(), EDatabaseError);
    openConnection();
    connection.close();
    EXPECT_FALSE(connection.isOpen());
    EXPECT_THROW(query.open(), EDatabaseError);
}

TEST_P(HostDatabaseTest, AliasThatTheFileDoesNotNameFailsNamingAliasAndFile)
{
    HostConnection other;
    other.setAlias("nodb");
    try {
        other.open();
        FAIL() << "opened";
    } catch (const EDatabaseError &error) {
        EXPECT_TRUE(error.message().contains("NODB")) << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(database->aliasFilePath())) << error.message().toStdString();
    }
    EXPECT_FALSE(other.isOpen());
}

TEST(HostDatabaseAliasTest, MissingAliasFileFailsNamingAliasAndFile)
{
    TempDir dir;
    ScopedAliasFile aliases(dir.filePath("aliases.ini"), "");
    QFile::remove(aliases.path());
    HostConnection connection;
    connection.setAlias("Demo");
    try {
        connection.open();
        FAIL() << "opened";
    } catch (const EDatabaseError &error) {
        EXPECT_TRUE(error.message().contains("DEMO")) << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(aliases.path())) << error.message().toStdString();
    }
}

TEST(HostDatabaseAliasTest, SQLiteNeverCreatesAMissingDatabase)
{
    TempDir dir;
    ScopedAliasFile aliases(dir.filePath("aliases.ini"),
                            ScopedAliasFile::sqliteSection("demo", "missing.sqlite"));
    HostConnection connection;
    connection.setAlias("DEMO"); // the section [demo] matches without regard to case
    try {
        connection.open();
        FAIL() << "opened";
    } catch (const EDatabaseError &error) {
        EXPECT_TRUE(error.message().contains(dir.filePath("missing.sqlite")))
            << error.message().toStdString();
    }
    EXPECT_FALSE(dir.exists("missing.sqlite"));
}

TEST(HostDatabaseAliasTest, InvalidAliasSectionsFailAtOpen)
{
    struct Case
    {
        const char *section;
        const char *messagePart;
    };
    const Case cases[] = {
        {"[X]\nDriver=ORACLE\nDatabase=a\n", "ORACLE"},
        {"[X]\nDriver=POSTGRESQL\n", "Database"},
        {"[X]\nDriver=POSTGRESQL\nDatabase=a\nPort=abc\n", "abc"},
        {"[Y]\nDriver=SQLITE\nDatabase=a\n", "not defined"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        ScopedAliasFile aliases(dir.filePath("aliases.ini"), c.section);
        HostConnection connection;
        connection.setAlias("x");
        try {
            connection.open();
            ADD_FAILURE() << c.section << " opened";
        } catch (const EDatabaseError &error) {
            EXPECT_TRUE(error.message().contains(c.messagePart)) << error.message().toStdString();
        }
    }
}

TEST(HostDatabaseAliasTest, AFileThatIsNoDatabaseFailsAtOpen)
{
    TempDir dir;
    const QString path = dir.write("host.sqlite", QByteArray(4096, 'x'));
    ScopedAliasFile aliases(dir.filePath("aliases.ini"), ScopedAliasFile::sqliteSection("DEMO", path));
    HostConnection connection;
    connection.setAlias("DEMO");
    EXPECT_THROW(connection.open(), EDatabaseError);
    EXPECT_EQ(dir.read("host.sqlite"), QByteArray(4096, 'x'));
}

namespace {
class HostDatabaseServerTest : public testing::TestWithParam<HostEngine>
{
};
INSTANTIATE_TEST_SUITE_P(Engines, HostDatabaseServerTest,
                         testing::Values(HostEngine::PostgreSQL, HostEngine::ODBC), hostEngineTestName);
} // namespace

TEST_P(HostDatabaseServerTest, UserNameReachesTheServer)
{
    VORN_REQUIRE_HOST_ENGINE(GetParam());
    HostTestDatabase database(GetParam());
    HostConnection connection;
    connection.setAlias(database.alias());
    connection.setParams({"USER NAME=vorn_no_such_role", "PASSWORD=x"});
    try {
        connection.open();
        FAIL() << "opened with an unknown role";
    } catch (const EDatabaseError &error) {
        EXPECT_TRUE(error.message().contains("vorn_no_such_role")) << error.message().toStdString();
    }
}

// The test server trusts its users, so any password opens; one that smuggled its text into the
// connection's other settings would name a database that does not exist.
TEST_P(HostDatabaseServerTest, APasswordIsOneValueWhateverItHolds)
{
    VORN_REQUIRE_HOST_ENGINE(GetParam());
    HostTestDatabase database(GetParam());
    database.createHostTables();
    database.exec("INSERT INTO INISET (Kljuc, Vrednost) VALUES ('A', 'ena')");
    for (const char *password : {"x;Database=vorn_no_such_db", "x};Database=vorn_no_such_db;{",
                                 "{x;Database=vorn_no_such_db}", "'x\\;Database=vorn_no_such_db"}) {
        HostConnection connection;
        connection.setAlias(database.alias());
        connection.setParams({"USER NAME=" + qEnvironmentVariable("VORN_TEST_PG_USER"),
                              QStringLiteral("PASSWORD=") + password});
        try {
            connection.open();
            HostQuery query(connection);
            query.addSql("SELECT Vrednost FROM INISET");
            query.open();
            EXPECT_EQ(column(query, "Vrednost"), QStringList{"ena"}) << password;
        } catch (const EDatabaseError &error) {
            ADD_FAILURE() << password << ": " << error.message().toStdString();
        }
    }
}

TEST(HostDatabaseOdbcTest, AUserNameThatWouldEndItsSettingIsRefused)
{
    VORN_REQUIRE_HOST_ENGINE(HostEngine::ODBC);
    HostTestDatabase database(HostEngine::ODBC);
    HostConnection connection;
    connection.setAlias(database.alias());
    connection.setParams(
        {"USER NAME=" + qEnvironmentVariable("VORN_TEST_PG_USER") + ";Database=vorn_test", "PASSWORD=x"});
    try {
        connection.open();
        FAIL() << "opened";
    } catch (const EDatabaseError &error) {
        EXPECT_EQ(error.message(), "Alias HOSTDB: an ODBC user name cannot contain \";\"");
    }
    EXPECT_FALSE(connection.isOpen());
}

namespace {
// Another program writing to the SQLite host database, that gives up at once when the file is locked.
class ImpatientWriter
{
public:
    explicit ImpatientWriter(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        db.setDatabaseName(path);
        db.open();
    }
    ~ImpatientWriter() { QSqlDatabase::removeDatabase(m_name); }

    bool write(int key)
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        return query.exec(QStringLiteral("INSERT INTO INISET VALUES ('K%1', 'V')").arg(key));
    }

private:
    const QString m_name = QStringLiteral("impatient-writer");
};

int countRows(HostConnection &connection)
{
    HostQuery query(connection);
    query.addSql(QStringLiteral("SELECT COUNT(*) AS N FROM INISET"));
    query.open();
    return query.fieldText(QStringLiteral("N")).toInt();
}

// A SQLite host database with an open connection and a read batch on it.
class HostReadBatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        database.createHostTables();
        connection.setAlias(database.alias());
        connection.open();
    }

    HostTestDatabase database{HostEngine::SQLite};
    HostConnection connection;
    HostReadBatch batch{connection};
};
} // namespace

TEST_F(HostReadBatchTest, SQLiteStatementsShareOneReadLockForAMomentOnly)
{
    ImpatientWriter writer(database.folder().filePath(QStringLiteral("host.sqlite")));

    batch.enter();
    EXPECT_EQ(countRows(connection), 0);
    batch.enter();
    EXPECT_EQ(countRows(connection), 0);
    // The statements are done, but the batch still holds the file's read lock.
    EXPECT_FALSE(writer.write(1));

    QThread::msleep(150);
    batch.endIfDue();
    EXPECT_TRUE(writer.write(2));
    batch.enter();
    EXPECT_EQ(countRows(connection), 1);

    batch.end();
    EXPECT_TRUE(writer.write(3));
    EXPECT_EQ(countRows(connection), 2);

    // A held lock goes with its connection.
    batch.enter();
    EXPECT_EQ(countRows(connection), 2);
    connection.close();
    EXPECT_TRUE(writer.write(4));
    batch.end();
}

TEST_F(HostReadBatchTest, AStatementFailingInABatchLeavesLaterOnesWorking)
{
    batch.enter();
    HostQuery broken(connection);
    broken.addSql(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
    EXPECT_THROW(broken.open(), EDatabaseError);
    batch.end();
    batch.enter();
    EXPECT_EQ(countRows(connection), 0);
}
