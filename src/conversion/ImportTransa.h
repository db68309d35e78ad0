#pragma once

#include "conversion/FileWriterThread.h"
#include "conversion/OpenTable.h"
#include "conversion/VornConversion.h"

#include <future>
#include <memory>
#include <optional>
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <unordered_map>
#include <utility>

class TXMLHeader;
namespace TransactionsReport {
class TXMLMemberTransaction;
}

// The trade details of one settlement instruction that a transactions record carries.
struct TMemberTradeClass
{
    QString Price;
    QString TradeDateTime;
    QString SettlementDate;
    QString TradeReference;

    // The same read when loaded, so that a transaction finds them without reading the texts
    // again; empty where the reading failed: the transaction then reads the text, and fails as
    // it would have.
    std::optional<double> PriceValue;
    std::optional<QDate> TradeDate;
    std::optional<QDate> SettlementDay;
};

// The "transa" files of one conversion, one per transaction date, each written through one
// handle that stays open for the conversion, by a thread of their own. The first line a conversion writes to
// a date's file replaces any file of that name, so that a file an earlier failed conversion left untagged
// never reaches the host again under this member's name; later lines are appended.
class TransaFiles
{
public:
    // At most maxOpenFiles handles are open at once: a report over more dates than that closes
    // them all and reopens each date's file for appending when it is next written.
    explicit TransaFiles(const QString &folder, int maxOpenFiles = 256);
    ~TransaFiles(); // closes every file, ignoring errors: the lines written so far stay on disk

    // "transa" with the date as "yyyymmdd" and ".txt".
    static QString fileName(const QDate &date);

    // Adds the line and CR LF to the date's file; the bytes reach the disk in larger pieces, at
    // the latest when the files are closed or released. Throws EFCreateError when the file cannot be
    // created or opened, EInOutError when it cannot be written.
    void append(const QDate &date, QByteArrayView line);
    // Flushes and closes every file; throws EInOutError when a file cannot be written.
    void close();

    TransaFiles(const TransaFiles &) = delete;
    TransaFiles &operator=(const TransaFiles &) = delete;

private:
    struct OpenFile
    {
        explicit OpenFile(const QString &path) : file(path) { pending.reserve(kWriteSize + 1024); }
        QFile file;
        QByteArray pending; // lines not yet written
    };
    static constexpr qsizetype kWriteSize = 64 * 1024;

    OpenFile &openFile(const QDate &date);
    void write(OpenFile &open);

    QString m_folder;
    int m_maxOpenFiles;
    std::unordered_map<qint64, std::unique_ptr<OpenFile>> m_open; // by Julian day
    QSet<qint64> m_written;    // Julian days whose file this conversion has replaced
    FileWriterThread m_writer; // last: it finishes writing before the files close
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
    const TMemberTradeClass *FindSettlementInstruction(const QString &key) const;

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
    void convertTransactions(TransaFiles &files, std::future<void> &instructionsLoaded);
    void convertTransaction(TransactionsReport::TXMLMemberTransaction &transaction, int position,
                            const QString &memberCode, TransaFiles &files);
    // FindType of the type table, kept per type code and direction: a report repeats few types.
    TypeLookup findType(const QString &code, int direction);
    // Column 21 of a transaction without instruction: the header's ToDate.
    QDate settlementDateWithoutInstruction();

    ReportKind m_kind;
    TXMLHeader *m_header = nullptr;
    std::optional<QDate> m_toDate;
    QHash<std::pair<QString, int>, TypeLookup> m_knownTypes;
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
