#include "common/Exception.h"
#include "conversion/VornConversion.h"
#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const QDate kDay(2024, 1, 15);

// A converter that only looks securities up.
class LookupConversion : public TVornConversion
{
public:
    using TVornConversion::CloseDatabase;
    using TVornConversion::completedStatus;
    using TVornConversion::FindSecurityCode;
    using TVornConversion::GetIniSetValue;
    using TVornConversion::OpenDatabase;
    using TVornConversion::TVornConversion;

protected:
    void Convert(QString &) override {}
};

class SecurityLookupTest : public testing::TestWithParam<HostEngine>
{
protected:
    TempDir program;
    std::unique_ptr<HostTestDatabase> host;
    std::unique_ptr<LookupConversion> conversion;
    QString missing;

    void SetUp() override
    {
        VORN_REQUIRE_HOST_ENGINE(GetParam());
        program.write("tipi.ini", "");
        host = std::make_unique<HostTestDatabase>(GetParam());
        host->createHostTables();
        conversion = std::make_unique<LookupConversion>(program.path());
    }

    void open(bool listingForm = false)
    {
        conversion->PapirPoKotacijiSLO = listingForm;
        conversion->OpenDatabase(host->alias().toLower(), userName(), "password");
    }

    // The test server's user; SQLite takes any.
    static QString userName()
    {
        const auto server = PostgresTestServer::fromEnvironment();
        return server ? server->user : QStringLiteral("user");
    }

    SecurityLookup find(const QString &isin, bool preferTransaImport = false)
    {
        return conversion->FindSecurityCode(isin, kDay, preferTransaImport, missing);
    }

    // Markets: 10 and 11 are "S" markets, 20 and 21 others.
    void createMarkets()
    {
        host->exec("INSERT INTO TRG VALUES (10, 'S'); INSERT INTO TRG VALUES (11, 'S');"
                   "INSERT INTO TRG VALUES (20, 'X'); INSERT INTO TRG VALUES (21, 'Y')");
    }
};

TEST_P(SecurityLookupTest, PlainFormFindsTheCodeOfARowValidAtTheDate)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'KRKG', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000002', 'OLD', '2024-01-14', 'N');"
               "INSERT INTO SFVP VALUES (3, 'SI0000000003', 'LASTDAY', '2024-01-15', 'N')");
    open();
    EXPECT_EQ(find("SI0000000001").code, "KRKG");
    EXPECT_EQ(find("SI0000000003").code, "LASTDAY");
    const SecurityLookup expired = find("SI0000000002");
    EXPECT_EQ(expired.code, "");
    EXPECT_EQ(expired.error, "Manjka VP za ISIN:SI0000000002");
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:SI0000000002");
}

TEST_P(SecurityLookupTest, PlainFormPrefersTheRowMarkedForTheTransactionsImportWhenAsked)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'FIRST', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'SECOND', NULL, 'D');"
               "INSERT INTO SFVP VALUES (3, 'SI0000000002', 'ONLY', NULL, 'N')");
    open();
    EXPECT_EQ(find("SI0000000001", true).code, "SECOND");
    EXPECT_EQ(find("SI0000000001", false).code, "FIRST");
    EXPECT_EQ(find("SI0000000002", true).code, "ONLY");
    EXPECT_EQ(missing, "");
}

TEST_P(SecurityLookupTest, AMissingIsinIsNamedOnceButReportedForEveryRecord)
{
    open();
    for (int record = 0; record < 3; ++record)
        EXPECT_EQ(find("SI0000000009").error, "Manjka VP za ISIN:SI0000000009");
    find("SI0000000008");
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:SI0000000009\r\nManjka VP za ISIN:SI0000000008");
    EXPECT_EQ(conversion->completedStatus(missing), ConversionStatus::MissingSecurities);
}

TEST_P(SecurityLookupTest, AnEmptyIsinMissingIsNamedOnceToo)
{
    open();
    find("");
    find("");
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:");
}

TEST_P(SecurityLookupTest, LongAndNonAsciiIsinsAreLookedUpAlike)
{
    host->exec(QString::fromUtf8("INSERT INTO SFVP VALUES (1, 'ČŠŽ000000001', 'LETTERS', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'SHORT', NULL, 'N')"));
    open();
    for (int record = 0; record < 2; ++record) {
        EXPECT_EQ(find(QString::fromUtf8("ČŠŽ000000001")).code, "LETTERS");
        EXPECT_EQ(find("SI0000000001").code, "SHORT");
        EXPECT_EQ(find("SI00000000012345678901").error, "Manjka VP za ISIN:SI00000000012345678901");
        EXPECT_EQ(find("XS000000000").error, "Manjka VP za ISIN:XS000000000");
    }
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:SI00000000012345678901\r\nManjka VP za ISIN:XS000000000");
}

