#include "ImportRacuni.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/AccountsReport.h"

using namespace AccountsReport;

namespace {

constexpr qsizetype kRecordLength = 479;
const QString kBlank = QStringLiteral(" ");
const QString kCountry = QStringLiteral("SVN");

// The host's kind letter of an account type: by its first character, compared exactly.
QString kindLetter(const QString &accountType)
{
    if (accountType.isEmpty())
        return QString();
    switch (accountType.front().unicode()) {
    case u'C':
    case u'U':
        return QStringLiteral("N");
    case u'H':
        return QStringLiteral("L");
    case u'P':
        return QStringLiteral("U");
    case u'T':
        return QString();
    default:
        return accountType.left(1);
    }
}

// A text element that may hold markup instead of text (postal code, comment): blank then.
template<class Read> QString readableOrBlank(Read read)
{
    try {
        return read();
    } catch (const EXMLDocError &) {
        return kBlank;
    }
}

// The LEI of a holder: AccountHolderLEI, else the identification number when it is of type LEI.
QString holderLei(const TXMLAccountHolder &holder)
{
    const QString lei = holder.AccountHolderLEI();
    if (!lei.isEmpty())
        return lei;
    if (holder.IdentificationNumberType() == u"LEI")
        return holder.IdentificationNumber();
    return kBlank;
}

} // namespace

QString TImportRacuni::outputFileName() const
{
    const QString base = sqlMode() ? QStringLiteral("racuni_sql.txt") : QStringLiteral("racuni.txt");
    if (TargetMemberCode.isEmpty() || TargetMemberCode == OwnMemberCode)
        return joinPath(OutputFolder, base);
    return joinPath(OutputFolder, memberFileName(base, TargetMemberCode));
}

bool TImportRacuni::isClosedBeforeToday(const TXMLMemberAccount &account) const
{
    const QString closeDate = account.CloseDate();
    return !closeDate.isEmpty() && ParseXmlDateTime(closeDate).date() < Clock::today();
}

QByteArray TImportRacuni::record(const QString &memberCode, const TXMLHeader &header,
                                 const TXMLMemberAccount &account, const TXMLAccountHolder *holder) const
{
    RecordBuilder record(kRecordLength);
    record.text("%-6.6s", memberCode)
        .text("%9.9s", qint64(account.AccountNumber()))
        .text("%-40.40s", account.MemberReference());
    if (holder) {
        const QString identification = holder->IdentificationNumber();
        record.text("%-15.15s", identification).text("%-15.15s", identification);
        record.date(holder->PartyType() == u"NP" ? ParseXmlDateTime(holder->BirthDate()).date()
                                                 : Clock::today());
        record.text("%-40.40s", holder->DisplayName())
            .text("%-15.15s", holder->BIC())
            .text("%-40.40s", holder->Person())
            .text("%-40.40s", holder->PermanentStreet())
            .text("%-10.10s", readableOrBlank([holder] { return holder->PermanentPostalCode(); }))
            .text("%-25.25s", holder->PermanentCity());
    } else {
        record.text("%-15.15s", kBlank).text("%-15.15s", kBlank).date(Clock::today());
        record.text("%-40.40s", kBlank)
            .text("%-15.15s", kBlank)
            .text("%-40.40s", kBlank)
            .text("%-40.40s", kBlank)
            .text("%-10.10s", kBlank)
            .text("%-25.25s", kBlank);
    }
    record.text("%-5.5s", kBlank)
        .text("%-3.3s", kCountry)
        .text("%-40.40s", kBlank)
        .text("%-10.10s", kBlank)
        .text("%-25.25s", kBlank)
        .text("%-5.5s", kBlank)
        .text("%-3.3s", kCountry)
        .text("%-15.15s", holder ? holder->BusinessPhone() : kBlank)
        .text("%-60.60s", account.IBAN())
        .date(ParseXmlDateTime(header.StatusDate()).date());
    if (holder)
        record.text("%10.10s", readableOrBlank([holder] { return holder->Comment(); }));
    else
        record.integer("%.10d", 0);
    const QString accountType = account.AccountType();
    record.text("%-1.1s", kindLetter(accountType))
        .text("%-1.1s", holder ? accountType.left(1) : kBlank)
        .text("%-8.8s", ParseXmlDateTime(account.OpenDate()).date().toString(u"ddMMyyyy"))
        .text("%-20.20s", holder ? holderLei(*holder) : kBlank);
    return record.take();
}

void TImportRacuni::Convert(QString &result)
{
    result.clear();
    try {
        // Refused also when the file name does not carry it, as every converter refuses it.
        RequireSafeMemberCode(TargetMemberCode);
        Document.setFileName(joinPath(InputFolder, QStringLiteral("MemberAccounts.xml")));
        OutputFileName = outputFileName();
        TXMLWSResponse *response = BindWSResponse(Document);
        TXMLMemberAccounts *report = response->Body()->MemberAccounts();
        const QString memberCode = report->MemberCode();
        IXMLMemberAccountList *accounts = report->MemberAccount();
        for (int i = 0; i < accounts->Count(); ++i) {
            TXMLMemberAccount *account = accounts->Items(i);
            if (OnlyActive && isClosedBeforeToday(*account))
                continue;
            IXMLAccountHolderList *holders = account->AccountHolder();
            if (holders->Count() == 0) {
                QByteArray line = record(memberCode, *response->Header(), *account, nullptr);
                if (kindLetter(account->AccountType()) != u"V")
                    OutputLines.append(std::move(line));
                continue;
            }
            for (int h = 0; h < holders->Count(); ++h) {
                QByteArray line = record(memberCode, *response->Header(), *account, holders->Items(h));
                const QString kind = kindLetter(account->AccountType());
                if (kind != u"V" && kind != u"G")
                    OutputLines.append(std::move(line));
            }
        }
        result = sqlMode() ? QStringLiteral("import racuni_sql OK") : QStringLiteral("import racuni OK");
        setStatus(ConversionStatus::Succeeded);
        // Only accounts files written earlier in this run can be found here: this conversion's
        // own file is written when the converter is released.
        TagMemberFiles(OutputFolder, QStringLiteral("racuni*.txt"), QStringLiteral("racuni.txt"),
                       TargetMemberCode, RunStartTime);
    } catch (const std::exception &error) {
        result = exceptionMessage(error);
        setStatus(ConversionStatus::Failed);
    }
}
