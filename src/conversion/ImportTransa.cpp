#include "ImportTransa.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/PerDateFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/SettlementInstructionsReport.h"
#include "reports/TransactionsReport.h"
#include "reports/XmlValues.h"

#include <algorithm>
#include <charconv>
#include <future>
#include <limits>
#include <optional>
#include <QVarLengthArray>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

using TransactionsReport::TXMLMemberTransaction;

namespace {

constexpr qsizetype kRecordLength = 694;
// The items of both reports stand at WSResponse/Body/<list>/<item>.
constexpr size_t kItemDepth = 4;
const QString kLineBreak = QStringLiteral("\r\n");
const QString kBaseName = QStringLiteral("transa.txt");

// The record's field formats, read once rather than per record.
constexpr RecordFormat kBlank1("%-1.1s");
constexpr RecordFormat kNumber9("%.9d");
constexpr RecordFormat kText5("%-5.5s");
constexpr RecordFormat kPosition("%.5d");
constexpr RecordFormat kNumber4("%.4d");
constexpr RecordFormat kAccountNumber("%11.11s");
constexpr RecordFormat kText40("%-40.40s");
constexpr RecordFormat kText39("%-39.39s");
constexpr RecordFormat kBlank15("%-15.15s");
constexpr RecordFormat kCode("%-12.12s");
constexpr RecordFormat kQuantity("%.16d");
constexpr RecordFormat kAmount("%17.4f");
constexpr RecordFormat kBlank128("%-128s");
constexpr RecordFormat kBlank17("%17.17s");
constexpr RecordFormat kText20("%-20.20s");
constexpr RecordFormat kText100("%-100.100s");
constexpr RecordFormat kBlank20("%20.20s");
constexpr RecordFormat kDateTime("%25.25s");

// A decimal text of the reports: every point becomes a comma, and the result is read with the
// comma as decimal separator ("1234.5" is 1234,5; "1,234.5" is no number). The units are those
// of UTF-16, or the bytes of an ASCII text.
template<class Unit> double decimalValueOf(const Unit *text, qsizetype size)
{
    const auto invalid = [text, size] {
        QString withComma;
        if constexpr (std::is_same_v<Unit, char>)
            withComma = QString::fromLatin1(text, size);
        else
            withComma = QString(reinterpret_cast<const QChar *>(text), size);
        withComma.replace(u'.', u',');
        return EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(withComma));
    };
    // Surrounding white space is ignored, as trimming would.
    qsizetype begin = 0;
    qsizetype end = size;
    while (begin < end && QChar::isSpace(char32_t(text[begin])))
        ++begin;
    while (end > begin && QChar::isSpace(char32_t(text[end - 1])))
        --end;
    // Read into a buffer on the stack: this runs twice per transaction.
    QVarLengthArray<char, 64> number;
    int separators = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t u = char16_t(text[i]);
        if (u == u',' || u == u'.') {
            ++separators;
            number.append('.');
        } else if ((u >= u'0' && u <= u'9') || u == u'-' || u == u'+' || u == u'e' || u == u'E') {
            number.append(char(u));
        } else {
            throw invalid();
        }
    }
    const char *first = number.data();
    const char *last = first + number.size();
    if (first != last && *first == '+' && (last - first < 2 || first[1] != '-'))
        ++first;
    double value = 0;
    const auto parsed = std::from_chars(first, last, value);
    if (separators > 1 || first == last || parsed.ec != std::errc() || parsed.ptr != last)
        throw invalid();
    return value;
}

double decimalValue(const QString &text)
{
    return decimalValueOf(text.utf16(), text.size());
}

double decimalValue(std::string_view utf8)
{
    if (XmlValues::isAscii(utf8))
        return decimalValueOf(utf8.data(), qsizetype(utf8.size()));
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    return decimalValue(text);
}

// SourceTransactionNumber as a number: 0 when it is empty or not an integer (by QString::toInt).
qint64 integerOrZero(std::string_view utf8)
{
    // Plain digits, the usual form, are read here; the rest as QString::toInt reads them.
    if (!utf8.empty() && utf8.size() <= 9 &&
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        qint64 value = 0;
        for (const char c : utf8)
            value = value * 10 + (c - '0');
        return value;
    }
    bool ok = false;
    const int value = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toInt(&ok);
    return ok ? value : 0;
}

// The ticket number whose decimal form the text is, exactly: "000123", "+123" or " 123" name
// no ticket.
std::optional<quint32> ticketNumberOf(std::string_view text)
{
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    quint64 number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + quint64(c - '0');
    }
    if (number > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return quint32(number);
}

