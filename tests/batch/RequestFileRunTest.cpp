#include "batch/RequestFileRun.h"

#include "common/IniFile.h"
#include "retrieval/FetchPeriod.h"
#include "ScopedClock.h"
#include "TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QMap>

namespace {
const QString Transactions = "Transakcije - MemberTransactions";
const QString CurrentDay = "Dnevne Transakcije - MemberTransactionsCurrentDay";
const QString Settlement =
    QString::fromUtf8("Poravnalne inštrukcije - MemberT2SSettlementInstructionsHistory");
const QString CorporateAction =
    QString::fromUtf8("Plačila korporacijskih akcij - MemberCorporateActionPayments");
const QString Statement = "DCA izpisek - MemberT2SBankToCustomerStatement";

// What the window showed when a fetch ran.
struct Fetch
{
    QString typeText;
    QDate from, to;
    QString member, caseNumber;
    bool conversionOnly;

    bool operator==(const Fetch &) const = default;
};

// The window as the series sees it: a fetch stores "<operation>.xml" in the input folder and logs a line,
// unless the test gives the type text an answer of its own.
class FakeControls : public RequestFileControls
{
public:
    explicit FakeControls(const TempDir &input) : m_input(input) {}

    QList<Fetch> fetches;
    QStringList lines{"start-up line"};
    QMap<QString, std::function<QString()>> answers; // by type text
    bool conversionOnly = true;
    QString member = "stale", caseNumber = "stale";
    std::function<void()> onSetPeriod;

    void untickConversionOnly() override { conversionOnly = false; }
    void setReportTypeText(const QString &text) override { m_typeText = text; }
    void setPeriod(const QDate &from, const QDate &to) override
    {
        if (onSetPeriod)
            onSetPeriod();
        m_from = from;
        m_to = to;
    }
    void setRemoteMemberText(const QString &text) override { member = text; }
    void setCurrentCaseNumber(const QString &number) override { caseNumber = number; }
    QString fetch() override
    {
        fetches << Fetch{m_typeText, m_from, m_to, member, caseNumber, conversionOnly};
        lines << "fetched " + m_typeText;
        if (answers.contains(m_typeText))
            return answers[m_typeText]();
        const QString name = m_typeText.mid(m_typeText.indexOf('-') + 2) + ".xml";
        return m_input.write(name, "<report/>");
    }
    void log(const QString &line) override { lines << line; }
    QStringList logLines() const override { return lines; }

private:
    const TempDir &m_input;
    QString m_typeText;
    QDate m_from, m_to;
};

class RequestFileRunTest : public testing::Test
{
protected:
    RequestFileRunTest() : clock(QDate(2024, 3, 20)), controls(input) {}

    // A request file with the host's own comment and section around the request.
    QString writeRequest(const QByteArray &request)
    {
        return folder.write("request.ini",
                            "; written by the host\r\n[Host]\r\nJob=7\r\n[Request]\r\n" + request +
                                "[Response]\r\nMemberTransactions=old\r\n[Messages]\r\n0=old\r\n");
    }

    void run(const QByteArray &request)
    {
        RequestFileRun(writeRequest(request), controls, "OWN", input.path()).ProcessRequestFile();
    }

    QString response(const QString &key) const
    {
        return IniFile(folder.filePath("request.ini")).readString("Response", key, "<missing>");
    }
    QStringList keys(const QString &section) const
    {
        return IniFile(folder.filePath("request.ini")).keys(section);
    }

    QList<Fetch> series(const QDate &from, const QDate &to, const QString &member,
                        const QStringList &caseNumbers)
    {
        QList<Fetch> fetches{{Transactions, from, to, member, "", false},
                             {CurrentDay, from, to, member, "", false},
                             {Settlement, from, to, member, "", false}};
        for (const QString &number : caseNumbers)
            fetches << Fetch{CorporateAction, from, to, member, number, false};
        fetches << Fetch{Statement, from, to, member, caseNumbers.isEmpty() ? "" : caseNumbers.back(), false};
        return fetches;
    }

    ScopedClock clock;
    TempDir folder;
    TempDir input;
    FakeControls controls;
};
} // namespace

