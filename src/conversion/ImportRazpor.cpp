#include "ImportRazpor.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/AllocationsReport.h"

#include <map>
#include <memory>
#include <QFile>

using namespace AllocationsReport;

namespace {

constexpr qsizetype kRecordLength = 152;
const QString kBlank = QStringLiteral(" ");

bool isConvertedAction(const QString &actionType)
{
    return actionType == u"CREATE" || actionType == u"UPDATE" || actionType == u"DELETE";
}

[[noreturn]] void throwFileError(const QFile &file)
{
    throw EInOutError(
        QStringLiteral("Cannot write file \"%1\". %2").arg(file.fileName(), file.errorString()));
}

// The per-date files of one conversion, each kept open from its first record to the end. The
// first record of a date replaces any file of that name, so records that an earlier, failed
// conversion left there are never imported with this conversion's; later records of the date
// are appended. Files still open when the object goes (after a failure) are closed with what
// was written to them.
class PerDateFiles
{
public:
    explicit PerDateFiles(const QString &folder) : m_folder(folder) {}

    void write(const QDate &date, const QByteArray &record)
    {
        QFile &file = fileOf(date);
        if (file.write(record) != record.size() || file.write("\r\n", 2) != 2)
            throwFileError(file);
    }

    // Closes every file; a record that cannot reach the disk fails here.
    void close()
    {
        for (auto &[date, file] : m_files) {
            if (!file->flush())
                throwFileError(*file);
            file->close();
        }
        m_files.clear();
    }

private:
    QFile &fileOf(const QDate &date)
    {
        std::unique_ptr<QFile> &file = m_files[date];
        if (!file) {
            file = std::make_unique<QFile>(joinPath(
                m_folder, QStringLiteral("razpor") + date.toString(u"yyyyMMdd") + QStringLiteral(".txt")));
            if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
                throwFileError(*file);
        }
        return *file;
    }

    QString m_folder;
    std::map<QDate, std::unique_ptr<QFile>> m_files;
};

} // namespace

QString TImportRazpor::inputFileName() const
{
    QString name =
        CurrentDay ? QStringLiteral("MemberAllocationsCurrentDay") : QStringLiteral("MemberAllocations");
    if (!FileSuffix.isEmpty())
        name += u'_' + FileSuffix;
    return joinPath(InputFolder, name + QStringLiteral(".xml"));
}

QByteArray TImportRazpor::record(const TXMLMemberAllocation &allocation, const QString &actionType,
                                 QString &missingSecurities)
{
    RecordBuilder record(kRecordLength);
    record.text("%-1.1s", kBlank)
        .text("%-5.5s", allocation.AllocationMemberCode())
        .text("%-1.1s", allocation.TradeSide().left(1))
        .text("%-8.8s", qint64(allocation.TicketNumber()));
    const QString isin = allocation.IsinCode();
    const QDate allocationDate = ParseXmlDateTime(allocation.AllocationDateTime()).date();
    const SecurityLookup security = FindSecurityCode(isin, allocationDate, false, missingSecurities);
    const QDateTime traded = ParseXmlDateTime(allocation.TradeDateTime());
    record.text("%-12.12s", security.error.isEmpty() ? security.code : kBlank)
        .text("%-12.12s", isin)
        .integer("%.16d", allocation.Volume())
        .text("%11.11s", qint64(allocation.AllocationAccountNumber()))
        .text("%11.11s", qint64(allocation.TradeAccountNumber()))
        .text("%-1.1s", kBlank)
        .text("%-40.40s", kBlank)
        .date(allocationDate)
        .date(traded.date())
        .date(ParseXmlDateTime(allocation.SettlementDate()).date())
        .text("%-1.1s", actionType.left(1))
        .text("%-6.6s", traded.time().toString(u"HHmmss"));
    return record.take();
}

void TImportRazpor::Convert(QString &result)
{
    result.clear();
    QString missingSecurities;
    DeleteFiles(OutputFolder, QStringLiteral("razpor.txt"));
    DeleteFiles(OutputFolder, QStringLiteral("razpor*") + TargetMemberCode + QStringLiteral(".txt"));
    PerDateFiles files(OutputFolder);
    try {
        Document.setFileName(inputFileName());
        TXMLBody *body = BindWSResponse(Document)->Body();
        TXMLMemberAllocations *report =
            CurrentDay ? body->MemberAllocationsCurrentDay() : body->MemberAllocations();
        IXMLMemberAllocationList *allocations = report->MemberAllocation();
        for (int i = 0; i < allocations->Count(); ++i) {
            TXMLMemberAllocation *allocation = allocations->Items(i);
            const QString actionType = allocation->AllocationActionType();
            if (!isConvertedAction(actionType))
                continue;
            const QByteArray line = record(*allocation, actionType, missingSecurities);
            files.write(ParseXmlDateTime(allocation->TradeDateTime()).date(), line);
        }
        files.close();
        result = missingSecurities.isEmpty() ? QStringLiteral("import razpor OK") : missingSecurities;
        setStatus(completedStatus(missingSecurities));
        TagMemberFiles(OutputFolder, QStringLiteral("razpor*.txt"), QStringLiteral("razpor.txt"),
                       TargetMemberCode, RunStartTime);
    } catch (const std::exception &error) {
        result = exceptionMessage(error);
        setStatus(ConversionStatus::Failed);
    }
}
