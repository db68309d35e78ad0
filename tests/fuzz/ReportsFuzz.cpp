// Fuzz target: a stored report loaded and bound as each report of the depository, and every
// property of every record read: once in the order of the classes (the quick path of the node
// objects) and once, from a fresh document, backwards (the path through the index of a node's
// children). Both must read the same.
#include "reports/ReportDocuments.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <QFile>
#include <QTemporaryDir>

namespace {

QString asText(const QString &value)
{
    return value;
}
QString asText(qint32 value)
{
    return QString::number(value);
}
QString asText(quint32 value)
{
    return QString::number(value);
}
QString asText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// A failure to read is the expected outcome for a hostile file; its message stands for the value.
QString attempt(const std::function<QString()> &read)
{
    try {
        return read();
    } catch (const Exception &error) {
        return QStringLiteral("failed: ") + error.message();
    }
}

// What one walk of a document read, property by property in the order of the classes. The
// properties of each record are read in that order, or backwards: the values must not differ.
struct Walk
{
    bool backwards = false;
    QStringList values;
};
Walk *walking = nullptr;

template<class Node, class... Getters> void readEach(Node *node, Getters... getters)
{
    const std::array<std::function<QString()>, sizeof...(Getters)> reads{
        [node, getters] { return asText((node->*getters)()); }...};
    std::array<QString, sizeof...(Getters)> values;
    for (size_t i = 0; i < reads.size(); ++i) {
        const size_t at = walking->backwards ? reads.size() - 1 - i : i;
        values[at] = attempt(reads[at]);
    }
    walking->values.append(QStringList(values.begin(), values.end()));
    walking->values << attempt([node] { return node->Text(); });
}

template<class List, class WalkItem> void walkList(List *list, WalkItem walkItem)
{
    walking->values << QString::number(list->Count());
    for (int i = 0; i < list->Count(); ++i)
        walkItem(list->Items(i));
}

void walk(TXMLHeader *header)
{
    using H = TXMLHeader;
    readEach(header, &H::GUID, &H::TimeStamp, &H::StatusDate, &H::FromDate, &H::ToDate);
}

void walk(PositionsReport::TXMLMemberAccountPositions *report)
{
    using namespace PositionsReport;
    using P = TXMLMemberAccountPosition;
    readEach(report, &TXMLMemberAccountPositions::MemberCode);
    walkList(report->MemberAccountPosition(), [](P *position) {
        readEach(position, &P::AccountNumber, &P::RawAccountNumber, &P::IBAN, &P::IsinCode, &P::TotalVolume,
                 &P::AvailableVolume, &P::FrozenVolume, &P::LastChangeDateTime);
    });
}

void walk(AccountsReport::TXMLMemberAccounts *report)
{
    using namespace AccountsReport;
    using A = TXMLMemberAccount;
    using H = TXMLAccountHolder;
    readEach(report, &TXMLMemberAccounts::MemberCode);
    walkList(report->MemberAccount(), [](A *account) {
        readEach(account, &A::AccountType, &A::AccountNumber, &A::RawAccountNumber, &A::IBAN, &A::AccountName,
                 &A::MemberReference, &A::RegistryCode, &A::JointHolderType, &A::BankAccountNumber,
                 &A::BankAccountReference, &A::OpenDate, &A::CloseDate);
        walkList(account->AccountHolder(), [](H *holder) {
            readEach(holder, &H::PrimaryHolder, &H::PercentageHeld, &H::IdentificationNumberType,
                     &H::IdentificationNumber, &H::PartyType, &H::BirthDate, &H::DisplayName,
                     &H::TaxIdentification, &H::PermanentStreet, &H::PermanentExtendedAddress,
                     &H::PermanentLocality, &H::PermanentPostalCode, &H::PermanentCity, &H::PermanentCountry,
                     &H::PermanentRegion, &H::MailingStreet, &H::MailingExtendedAddress, &H::MailingLocality,
                     &H::MailingPostalCode, &H::MailingCity, &H::MailingCountry, &H::MailingRegion,
                     &H::Person, &H::BusinessPhone, &H::MobilePhone, &H::Fax, &H::HomePhone, &H::WebPage,
                     &H::Email, &H::BIC, &H::Comment, &H::AccountHolderLEI);
        });
    });
}

void walk(TransactionsReport::TXMLMemberTransactions *report)
{
    using namespace TransactionsReport;
    using T = TXMLMemberTransaction;
    readEach(report, &TXMLMemberTransactions::MemberCode);
    walkList(report->MemberTransaction(), [](T *transaction) {
        readEach(transaction, &T::MoveSequence, &T::TransactionType, &T::TransactionStatus,
                 &T::TransactionNumber, &T::SourceTransactionNumber, &T::TransactionDateTime,
                 &T::TransactionReference, &T::IsinCode, &T::RequestMemberCode, &T::AccountNumber,
                 &T::SubaccountNumber, &T::Volume, &T::TransactionValue, &T::Currency);
    });
}

void walk(AllocationsReport::TXMLMemberAllocations *report)
{
    using namespace AllocationsReport;
    using A = TXMLMemberAllocation;
    readEach(report, &TXMLMemberAllocations::MemberCode);
    walkList(report->MemberAllocation(), [](A *allocation) {
        readEach(allocation, &A::TicketNumber, &A::TradeSide, &A::AllocationStatus, &A::TradeAccountNumber,
                 &A::IsinCode, &A::Volume, &A::AllocationMemberCode, &A::AllocationAccountNumber,
                 &A::AllocationOrderNumber, &A::AllocationSubaccountNumber, &A::AllocationActionType,
                 &A::TradeDateTime, &A::SettlementDate, &A::AllocationDateTime);
    });
}

void walk(SettlementInstructionsReport::TXMLMemberSettlementInstructions *report)
{
    using namespace SettlementInstructionsReport;
    using S = TXMLMemberSettlementInstruction;
    readEach(report, &TXMLMemberSettlementInstructions::SettlementMemberCode);
    walkList(report->MemberSettlementInstruction(), [](S *instruction) {
        readEach(instruction, &S::TicketNumber, &S::MicCode, &S::TradeStatus, &S::TradeSide,
                 &S::TradingMemberCode, &S::CounterTradingMemberCode, &S::OriginalAccountType,
                 &S::OriginalAccountNumber, &S::TradingAccountType, &S::TradingAccountNumber,
                 &S::ClearingMemberCode, &S::SettlementAccountType, &S::SettlementAccountNumber, &S::IsinCode,
                 &S::Volume, &S::Price, &S::Value, &S::Currency, &S::AccruedInterest, &S::TradeDateTime,
                 &S::TradeReference, &S::SettlementDate, &S::CancelTime);
    });
}

// Binds the document as the report of one namespace and walks the header and each report
// element of its body.
template<class Response, class... Reports> void walkResponse(Response *response, Reports... reports)
{
    walk(response->Header());
    (walk((response->Body()->*reports)()), ...);
}

// Binding fails alike for every report; what a walk read before a failure stays recorded.
template<class Bind, class... Reports> void walkReport(TXMLDocument &document, Bind bind, Reports... reports)
{
    walking->values << attempt([&] {
        walkResponse(bind(document), reports...);
        return QString();
    });
}

// Loads a fresh document from the file and walks it as every report.
QStringList walkDocument(const QString &path, bool backwards)
{
    TXMLDocument document;
    document.setFileName(path);
    Walk walk{backwards, {}};
    walking = &walk;
    walkReport(document, PositionsReport::BindWSResponse, &PositionsReport::TXMLBody::MemberAccountPositions);
    walkReport(document, AccountsReport::BindWSResponse, &AccountsReport::TXMLBody::MemberAccounts);
    walkReport(document, TransactionsReport::BindWSResponse,
               &TransactionsReport::TXMLBody::MemberTransactions);
    walkReport(document, TransactionsCurrentDayReport::BindWSResponse,
               &TransactionsCurrentDayReport::TXMLBody::MemberTransactionsCurrentDay);
    walkReport(document, AllocationsReport::BindWSResponse, &AllocationsReport::TXMLBody::MemberAllocations,
               &AllocationsReport::TXMLBody::MemberAllocationsCurrentDay);
    walkReport(document, SettlementInstructionsReport::BindWSResponse,
               &SettlementInstructionsReport::TXMLBody::MemberSettlementInstructions);
    walking = nullptr;
    return walk.values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QTemporaryDir dir;
    const QString path = dir.filePath("report.xml");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            __builtin_trap(); // the harness itself failed, not the reader
    }
    // The order in which a record's properties are read must not change what they read.
    if (walkDocument(path, false) != walkDocument(path, true))
        __builtin_trap();
    return 0;
}
