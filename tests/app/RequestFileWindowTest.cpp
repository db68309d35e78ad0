#include "common/IniFile.h"
#include "HostTestDatabase.h"
#include "ScopedClock.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QPlainTextEdit>

namespace {
// The window as the host starts it with a request file: its own series runs at start-up.
class RequestFileWindowTest : public testing::Test
{
protected:
    RequestFileWindowTest() : clock(QDate(2024, 4, 20)), database(HostEngine::SQLite, "HOSTDB")
    {
        database.createHostTables();
        database.exec("INSERT INTO INISET (Kljuc, Vrednost) VALUES ('OZNAKACLANA', 'OWN7');"
                      "INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', 'r1/', 'S1', 'p1', 'MY')");
        input = program.folder.filePath("in");
    }

    TfrmMain &start(const QByteArray &settings, const QByteArray &request)
    {
        program.writeSettings("[Nastavitve]\nVhodniImenik=" + input.toUtf8() + "\n" + settings);
        requestFile = program.folder.write("request.ini", "[Request]\n" + request);
        window = std::make_unique<TfrmMain>(
            ProgramStart{program.programFilePath, {"HostDb", "u", "p", requestFile}}, &program.boxes);
        window->StartUp();
        return *window;
    }

    QString response(const QString &key) const
    {
        return IniFile(requestFile).readString("Response", key, "<missing>");
    }

    ScopedClock clock;
    HostTestDatabase database;
    WindowTestProgram program;
    QString input, requestFile;
    std::unique_ptr<TfrmMain> window;
};
} // namespace

TEST_F(RequestFileWindowTest, TestRunSetsTheWindowAndWritesTheLog)
{
    TfrmMain &w =
        start("Pretvorba=1\nDebug=D\n", "RequestId=5\nTest=1\nDateFrom=1.4.2024\nDateTo=10.04.2024\n"
                                        "MemberCode=R1\nCaseNumberCount=1\nCaseNumber1=9\n");

    EXPECT_FALSE(w.justConvert());
    EXPECT_EQ(w.dateFrom(), QDate(2024, 4, 1));
    EXPECT_EQ(w.dateTo(), QDate(2024, 4, 10));
    EXPECT_EQ(w.remoteMemberText(), "R1");
    EXPECT_EQ(w.reportTypeText(), "DCA izpisek - MemberT2SBankToCustomerStatement");
    EXPECT_EQ(response("MemberTransactions"), QDir(input).filePath("MemberTransactionsR1.xml"));
    EXPECT_EQ(response("MemberCorporateActionPayments_9"),
              QDir(input).filePath("9_MemberCorporateActionPaymentsR1-9.xml"));

    // "Messages" holds the window's log from key 0: start-up's debug lines, then the series' own.
    const IniFile file(requestFile);
    const QStringList log = childControl<QPlainTextEdit>(w, "mmMessages")->toPlainText().split('\n');
    ASSERT_GT(log.size(), 1);
    EXPECT_EQ(log.back(), "MemberCorporateActionPayments CaseNo 9");
    EXPECT_EQ(file.keys("Messages").size(), log.size());
    for (int i = 0; i < log.size(); ++i)
        EXPECT_EQ(file.readString("Messages", QString::number(i), "<missing>"), log[i]);
}

TEST_F(RequestFileWindowTest, TheWindowsFetchFailuresReachTheResponse)
{
    // No output folder: the clock probe of every fetch fails, and each report says so.
    start("", "RequestId=5\nDateFrom=1.4.2024\nDateTo=10.04.2024\nMemberCode=OWN7\n");
    EXPECT_EQ(window->remoteMemberText(), "");
    EXPECT_EQ(response("MemberTransactions"), "(MemberTransactions.xml)");
    EXPECT_TRUE(response("ErrorMessage_MemberTransactions")
                    .startsWith("Exception: EFCreateError: No output folder is set"));
    EXPECT_TRUE(response("ErrorMessage_MemberTransactions").endsWith(" (Transakcije - MemberTransactions)"));
    EXPECT_EQ(response("MemberT2SBankToCustomerStatement"), "(MemberT2SBankToCustomerStatement.xml)");
    EXPECT_TRUE(program.boxes.messages.isEmpty());
}

TEST_F(RequestFileWindowTest, ADateThatIsNoneFailsStartUpAndIsWrittenDown)
{
    EXPECT_THROW(start("", "RequestId=5\nDateFrom=31.2.2024\nDateTo=10.04.2024\n"), EConvertError);
    EXPECT_EQ(response("ErrorMessage"), "EConvertError: '31.2.2024' is not a valid date (DateFrom)");
    // Start-up's box, which in the unattended run goes to the log instead of waiting.
    const QString box = "Napaka 21: EConvertError>'31.2.2024' is not a valid date (DateFrom)";
    EXPECT_EQ(program.boxes.messages, QStringList{box});
    EXPECT_TRUE(childControl<QPlainTextEdit>(*window, "mmMessages")->toPlainText().endsWith(box));
}