TEST_F(RequestFileRunTest, FullSeriesWithTwoCaseNumbers)
{
    input.write("A7_MemberCorporateActionPayments.xml", "left from an earlier run");
    run("RequestId=12\r\nDateFrom=1.3.2024\r\nDateTo=15.03.2024\r\nMemberCode=R1\r\n"
        "CaseNumberCount=2\r\nCaseNumber1=A7\r\nCaseNumber2=B-9\r\n");

    const QDate from(2024, 3, 1), to(2024, 3, 15);
    EXPECT_EQ(controls.fetches, series(from, to, "R1", {"A7", "B-9"}));
    const QString stored = input.filePath("MemberCorporateActionPayments.xml");
    const QStringList log{"start-up line",
                          "fetched " + Transactions,
                          "fetched " + CurrentDay,
                          "fetched " + Settlement,
                          "MemberCorporateActionPayments CaseNo A7",
                          "fetched " + CorporateAction,
                          "GetFile, CaseNumber = A7, Xml = " + stored +
                              ", New = " + input.filePath("A7_MemberCorporateActionPayments.xml"),
                          "MemberCorporateActionPayments CaseNo B-9",
                          "fetched " + CorporateAction,
                          "GetFile, CaseNumber = B-9, Xml = " + stored +
                              ", New = " + input.filePath("B-9_MemberCorporateActionPayments.xml"),
                          "fetched " + Statement};
    EXPECT_EQ(controls.lines, log);

    EXPECT_EQ(keys("Response"),
              (QStringList{"MemberTransactions", "MemberTransactionsCurrentDay",
                           "MemberT2SSettlementInstructionsHistory", "MemberCorporateActionPayments_A7",
                           "MemberCorporateActionPayments_B-9", "MemberT2SBankToCustomerStatement"}));
    EXPECT_EQ(response("MemberTransactions"), input.filePath("MemberTransactions.xml"));
    EXPECT_EQ(response("MemberCorporateActionPayments_A7"),
              input.filePath("A7_MemberCorporateActionPayments.xml"));
    EXPECT_EQ(response("MemberCorporateActionPayments_B-9"),
              input.filePath("B-9_MemberCorporateActionPayments.xml"));
    EXPECT_EQ(input.read("A7_MemberCorporateActionPayments.xml"), "<report/>"); // the earlier file replaced
    EXPECT_FALSE(input.exists("MemberCorporateActionPayments.xml"));

    // The log from key 0, the host's lines kept, the earlier answer gone.
    QString expected = "; written by the host\r\n[Host]\r\nJob=7\r\n[Request]\r\nRequestId=12\r\n"
                       "DateFrom=1.3.2024\r\nDateTo=15.03.2024\r\nMemberCode=R1\r\nCaseNumberCount=2\r\n"
                       "CaseNumber1=A7\r\nCaseNumber2=B-9\r\n[Response]\r\n";
    const IniFile file(folder.filePath("request.ini"));
    for (const QString &key : file.keys("Response"))
        expected += key + "=" + file.readString("Response", key, "") + "\r\n";
    expected += "[Messages]\r\n";
    for (int i = 0; i < log.size(); ++i)
        expected += QString::number(i) + "=" + log[i] + "\r\n";
    EXPECT_EQ(QString::fromUtf8(folder.read("request.ini")), expected);
}

TEST_F(RequestFileRunTest, InvalidRequestIdWritesOnlyTheErrorMessage)
{
    for (const char *id : {"", "RequestId=0\r\n", "RequestId=-4\r\n", "RequestId=abc\r\n"}) {
        controls.fetches.clear();
        run(id);
        EXPECT_TRUE(controls.fetches.isEmpty()) << id;
        EXPECT_FALSE(controls.conversionOnly);
        EXPECT_EQ(keys("Response"), (QStringList{"MemberTransactions", "ErrorMessage"})) << id;
        EXPECT_EQ(response("ErrorMessage"), "Neveljaven RequestId.");
        EXPECT_EQ(keys("Messages"), QStringList{"0"});
    }
}

TEST_F(RequestFileRunTest, HexadecimalRequestIdIsAccepted)
{
    run("RequestId=0x1\r\nDateFrom=1.3.2024\r\nDateTo=1.3.2024\r\n");
    EXPECT_EQ(controls.fetches.size(), 4);
}

