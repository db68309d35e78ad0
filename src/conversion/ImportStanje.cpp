#include "ImportStanje.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/PositionsReport.h"

#include <optional>

namespace {

constexpr qsizetype kRecordLength = 105;

} // namespace

QString TImportStanje::outputFileName() const
{
    const QString base = QStringLiteral("stanje.txt");
    if (TargetMemberCode.isEmpty() || TargetMemberCode == OwnMemberCode)
        return joinPath(OutputFolder, base);
    return joinPath(OutputFolder, memberFileName(base, TargetMemberCode));
}

void TImportStanje::Convert(QString &result)
{
    result.clear();
    QString missingSecurities;
    try {
        Document.setFileName(joinPath(InputFolder, QStringLiteral("MemberAccountPositions.xml")));
        OutputFileName = outputFileName();
        PositionsReport::TXMLWSResponse *response = PositionsReport::BindWSResponse(Document);
        PositionsReport::TXMLMemberAccountPositions *report = response->Body()->MemberAccountPositions();
        const QString memberCode = report->MemberCode();
        PositionsReport::IXMLMemberAccountPositionList *positions = report->MemberAccountPosition();
        // Read with the first position, so an empty report converts whatever its header holds.
        std::optional<QDate> statusDate;
        for (int i = 0; i < positions->Count(); ++i) {
            PositionsReport::TXMLMemberAccountPosition *position = positions->Items(i);
            RecordBuilder record(kRecordLength + 1);
            record.text("%-6.6s", memberCode).text("%9.9s", qint64(position->AccountNumber()));
            if (!statusDate)
                statusDate = ParseXmlDate(response->Header()->StatusDate());
            const QString isin = position->IsinCode();
            const SecurityLookup security = FindSecurityCode(isin, *statusDate, false, missingSecurities);
            record.text("%-12.12s", security.error.isEmpty() ? security.code : QStringLiteral(" "))
                .text("%-12.12s", isin)
                .text("%-16.16s", qint64(position->TotalVolume()))
                .integer("%.16d", position->AvailableVolume())
                .integer("%.16d", position->FrozenVolume())
                .date(*statusDate)
                .date(ParseXmlDate(position->LastChangeDateTime()));
            OutputLines.append(record.take());
        }
        result = missingSecurities.isEmpty() ? QStringLiteral("import stanje OK") : missingSecurities;
        setStatus(completedStatus(missingSecurities));
    } catch (const std::exception &error) {
        result = exceptionMessage(error);
        setStatus(ConversionStatus::Failed);
    }
}