// Columns 17 to 21 of a record from an instruction's texts; throws for a value that cannot be read.
// The columns of the X-flagged trade reference start with "X".
void writeTradeColumns(RecordBuilder &record, const TMemberTradeClass &trade, bool tradeFlag)
{
    record.decimal(kAmount, decimalValue(trade.Price));
    if (tradeFlag)
        record.text(kBlank1, u"X").text(kText39, trade.TradeReference); // "X" and the reference, in 40
    else
        record.text(kText40, trade.TradeReference);
    const QDate tradeDate = ParseXmlDate(trade.TradeDateTime);
    record.date(tradeDate).date(tradeDate).date(ParseXmlDate(trade.SettlementDate));
}

// The write rule of the type table: "D" writes only moves into the account, "N" or none writes
// every line, any other rule none.
bool writesLine(const QString &rule, qint32 volume)
{
    if (rule == u"D")
        return volume >= 0;
    return rule == u"N" || rule.isEmpty();
}

} // namespace

TImportTransa::TImportTransa(const QString &programFolder) : TImportTransa(programFolder, ReportKind::Period)
{
}

TImportTransa::TImportTransa(const QString &programFolder, ReportKind kind)
    : TVornConversion(programFolder), m_kind(kind)
{
}

QString TImportTransa::inputFileName() const
{
    const QString base = m_kind == ReportKind::Period ? QStringLiteral("MemberTransactions")
                                                      : QStringLiteral("MemberTransactionsCurrentDay");
    return FileSuffix.isEmpty() ? base + QStringLiteral(".xml")
                                : base + u'_' + FileSuffix + QStringLiteral(".xml");
}

void TImportTransa::LoadSettlementInstructions()
{
    SettlementInstructions.clear();
    m_instructionByTicket = {};
    try {
        TXMLDocument document;
        document.setFileName(joinPath(InputFolder, QStringLiteral("MemberSettlementInstructions.xml")));
        TXMLItemWindows("MemberSettlementInstruction", kItemDepth, ReportWindowBytes)
            .read(document, [this](TXMLDocument &window) {
                SettlementInstructionsReport::IXMLMemberSettlementInstructionList *instructions =
                    SettlementInstructionsReport::BindWSResponse(window)
                        ->Body()
                        ->MemberSettlementInstructions()
                        ->MemberSettlementInstruction();
                for (int i = 0; i < instructions->Count(); ++i)
                    addSettlementInstruction(*instructions->Items(i));
            });
    } catch (const std::exception &) {
        // Transactions without their instruction still convert, with the report's own dates.
    }
}

void TImportTransa::addSettlementInstruction(
    SettlementInstructionsReport::TXMLMemberSettlementInstruction &instruction)
{
    // Read in the report's element order, so that each read goes on from the last one.
    const quint32 ticket = instruction.TicketNumber();
    TMemberTradeClass trade;
    trade.Price = instruction.Price();
    trade.TradeDateTime = instruction.TradeDateTime();
    trade.TradeReference = instruction.TradeReference();
    trade.SettlementDate = instruction.SettlementDate();
    try {
        RecordBuilder columns(TMemberTradeClass::kColumnsLength);
        writeTradeColumns(columns, trade, false);
        // A price beyond the column's width widens it: such a record is written field by field.
        if (columns.view().size() == TMemberTradeClass::kColumnsLength) {
            std::copy_n(columns.view().data(), TMemberTradeClass::kColumnsLength, trade.Columns);
            trade.ColumnsWritten = true;
        }
    } catch (const std::exception &) {
        // The transactions of this instruction read the texts again, and fail there.
    }
    if (!m_instructionByTicket.find({ticket})) {
        m_instructionByTicket.insert({ticket}) = qint32(SettlementInstructions.size());
        SettlementInstructions.push_back(std::move(trade));
    }
}

const TMemberTradeClass *TImportTransa::FindSettlementInstruction(std::string_view key) const
{
    const std::optional<quint32> ticket = ticketNumberOf(key);
    if (!ticket)
        return nullptr;
    const qint32 *place = m_instructionByTicket.find({*ticket});
    return place ? &SettlementInstructions[*place] : nullptr;
}