TEST_F(RequestFileRunTest, OwnMemberLeavesTheMemberBoxEmpty)
{
    for (const char *member : {"MemberCode=OWN\r\n", "MemberCode=own\r\n"}) {
        controls.fetches.clear();
        run(QByteArray("RequestId=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\n") + member);
        ASSERT_FALSE(controls.fetches.isEmpty());
        // Exact comparison: another letter case is a remote member's code.
        EXPECT_EQ(controls.fetches[0].member, QString(member).contains("OWN") ? "" : "own");
    }
}

TEST_F(RequestFileRunTest, DateToTodayEndsOnlyTheTransactionsYesterday)
{
    run("RequestId=1\r\nDateFrom=1.3.2024\r\nDateTo=20.3.2024\r\n");
    QList<Fetch> expected = series(QDate(2024, 3, 1), QDate(2024, 3, 20), "", {});
    expected[0].to = QDate(2024, 3, 19);
    EXPECT_EQ(controls.fetches, expected);
}

TEST_F(RequestFileRunTest, AFailedReportGetsItsFailureValueAndTheOthersStillRun)
{
    controls.answers[Transactions] = []() -> QString { throw EInvalidPeriod("Neveljavno obdobje."); };
    controls.answers[CurrentDay] = [] { return QString(); };
    controls.answers[Settlement] = [this] { return input.filePath("absent.xml"); };
    controls.answers[CorporateAction] = []() -> QString { throw EFOpenError("down"); };
    run("RequestId=1\r\nDateFrom=1.3.2024\r\nDateTo=15.3.2024\r\nCaseNumberCount=1\r\nCaseNumber1=77\r\n");

    EXPECT_EQ(controls.fetches.size(), 5);
    struct Case
    {
        QString key, value, error;
    };
    const Case cases[] = {
        {"MemberTransactions", "(MemberTransactions.xml)",
         "Exception: EInvalidPeriod: Neveljavno obdobje. (" + Transactions + ")"},
        {"MemberTransactionsCurrentDay", "(MemberTransactionsCurrentDay.xml)",
         "Exception: Exception: Napaka pri pridobivanju podatkov, ne najdem datoteke  (" + CurrentDay + ")"},
        {"MemberT2SSettlementInstructionsHistory", "(MemberT2SSettlementInstructionsHistory.xml)",
         "Exception: Exception: Napaka pri pridobivanju podatkov, ne najdem datoteke " +
             input.filePath("absent.xml") + " (" + Settlement + ")"},
        {"MemberCorporateActionPayments_77", "(MemberCorporateActionPayments_77.xml)",
         "Exception: EFOpenError: down (" + CorporateAction + " (77))"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(response(c.key), c.value);
        EXPECT_EQ(response("ErrorMessage_" + c.key), c.error);
    }
    EXPECT_EQ(response("MemberT2SBankToCustomerStatement"),
              input.filePath("MemberT2SBankToCustomerStatement.xml"));
    EXPECT_EQ(response("ErrorMessage_MemberT2SBankToCustomerStatement"), "<missing>");
    EXPECT_EQ(response("ErrorMessage"), "<missing>");
    EXPECT_EQ(keys("Messages").size(), controls.lines.size());
}

TEST_F(RequestFileRunTest, TestRunBuildsThePathsFromTheRequestAlone)
{
    struct Case
    {
        const char *member;
        QStringList names;
    };
    const Case cases[] = {
        {"",
         {"MemberTransactions.xml", "MemberTransactionsCurrentDay.xml",
          "MemberT2SSettlementInstructionsHistory.xml", "123_MemberCorporateActionPayments-123.xml",
          "MemberT2SBankToCustomerStatement.xml"}},
        {"R",
         {"MemberTransactionsR.xml", "MemberTransactionsCurrentDayR.xml",
          "MemberT2SSettlementInstructionsHistoryR.xml", "123_MemberCorporateActionPaymentsR-123.xml",
          "MemberT2SBankToCustomerStatementR.xml"}},
    };
    for (const Case &c : cases) {
        run(QByteArray("RequestId=1\r\nTest=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\nMemberCode=") +
            c.member + "\r\nCaseNumberCount=1\r\nCaseNumber1=123\r\n");
        EXPECT_TRUE(controls.fetches.isEmpty());
        const QStringList responseKeys{
            "MemberTransactions", "MemberTransactionsCurrentDay", "MemberT2SSettlementInstructionsHistory",
            "MemberCorporateActionPayments_123", "MemberT2SBankToCustomerStatement"};
        EXPECT_EQ(keys("Response"), responseKeys);
        for (int i = 0; i < responseKeys.size(); ++i)
            EXPECT_EQ(response(responseKeys[i]), QDir(input.path()).filePath(c.names[i]));
    }
    EXPECT_TRUE(input.files().isEmpty());
}

TEST_F(RequestFileRunTest, ARequestThatCannotBeReadStopsBeforeTheSeriesAndSaysWhy)
{
    struct Case
    {
        const char *request;
        QString expected;
    };
    const Case cases[] = {
        {"DateFrom=31.2.2024\r\nDateTo=1.3.2024\r\n",
         "EConvertError: '31.2.2024' is not a valid date (DateFrom)"},
        {"DateFrom=1.3.2024\r\n", "EConvertError: '' is not a valid date (DateTo)"},
        {"DateFrom=1.3.2024\r\nDateTo=2.3.2024\r\nCaseNumberCount=2\r\nCaseNumber1=5\r\nCaseNumber2=../x\r\n",
         "EInvalidCaseNumber: CaseNumber2 \"../x\" is not a valid case number: letters, digits, \"-\", \"_\" "
         "and \".\" are allowed."},
        {"DateFrom=1.3.2024\r\nDateTo=2.3.2024\r\nCaseNumberCount=1\r\nCaseNumber1=\r\n",
         "EInvalidCaseNumber: CaseNumber1 \"\" is not a valid case number: letters, digits, \"-\", \"_\" "
         "and \".\" are allowed."},
        {"DateFrom=1.3.2024\r\nDateTo=2.3.2024\r\nCaseNumberCount=2147483647\r\nCaseNumber1=5\r\n",
         "EInvalidCaseNumber: CaseNumber2 is missing (CaseNumberCount = 2147483647)"},
    };
    for (const Case &c : cases) {
        EXPECT_ANY_THROW(run(QByteArray("RequestId=3\r\n") + c.request)) << c.request;
        EXPECT_TRUE(controls.fetches.isEmpty());
        EXPECT_EQ(keys("Response"), QStringList{"ErrorMessage"});
        EXPECT_EQ(response("ErrorMessage"), c.expected);
        EXPECT_TRUE(keys("Messages").isEmpty());
    }
}

TEST_F(RequestFileRunTest, AFailureOfTheWholeRunWritesTheLogIntoResponse)
{
    int periods = 0;
    controls.onSetPeriod = [&periods] {
        if (++periods == 2)
            throw EConvertError("no period");
    };
    run("RequestId=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\n");
    EXPECT_EQ(controls.fetches.size(), 1);
    EXPECT_EQ(keys("Response"), (QStringList{"MemberTransactions", "ErrorMessage", "LogMessageCount",
                                             "LogMessage1", "LogMessage2"}));
    EXPECT_EQ(response("ErrorMessage"), "EConvertError: no period");
    EXPECT_EQ(response("LogMessageCount"), "2");
    EXPECT_EQ(response("LogMessage1"), "start-up line");
    EXPECT_EQ(response("LogMessage2"), "fetched " + Transactions);
    EXPECT_TRUE(keys("Messages").isEmpty());
}

TEST_F(RequestFileRunTest, ARequestFileThatCannotBeWrittenEndsTheRun)
{
    // At the first write, and in the middle of the series.
    const QString request = writeRequest("RequestId=0\r\n");
    QDir(folder.path()).removeRecursively();
    EXPECT_THROW(RequestFileRun(request, controls, "OWN", input.path()).ProcessRequestFile(), EIniFileError);

    TempDir other;
    const QString second = other.write("sub/request.ini", "[Request]\r\nRequestId=1\r\nDateFrom=1.3.2024\r\n"
                                                          "DateTo=2.3.2024\r\n");
    controls.answers[CurrentDay] = [&other]() -> QString {
        QDir(other.filePath("sub")).removeRecursively();
        throw EFOpenError("down");
    };
    EXPECT_THROW(RequestFileRun(second, controls, "OWN", input.path()).ProcessRequestFile(), EIniFileError);
    EXPECT_EQ(controls.fetches.size(), 2); // nothing more is fetched for a file that takes no answer
}