TEST_P(SecurityLookupTest, CodesOfEveryLengthAndLetterReadAlikeFromTheDatabaseAndFromWhatWasKept)
{
    host->exec(QString::fromUtf8("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'K', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (2, 'SI0000000002', 'KRKG1234567', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (3, 'SI0000000003', 'KRKG12345678', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (4, 'SI0000000004', 'ČEŠNJA', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (5, 'SI0000000005', '', NULL, 'N');"
                                 "INSERT INTO SFVP VALUES (6, 'SI0000000006', NULL, NULL, 'N')"));
    open();
    const QStringList expected = {"K", "KRKG1234567", "KRKG12345678", QString::fromUtf8("ČEŠNJA"), "", ""};
    for (int record = 0; record < 2; ++record) {
        for (int i = 0; i < expected.size(); ++i) {
            const SecurityLookup found = find(QStringLiteral("SI000000000%1").arg(i + 1));
            EXPECT_EQ(found.code, expected[i]) << record << " " << i;
            EXPECT_EQ(found.code.isNull(), i == 5) << record << " " << i;
            EXPECT_TRUE(found.error.isEmpty());
        }
    }
    EXPECT_TRUE(missing.isEmpty());
}

TEST_P(SecurityLookupTest, ThousandsOfIsinsAtSeveralDatesAreKeptApart)
{
    // Enough ISINs for the kept results to outgrow their first table several times; every third
    // ISIN is unknown to the host, and one security ends on a date between the two looked at.
    QStringList rows;
    for (int i = 0; i < 3000; ++i) {
        if (i % 3 != 0)
            rows << QStringLiteral("(%1, 'SI%2', 'K%1', NULL, 'N')").arg(i).arg(i, 10, 10, QLatin1Char('0'));
    }
    host->exec("INSERT INTO SFVP VALUES " + rows.join(u','));
    host->exec("UPDATE SFVP SET ZPDVP = '2024-01-20' WHERE SFVP = 1000");
    open();
    const QDate later(2024, 2, 1);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 3000; ++i) {
            const QString isin = QStringLiteral("SI%1").arg(i, 10, 10, QLatin1Char('0'));
            const SecurityLookup atDay = conversion->FindSecurityCode(isin, kDay, false, missing);
            const SecurityLookup atLater = conversion->FindSecurityCode(isin, later, false, missing);
            const bool known = i % 3 != 0;
            ASSERT_EQ(atDay.code, known ? QStringLiteral("K%1").arg(i) : QString()) << pass << " " << i;
            ASSERT_EQ(atLater.code, known && i != 1000 ? QStringLiteral("K%1").arg(i) : QString())
                << pass << " " << i;
            ASSERT_EQ(atDay.error.isEmpty(), known) << pass << " " << i;
        }
    }
    EXPECT_EQ(missing.count(QStringLiteral("Manjka VP za ISIN:")), 1001);
}

TEST_P(SecurityLookupTest, AnIsinInsideAnotherLineIsStillNamed)
{
    open();
    find("SI00000000012");
    find("SI0000000001");
    find("SI0000000001");
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:SI00000000012\r\nManjka VP za ISIN:SI0000000001");
}

TEST_P(SecurityLookupTest, LinesAlreadyInTheTextCount)
{
    open();
    missing = "\r\nManjka VP za ISIN:SI0000000001";
    find("SI0000000001");
    missing += "\r\nManjka VP za ISIN:SI0000000002";
    find("SI0000000002");
    find("SI0000000003");
    EXPECT_EQ(missing, "\r\nManjka VP za ISIN:SI0000000001\r\nManjka VP za ISIN:SI0000000002\r\nManjka VP za "
                       "ISIN:SI0000000003");
    QString fresh;
    conversion->FindSecurityCode("SI0000000001", kDay, false, fresh);
    EXPECT_EQ(fresh, "\r\nManjka VP za ISIN:SI0000000001");
}

