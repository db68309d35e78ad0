#include "ImportStanje.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "conversion/RecordBuilder.h"
#include "conversion/XmlDateTime.h"
#include "reports/PositionsReport.h"

#include <optional>

namespace {

constexpr qsizetype kRecordLength = 105;

// The record's field formats, read once rather than per record.
constexpr RecordFormat kMemberCode("%-6.6s");
constexpr RecordFormat kAccountNumber("%9.9s");
constexpr RecordFormat kCode("%-12.12s");
constexpr RecordFormat kVolume("%-16.16s");
constexpr RecordFormat kZeroFilledVolume("%.16d");

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
        // Refused also when the file name does not carry it, as every converter refuses it.
        RequireSafeMemberCode(TargetMemberCode);
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
            record.text(kMemberCode, memberCode).text(kAccountNumber, qint64(position->AccountNumber()));
            if (!statusDate)
                statusDate = ParseXmlDate(response->Header()->StatusDate());
            const QString isin = position->IsinCode();
            // The kept result of the ISIN is fetched while the other fields are read; a field that
            // fails fails the conversion before or after the look-up alike.
            prefetchSecurityCode(isin);
            const qint32 totalVolume = position->TotalVolume();
            const qint32 availableVolume = position->AvailableVolume();
            const qint32 frozenVolume = position->FrozenVolume();
            const QDate lastChange = ParseXmlDate(position->LastChangeDateTime());
            const SecurityLookup security = FindSecurityCode(isin, *statusDate, false, missingSecurities);
            record.text(kCode, security.error.isEmpty() ? QStringView(security.code) : QStringView(u" "))
                .text(kCode, isin)
                .text(kVolume, qint64(totalVolume))
                .integer(kZeroFilledVolume, availableVolume)
                .integer(kZeroFilledVolume, frozenVolume)
                .date(*statusDate)
                .date(lastChange);
            OutputLines.append(record.view());
        }
        result = missingSecurities.isEmpty() ? QStringLiteral("import stanje OK") : missingSecurities;
        setStatus(completedStatus(missingSecurities));
    } catch (const std::exception &error) {
        result = exceptionMessage(error);
        setStatus(ConversionStatus::Failed);
    }
}
