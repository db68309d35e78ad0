#pragma once

#include "conversion/OpenTable.h"
#include "conversion/VornConversion.h"
#include "reports/XmlItemWindows.h"

#include <future>
#include <optional>
#include <QDate>
#include <QHash>
#include <QString>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class PerDateFiles;
class TXMLValueText;
class TXMLHeader;
namespace TransactionsReport {
class TXMLMemberTransaction;
}
namespace SettlementInstructionsReport {
class TXMLMemberSettlementInstruction;
}

// The trade details of one settlement instruction that a transactions record carries.
struct alignas(64) TMemberTradeClass
{
    // Columns 17 to 21 of a record (price, trade reference, trade date twice, settlement date),
    // written once when the instruction is loaded: a transaction copies them from this one place,
    // which a million transactions in no order of tickets find outside the processor's cache.
    static constexpr qsizetype kColumnsLength = 84;
    char Columns[kColumnsLength];
    // False when a value failed to read: a transaction then writes the columns from the texts,
    // and fails as it would have.
    bool ColumnsWritten = false;

    QString Price;
    QString TradeDateTime;
    QString SettlementDate;
    QString TradeReference;
};

// Converts the period transactions report MemberTransactions.xml into the host's transactions
// import files: one 694-character record per converted transaction, in a file per transaction
// date (transa20240115.txt), merged with the trade details of the transaction's settlement
// instruction from MemberSettlementInstructions.xml. The files of the member are deleted at
// the start and tagged with the member code at the end (transa20240115_ABC.txt, or
// transa_ABC.txt for a single file).
class TImportTransa : public TVornConversion
{
public:
    explicit TImportTransa(const QString &programFolder);

    QString TargetMemberCode;           // deletion mask and tag of the files
    QString FileSuffix;                 // non-empty: MemberTransactions_<suffix>.xml
    bool TransaImportPreferred = false; // the lookup prefers securities marked for this import
    // The reports are read a window of items at a time (see TXMLItemWindows), of about this size.
    qint64 ReportWindowBytes = TXMLItemWindows::kWindowBytes;

protected:
    enum class ReportKind
    {
        Period,
        CurrentDay
    };
    TImportTransa(const QString &programFolder, ReportKind kind);

    void Convert(QString &result) override;

    // Reads MemberSettlementInstructions.xml from the input folder. Any failure stops the loading
    // silently; the instructions read before it stay. Touches nothing but the instructions, so
    // that it can run beside the loading of the transactions report.
    void LoadSettlementInstructions();
    // The first instruction whose ticket number, in decimal, equals the key; null when none.
    const TMemberTradeClass *FindSettlementInstruction(std::string_view key) const;

    // The first instruction per ticket number, in the order read. They are found by number
    // (the key's text is the number's decimal form) through a compact table, which a million
    // transactions in no order of tickets search faster than a hash of the instructions.
    std::vector<TMemberTradeClass> SettlementInstructions;
    bool UseMoveSequence = true;
    QString ErrorList;    // missing securities and lookup errors
    QString LastTypeFlag; // the fifth field of the type-table row last found

private:
    struct Ticket
    {
        quint32 number = 0;
        bool operator==(const Ticket &) const = default;
        size_t hash() const { return qHash(number, QHashSeed::globalSeed()); }
    };

    QString inputFileName() const;
    // Keeps the trade details of the instruction unless its ticket number came before.
    void addSettlementInstruction(SettlementInstructionsReport::TXMLMemberSettlementInstruction &instruction);
    void convertTransactions(PerDateFiles &files, std::future<void> &instructionsLoaded);
    void convertTransaction(TransactionsReport::TXMLMemberTransaction &transaction, int position,
                            const QString &memberCode, PerDateFiles &files);
    // FindType of the type table, kept per type code and direction: a report repeats few types.
    const TypeLookup &findType(std::string_view code, int direction);
    // Starts bringing the places of the transaction's instruction and security into the
    // processor's cache: records come in no order of either, so both look-ups would miss it.
    void prefetchLookups(const TXMLValueText &source, const TXMLValueText &isin) const;
    // Column 21 of a transaction without instruction: the header's ToDate.
    QDate settlementDateWithoutInstruction();

    ReportKind m_kind;
    TXMLHeader *m_header = nullptr;
    std::optional<QDate> m_toDate;
    // Found by the code as the report holds it, for the directions 1 and 2.
    struct CodeHash
    {
        using is_transparent = void;
        size_t operator()(std::string_view code) const { return std::hash<std::string_view>()(code); }
    };
    std::unordered_map<std::string, TypeLookup, CodeHash, std::equal_to<>> m_knownTypes[2];
    OpenTable<Ticket, qint32> m_instructionByTicket; // the place in SettlementInstructions
};

// Converts the current-day transactions report MemberTransactionsCurrentDay.xml into the same
// files as TImportTransa. A transaction without settlement instruction takes today's date as its
// settlement date when the report's header has no ToDate.
class TImportTransaToday : public TImportTransa
{
public:
    explicit TImportTransaToday(const QString &programFolder)
        : TImportTransa(programFolder, ReportKind::CurrentDay)
    {
    }
};