TEST_P(SecurityLookupTest, AQuoteInTheIsinIsDataNotSql)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI''0000001', 'QUOTED', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000002', 'OTHER', NULL, 'N')");
    for (const bool listingForm : {false, true}) {
        SCOPED_TRACE(listingForm);
        conversion = std::make_unique<LookupConversion>(program.path());
        missing.clear();
        open(listingForm);
        const QString hostile = "X' OR ISIN<>'";
        const SecurityLookup injected = find(hostile);
        EXPECT_EQ(injected.code, "");
        EXPECT_EQ(injected.error, "Manjka VP za ISIN:" + hostile);
        EXPECT_EQ(missing, "\r\nManjka VP za ISIN:" + hostile);
        if (!listingForm) {
            EXPECT_EQ(find("SI'0000001").code, "QUOTED");
        }
        conversion->CloseDatabase();
    }
}

TEST_P(SecurityLookupTest, ListingFormKeepsSecuritiesListedOnlyOnSMarkets)
{
    createMarkets();
    // Security 1 (A) is listed on an S market and another one, security 2 (B) on an S market only.
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'N');"
               "INSERT INTO KTC VALUES (1, 10, NULL); INSERT INTO KTC VALUES (1, 20, NULL);"
               "INSERT INTO KTC VALUES (2, 11, NULL)");
    open(true);
    EXPECT_EQ(find("SI0000000001").code, "B");
    EXPECT_EQ(missing, "");
}

TEST_P(SecurityLookupTest, ListingFormWithoutSMarketIsMissing)
{
    createMarkets();
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
               "INSERT INTO KTC VALUES (1, 20, NULL); INSERT INTO KTC VALUES (1, 21, NULL)");
    open(true);
    const SecurityLookup result = find("SI0000000001");
    EXPECT_EQ(result.code, "");
    EXPECT_EQ(result.error, "Manjka VP za ISIN:SI0000000001");
}

TEST_P(SecurityLookupTest, ListingFormWithOneRowTakesIt)
{
    createMarkets();
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
               "INSERT INTO KTC VALUES (1, 20, NULL)");
    open(true);
    EXPECT_EQ(find("SI0000000001").code, "A");
}

TEST_P(SecurityLookupTest, ListingFormCountsListingsNotEndedAtTheDate)
{
    createMarkets();
    // A's listing ended on the day asked, B's ends the day after.
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'N');"
               "INSERT INTO KTC VALUES (1, 10, '2024-01-15'); INSERT INTO KTC VALUES (2, 10, '2024-01-16')");
    open(true);
    EXPECT_EQ(find("SI0000000001").code, "B");
}

TEST_P(SecurityLookupTest, ListingFormPrefersTheMarkedRowWhenAsked)
{
    createMarkets();
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'D');"
               "INSERT INTO KTC VALUES (1, 10, NULL); INSERT INTO KTC VALUES (2, 20, NULL)");
    open(true);
    EXPECT_EQ(find("SI0000000001", true).code, "B");
    EXPECT_EQ(find("SI0000000001", false).code, "A");
}

TEST_P(SecurityLookupTest, ADatabaseErrorIsAppendedEveryTimeAndLeavesTheCodeEmpty)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N')");
    open();
    host->exec("DROP TABLE SFVP");
    const SecurityLookup first = find("SI0000000001");
    EXPECT_EQ(first.code, "");
    EXPECT_EQ(first.error, "");
    ASSERT_TRUE(missing.startsWith("\r\n"));
    find("SI0000000001");
    // Each failed lookup adds its own line with the engine's message.
    const QStringList messages = missing.split("\r\n");
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[1].contains("sfvp", Qt::CaseInsensitive)) << messages[1].toStdString();
    EXPECT_TRUE(messages[2].contains("sfvp", Qt::CaseInsensitive)) << messages[2].toStdString();
    EXPECT_EQ(conversion->completedStatus(missing), ConversionStatus::Failed);
}

