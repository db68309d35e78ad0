#include "ImportRazpor.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/PerDateFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/AllocationsReport.h"

using namespace AllocationsReport;

namespace {

constexpr qsizetype kRecordLength = 152;
const QString kBlank = QStringLiteral(" ");

bool isConvertedAction(const QString &actionType)
{
    return actionType == u"CREATE" || actionType == u"UPDATE" || actionType == u"DELETE";
}

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
    try {
        // Refused before anything is deleted, as the transactions converter does.
        RequireSafeMemberCode(TargetMemberCode);
        RequireSafeFileSuffix(FileSuffix);
        DeleteFiles(OutputFolder, QStringLiteral("razpor.txt"));
        DeleteFiles(OutputFolder, MemberFilesMask(QStringLiteral("razpor"), TargetMemberCode));
        PerDateFiles files(OutputFolder, QStringLiteral("razpor"));
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
            files.append(ParseXmlDateTime(allocation->TradeDateTime()).date(), line);
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
