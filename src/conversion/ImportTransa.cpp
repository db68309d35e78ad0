#include "ImportTransa.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/PerDateFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/SettlementInstructionsReport.h"
#include "reports/TransactionsReport.h"

#include <charconv>
#include <future>
#include <limits>
#include <optional>
#include <QVarLengthArray>
#include <string>
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
// comma as decimal separator ("1234.5" is 1234,5; "1,234.5" is no number).
double decimalValue(const QString &text)
{
    const auto invalid = [&text] {
        QString withComma = text;
        withComma.replace(u'.', u',');
        return EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(withComma));
    };
    // Surrounding white space is ignored, as trimming would.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].isSpace())
        ++begin;
    while (end > begin && text[end - 1].isSpace())
        --end;
    // Read into a buffer on the stack: this runs twice per transaction.
    QVarLengthArray<char, 64> number;
    int separators = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t u = text[i].unicode();
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

// SourceTransactionNumber as a number: 0 when it is empty or not an integer.
qint64 integerOrZero(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

// The ticket number whose decimal form the text is, exactly: "000123", "+123" or " 123" name
// no ticket.
std::optional<quint32> ticketNumberOf(QStringView text)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text[0] == u'0'))
        return std::nullopt;
    quint64 number = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        number = number * 10 + (c.unicode() - u'0');
    }
    if (number > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return quint32(number);
}

// What read() gives, or nothing when it fails.
template<class Read> auto readOrNothing(Read read) -> std::optional<decltype(read())>
{
    try {
        return read();
    } catch (const std::exception &) {
        return std::nullopt;
    }
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
    trade.PriceValue = readOrNothing([&] { return decimalValue(trade.Price); });
    trade.TradeDate = readOrNothing([&] { return ParseXmlDate(trade.TradeDateTime); });
    trade.SettlementDay = readOrNothing([&] { return ParseXmlDate(trade.SettlementDate); });
    if (!m_instructionByTicket.find({ticket})) {
        m_instructionByTicket.insert({ticket}) = qint32(SettlementInstructions.size());
        SettlementInstructions.push_back(std::move(trade));
    }
}

const TMemberTradeClass *TImportTransa::FindSettlementInstruction(const QString &key) const
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

TypeLookup TImportTransa::findType(const QString &code, int direction)
{
    const std::pair<QString, int> key(code, direction);
    auto known = m_knownTypes.constFind(key);
    if (known == m_knownTypes.constEnd())
        known = m_knownTypes.insert(key, typeTable().FindType(code, direction));
    return *known;
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
    const qint32 volume = transaction.Volume();
    const QString type = transaction.TransactionType();
    // Looked up before the status test: a skipped transaction still sets the subaccount
    // permission that later transactions of types missing from the table see.
    const TypeLookup found = findType(type, volume < 0 ? 2 : 1);
    if (found.found)
        LastTypeFlag = found.fifthFlag;
    if (transaction.TransactionStatus() != u"CONFIRMED")
        return;
    try {
        if (transaction.SubaccountNumber() != 0 && LastTypeFlag != u"D")
            return;
    } catch (const std::exception &) {
        // An unreadable subaccount counts as none.
    }

    RecordBuilder record(kRecordLength);
    record.text(kBlank1, u" ");
    if (UseMoveSequence)
        record.integer(kNumber9, transaction.MoveSequence()).text(kText5, u"MSEQ");
    else
        record.integer(kNumber9, transaction.TransactionNumber()).integer(kPosition, position);
    const QString source = transaction.SourceTransactionNumber();
    // Found at once, so that the instruction is on its way into the processor's cache while the
    // transaction's other fields are read.
    const TMemberTradeClass *trade = FindSettlementInstruction(source);
#if defined(__GNUC__)
    __builtin_prefetch(trade);
#endif
    record.integer(kNumber4, found.kind)
        .integer(kNumber4, found.direction)
        .integer(kNumber9, integerOrZero(source))
        .text(kText5, memberCode)
        .text(kAccountNumber, qint64(transaction.AccountNumber()));

    QString reference;
    try {
        reference = transaction.TransactionReference();
    } catch (const std::exception &) {
        // Written as blanks, without the X flag.
    }
    const bool tradeFlag = reference.startsWith(u'X');
    record.text(kText40, reference).text(kBlank15, u" ");

    const QString isin = transaction.IsinCode();
    const QString dateTime = transaction.TransactionDateTime();
    const QDate date = ParseXmlDate(dateTime);
    const SecurityLookup security = FindSecurityCode(isin, date, TransaImportPreferred, ErrorList);
    const qint64 quantity = qAbs(qint64(volume));
    record.text(kCode, security.error.isEmpty() ? QStringView(security.code) : QStringView(u" "))
        .text(kCode, isin)
        .text(kText5, u" ")
        .integer(kQuantity, quantity)
        .integer(kQuantity, quantity)
        .integer(kQuantity, 0);

    if (trade) {
        record.decimal(kAmount, trade->PriceValue ? *trade->PriceValue : decimalValue(trade->Price))
            .text(kText40,
                  tradeFlag ? QString(QStringLiteral("X") + trade->TradeReference) : trade->TradeReference);
        const QDate tradeDate = trade->TradeDate ? *trade->TradeDate : ParseXmlDate(trade->TradeDateTime);
        record.date(tradeDate).date(tradeDate).date(
            trade->SettlementDay ? *trade->SettlementDay : ParseXmlDate(trade->SettlementDate));
    } else {
        record.decimal(kAmount, 0)
            .text(kText40, tradeFlag ? u"XNi zapisa v MemberTrades" : u"Ni zapisa v MemberTrades")
            .date(date)
            .date(date)
            .date(settlementDateWithoutInstruction());
    }

    record.text(kBlank128, u" ");
    const QString value = transaction.TransactionValue();
    if (value.isEmpty())
        record.text(kBlank17, u" ");
    else
        record.decimal(kAmount, decimalValue(value));
    record.text(kText20, qint64(transaction.TransactionNumber())).text(kText100, type).text(kText100, source);
    // The two off-market values: the depository's report carries none, so both stay blank.
    record.text(kBlank20, u" ").text(kBlank20, u" ").text(kDateTime, dateTime);

    if (writesLine(found.sixthFlag, volume))
        files.append(date, record.view());
}