// Results kept for a conversion, also those reused across dates, must be what a lookup of its
// own would give for every record.
TEST_P(SecurityLookupTest, KeptResultsAreThoseOfALookupPerRecordAtEveryDate)
{
    struct Case
    {
        const char *name;
        bool listingForm;
        const char *rows;
    };
    const Case cases[] = {
        {"plain, no end dates", false,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'FIRST', NULL, 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'MARKED', NULL, 'D')"},
        {"plain, the marked row ends", false,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'FIRST', NULL, 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'MARKED', '2024-01-15', 'D')"},
        {"plain, the only row ends", false,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'ONLY', '2024-01-15', 'N')"},
        {"listing, no end dates", true,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'D');"
         "INSERT INTO KTC VALUES (1, 10, NULL); INSERT INTO KTC VALUES (2, 11, NULL)"},
        {"listing, a listing ends", true,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'D');"
         "INSERT INTO KTC VALUES (1, 10, NULL); INSERT INTO KTC VALUES (1, 20, '2024-01-16');"
         "INSERT INTO KTC VALUES (2, 11, NULL)"},
        {"plain, rows ending on different days", false,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'EARLY', '2024-01-14', 'D');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'LATE', '2024-01-16', 'N');"
         "INSERT INTO SFVP VALUES (3, 'SI0000000001', 'OPEN', NULL, 'N')"},
        {"listing, listings ending on different days", true,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', '2024-01-31', 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'D');"
         "INSERT INTO KTC VALUES (1, 10, '2024-01-15'); INSERT INTO KTC VALUES (2, 11, '2024-01-17');"
         "INSERT INTO KTC VALUES (2, 20, '2024-01-16')"},
        {"listing, a security ends", true,
         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N');"
         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', '2024-01-15', 'D');"
         "INSERT INTO KTC VALUES (1, 10, NULL); INSERT INTO KTC VALUES (2, 11, NULL)"},
    };
    const QList<QDate> dates = {QDate(2024, 1, 15), QDate(2024, 1, 10), QDate(2024, 1, 14),
                                QDate(2024, 1, 16), QDate(2024, 1, 17), QDate(2024, 1, 31),
                                QDate(2024, 2, 1),  QDate(2024, 1, 15), QDate(2024, 1, 10)};
    createMarkets();
    QList<Case> allCases(std::begin(cases), std::end(cases));
    // A text that SQLite compares as text but that is no plain date: every date asks the host.
    if (GetParam() == HostEngine::SQLite)
        allCases.append({"plain, an end date with a time", false,
                         "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'FIRST', '2024-01-15 00:00:00', 'D');"
                         "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'SECOND', NULL, 'N')"});
    for (const Case &c : allCases) {
        SCOPED_TRACE(c.name);
        host->exec("DELETE FROM SFVP; DELETE FROM KTC");
        host->exec(c.rows);
        // One lookup per record: a fresh conversion for each.
        auto alone = [&](const QDate &date, bool preferTransaImport) {
            conversion = std::make_unique<LookupConversion>(program.path());
            open(c.listingForm);
            QString ignored;
            return conversion->FindSecurityCode("SI0000000001", date, preferTransaImport, ignored).code;
        };
        QStringList expected;
        for (const QDate &date : dates) {
            for (const bool prefer : {false, true})
                expected << alone(date, prefer);
        }
        conversion = std::make_unique<LookupConversion>(program.path());
        open(c.listingForm);
        QStringList found;
        for (const QDate &date : dates) {
            for (const bool prefer : {false, true})
                found << conversion->FindSecurityCode("SI0000000001", date, prefer, missing).code;
        }
        EXPECT_EQ(found, expected);
        conversion->CloseDatabase();
    }
}

TEST_P(SecurityLookupTest, GetIniSetValueReadsTheValueOfTheKey)
{
    host->exec(
        "INSERT INTO INISET VALUES ('OZNAKACLANA', 'ABC'); INSERT INTO INISET VALUES ('Q''uote', 'v')");
    open();
    EXPECT_EQ(conversion->GetIniSetValue("OZNAKACLANA"), "ABC");
    EXPECT_EQ(conversion->GetIniSetValue("Q'uote"), "v");
    EXPECT_EQ(conversion->GetIniSetValue("NONE"), "");
    host->exec("DROP TABLE INISET");
    EXPECT_THROW(conversion->GetIniSetValue("OZNAKACLANA"), EDatabaseError);
}

TEST_P(SecurityLookupTest, AnUnknownAliasCannotBeOpened)
{
    EXPECT_THROW(conversion->OpenDatabase("NO_SUCH_ALIAS", "user", "password"), EDatabaseError);
    QString result;
    conversion->Alias = "NO_SUCH_ALIAS";
    EXPECT_THROW(conversion->Execute(result), EDatabaseError);
    EXPECT_EQ(conversion->status(), ConversionStatus::NotRun);
}

INSTANTIATE_TEST_SUITE_P(Engines, SecurityLookupTest,
                         testing::Values(HostEngine::SQLite, HostEngine::PostgreSQL, HostEngine::ODBC),
                         [](const testing::TestParamInfo<HostEngine> &info) {
                             return hostEngineName(info.param);
                         });

} // namespace