void TImportTransa::Convert(QString &result)
{
    result.clear();
    ErrorList.clear();
    LastTypeFlag.clear();
    m_toDate.reset();
    // The future waits for the instructions also when the conversion stops before it needs them.
    std::future<void> instructionsLoaded;
    try {
        // They load on a thread of their own while the transactions report loads on this one.
        instructionsLoaded = std::async(std::launch::async, [this] { LoadSettlementInstructions(); });
        // Refused before anything is deleted: such a code or suffix would lead the masks to other
        // members' files or the names out of their folder.
        RequireSafeMemberCode(TargetMemberCode);
        RequireSafeFileSuffix(FileSuffix);
        DeleteFiles(OutputFolder, kBaseName);
        DeleteFiles(OutputFolder, MemberFilesMask(QStringLiteral("transa"), TargetMemberCode));
        {
            // Closed also when a transaction fails, so the lines written so far are on disk.
            PerDateFiles files(OutputFolder, QStringLiteral("transa"));
            convertTransactions(files, instructionsLoaded);
            files.close();
        }
        result += kLineBreak + (ErrorList.isEmpty() ? QStringLiteral("import transa OK") : ErrorList);
        TagMemberFiles(OutputFolder, QStringLiteral("transa*.txt"), kBaseName, TargetMemberCode,
                       RunStartTime);
        setStatus(completedStatus(ErrorList));
    } catch (const std::exception &error) {
        result += kLineBreak + exceptionMessage(error);
        setStatus(ConversionStatus::Failed);
    }
}

void TImportTransa::convertTransactions(PerDateFiles &files, std::future<void> &instructionsLoaded)
{
    Document.setFileName(joinPath(InputFolder, inputFileName()));
    // The report is read a window of transactions at a time; each window holds the header and
    // the member code as well.
    QString memberCode;
    int position = 0;
    bool firstWindow = true;
    TXMLItemWindows("MemberTransaction", kItemDepth, ReportWindowBytes)
        .read(Document, [&](TXMLDocument &window) {
            TransactionsReport::TXMLMemberTransactions *report = nullptr;
            if (m_kind == ReportKind::Period) {
                TransactionsReport::TXMLWSResponse *response = TransactionsReport::BindWSResponse(window);
                m_header = response->Header();
                report = response->Body()->MemberTransactions();
            } else {
                TransactionsCurrentDayReport::TXMLWSResponse *response =
                    TransactionsCurrentDayReport::BindWSResponse(window);
                m_header = response->Header();
                report = response->Body()->MemberTransactionsCurrentDay();
            }
            if (std::exchange(firstWindow, false)) {
                memberCode = report->MemberCode();
                UseMoveSequence = GetIniSetValue(QStringLiteral("TransaUseMoveSequence")) != u"N";
                instructionsLoaded.get();
            }
            TransactionsReport::IXMLMemberTransactionList *transactions = report->MemberTransaction();
            for (int i = 0; i < transactions->Count(); ++i)
                convertTransaction(*transactions->Items(i), ++position, memberCode, files);
        });
    m_header = nullptr;
}

const TypeLookup &TImportTransa::findType(std::string_view code, int direction)
{
    auto &known = m_knownTypes[direction == 1 ? 0 : 1];
    auto kept = known.find(code);
    if (kept == known.end()) {
        const QString text = QString::fromUtf8(code.data(), qsizetype(code.size()));
        kept = known.emplace(code, typeTable().FindType(text, direction)).first;
    }
    return kept->second;
}

void TImportTransa::prefetchLookups(const TXMLValueText &source, const TXMLValueText &isin) const
{
    try {
        if (const std::optional<quint32> ticket = ticketNumberOf(source.utf8()))
            m_instructionByTicket.prefetch({*ticket});
        prefetchSecurityCode(isin.utf8());
    } catch (const std::exception &) {
        // The value fails where it is read.
    }
}

QDate TImportTransa::settlementDateWithoutInstruction()
{
    if (!m_toDate) {
        const QString toDate = m_header->ToDate();
        m_toDate =
            m_kind == ReportKind::CurrentDay && toDate.isEmpty() ? Clock::today() : ParseXmlDate(toDate);
    }
    return *m_toDate;
}

void TImportTransa::convertTransaction(TXMLMemberTransaction &transaction, int position,
                                       const QString &memberCode, PerDateFiles &files)
{
    // The values are found in the report's element order, each with one comparison, and read in
    // place, where they are used: a value that fails to read fails there, as it always did.
    const TXMLValueText moveSequence = transaction.MoveSequenceText();
    const TXMLValueText typeText = transaction.TransactionTypeText();
    const TXMLValueText status = transaction.TransactionStatusText();
    const TXMLValueText number = transaction.TransactionNumberText();
    const TXMLValueText sourceText = transaction.SourceTransactionNumberText();
    const TXMLValueText dateTimeText = transaction.TransactionDateTimeText();
    const TXMLValueText referenceText = transaction.TransactionReferenceText();
    const TXMLValueText isinText = transaction.IsinCodeText();
    const TXMLValueText account = transaction.AccountNumberText();
    const TXMLValueText subaccount = transaction.SubaccountNumberText();
    const TXMLValueText volumeText = transaction.VolumeText();
    const TXMLValueText valueText = transaction.TransactionValueText();

    const qint32 volume = volumeText.toInteger();
    const std::string_view type = typeText.utf8();
    // Looked up before the status test: a skipped transaction still sets the subaccount
    // permission that later transactions of types missing from the table see.
    const TypeLookup &found = findType(type, volume < 0 ? 2 : 1);
    if (found.found)
        LastTypeFlag = found.fifthFlag;
    if (status.utf8() != "CONFIRMED")
        return;
    try {
        if (subaccount.toUnsigned() != 0 && LastTypeFlag != u"D")
            return;
    } catch (const std::exception &) {
        // An unreadable subaccount counts as none.
    }

    prefetchLookups(sourceText, isinText);

    RecordBuilder record(kRecordLength);
    record.text(kBlank1, u" ");
    if (UseMoveSequence)
        record.integer(kNumber9, moveSequence.toUnsigned()).text(kText5, u"MSEQ");
    else
        record.integer(kNumber9, number.toUnsigned()).integer(kPosition, position);
    const std::string_view source = sourceText.utf8();
    // Found at once, so that the instruction is on its way into the processor's cache while the
    // transaction's other fields are read.
    const TMemberTradeClass *trade = FindSettlementInstruction(source);
#if defined(__GNUC__)
    if (trade) {
        __builtin_prefetch(trade->Columns);
        __builtin_prefetch(trade->Columns + 64);
    }
#endif
    record.integer(kNumber4, found.kind)
        .integer(kNumber4, found.direction)
        .integer(kNumber9, integerOrZero(source))
        .text(kText5, memberCode)
        .text(kAccountNumber, qint64(account.toUnsigned()));

    std::string_view reference;
    try {
        reference = referenceText.utf8();
    } catch (const std::exception &) {
        // Written as blanks, without the X flag.
    }
    const bool tradeFlag = reference.starts_with('X');
    record.text(kText40, QUtf8StringView(reference)).text(kBlank15, u" ");

    const QString isin = isinText.toString();
    const std::string_view dateTime = dateTimeText.utf8();
    const QDate date = ParseXmlDate(QUtf8StringView(dateTime));
    const SecurityLookup security = FindSecurityCode(isin, date, TransaImportPreferred, ErrorList);
    const qint64 quantity = qAbs(qint64(volume));
    record.text(kCode, security.error.isEmpty() ? QStringView(security.code) : QStringView(u" "))
        .text(kCode, isin)
        .text(kText5, u" ")
        .integer(kQuantity, quantity)
        .integer(kQuantity, quantity)
        .integer(kQuantity, 0);

    if (trade && trade->ColumnsWritten) {
        const char *columns = trade->Columns;
        if (tradeFlag)
            record.written({columns, 17})
                .text(kBlank1, u"X")
                .written({columns + 17, 39})
                .written({columns + 57, 27});
        else
            record.written({columns, TMemberTradeClass::kColumnsLength});
    } else if (trade) {
        writeTradeColumns(record, *trade, tradeFlag);
    } else {
        record.decimal(kAmount, 0)
            .text(kText40, tradeFlag ? u"XNi zapisa v MemberTrades" : u"Ni zapisa v MemberTrades")
            .date(date)
            .date(date)
            .date(settlementDateWithoutInstruction());
    }

    record.text(kBlank128, u" ");
    const std::string_view value = valueText.utf8();
    if (value.empty())
        record.text(kBlank17, u" ");
    else
        record.decimal(kAmount, decimalValue(value));
    record.text(kText20, qint64(number.toUnsigned()))
        .text(kText100, QUtf8StringView(type))
        .text(kText100, QUtf8StringView(source));
    // The two off-market values: the depository's report carries none, so both stay blank.
    record.text(kBlank20, u" ").text(kBlank20, u" ").text(kDateTime, QUtf8StringView(dateTime));

    if (writesLine(found.sixthFlag, volume))
        files.append(date, record.view());
}
