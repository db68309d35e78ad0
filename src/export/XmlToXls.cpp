#include "export/XmlToXls.h"

#include "common/Exception.h"
#include "common/Messenger.h"
#include "conversion/ImportRequest.h"
#include "conversion/OutputFiles.h"
#include "conversion/SecurityCodeRows.h"
#include "conversion/XmlDateTime.h"
#include "export/XlsWorkbook.h"
#include "host/HostDatabase.h"
#include "reports/DailyBondValuesReport.h"

#include <exception>
#include <iterator>
#include <optional>
#include <QFile>
#include <QFileInfo>

namespace {

struct Column
{
    const char *header;
    double width;
};

const Column kColumns[] = {
    {"EffectiveDate", 15},        {"SecurityCode", 15}, {"PrincipalValue", 17},
    {"AccruedInterestValue", 20}, {"Error", 20},
};
constexpr int kEffectiveDateColumn = 0;
constexpr int kSecurityCodeColumn = 1;
constexpr int kPrincipalValueColumn = 2;
constexpr int kAccruedInterestColumn = 3;
constexpr int kErrorColumn = 4;

void markAsError(XlsCellFormat &format)
{
    format.fontColour = XlsColour::Red;
    format.bold = true;
}

// The header row: widths, the tan fill and the red bold "Error".
void writeHeader(XlsWorkbook &workbook)
{
    for (int column = 0; column < int(std::size(kColumns)); ++column) {
        workbook.setColumnWidth(column, kColumns[column].width);
        workbook.format(0, column).fillColour = XlsColour::Tan;
        workbook.setText(0, column, QString::fromLatin1(kColumns[column].header));
    }
    markAsError(workbook.format(0, kErrorColumn));
}

// "DailyBondValues" of "DailyBondValues.zip": the stored name without folder and extension.
QString reportBaseName(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 ? name.left(dot) : name;
}

// Why the report does not fit a sheet (a row for each bond below the header, each text within a cell);
// empty when it fits. A report that cannot be read fails where the export reads it.
QString sheetLimitRefusal(const DailyBondValuesReport &report)
{
    const int maxText = XlsWorkbook::MaxTextLength;
    if (report.BondCount() > XlsWorkbook::MaxRows - 1)
        return QStringLiteral(
                   "The daily bond values report holds %1 bonds, more than the %2 a workbook sheet "
                   "can hold")
            .arg(report.BondCount())
            .arg(XlsWorkbook::MaxRows - 1);
    try {
        if (report.EffectiveDate().size() > maxText)
            return QStringLiteral("The report's EffectiveDate has %1 characters, more than the %2 a workbook "
                                  "cell can hold")
                .arg(report.EffectiveDate().size())
                .arg(maxText);
        const qsizetype errorPrefix = QStringLiteral("Manjka VP za ISIN:").size();
        for (int index = 0; index < report.BondCount(); ++index) {
            const DailyBondValuesReport::Bond bond = report.BondAt(index);
            const struct
            {
                const char *field;
                qsizetype length;
                qsizetype limit;
            } fields[] = {{"IsinCode", bond.IsinCode.size(), maxText - errorPrefix},
                          {"PrincipalValue", bond.PrincipalValue.size(), maxText},
                          {"AccruedInterestValue", bond.AccruedInterestValue.size(), maxText}};
            for (const auto &field : fields) {
                if (field.length > field.limit)
                    return QStringLiteral(
                               "The %1 of the bond with ISIN %2 has %3 characters, more than the %4 "
                               "a workbook cell can hold")
                        .arg(QLatin1String(field.field), bond.IsinCode.left(40))
                        .arg(field.length)
                        .arg(field.limit);
            }
        }
    } catch (const std::exception &) {
        return {};
    }
    return {};
}

} // namespace

TDailyBondValuesExport::TDailyBondValuesExport(Messenger &messenger) : m_messenger(messenger) {}

TDailyBondValuesExport::~TDailyBondValuesExport()
{
    Free_DB_Query();
}

std::unique_ptr<TDailyBondValuesExport>
TDailyBondValuesExport::forRequest(const ImportRequest &request, const QDate &startDate, Messenger &messenger)
{
    auto exporter = std::make_unique<TDailyBondValuesExport>(messenger);
    exporter->Alias = request.DatabaseAlias;
    exporter->UserName = request.DatabaseUser;
    exporter->Password = request.DatabasePassword;
    exporter->InputFolder = request.InputFolder;
    exporter->OutputFolder = request.OutputFolder;
    exporter->PapirPoKotacijiSLO = request.PapirPoKotacijiSLO;
    exporter->StartDate = startDate;
    return exporter;
}

QString TDailyBondValuesExport::WorkbookPath(const QString &fileName) const
{
    return joinPath(OutputFolder, reportBaseName(fileName) + u'_' +
                                      StartDate.toString(QStringLiteral("d.M.yy")) + QStringLiteral(".xls"));
}

DailyBondValuesOutcome TDailyBondValuesExport::XMLToXLS(const QString &fileName)
{
    DailyBondValuesOutcome outcome;
    outcome.workbookPath = WorkbookPath(fileName);
    // A report past the sheet's limits is refused before the day's workbook is deleted; other failures
    // of reading it come at their place below.
    const QString inputPath = joinPath(InputFolder, reportBaseName(fileName) + QStringLiteral(".xml"));
    TXMLDocument document;
    std::optional<DailyBondValuesReport> report;
    std::exception_ptr readFailure;
    try {
        document.setFileName(inputPath);
        document.LoadFromFile();
        report.emplace(document);
    } catch (...) {
        readFailure = std::current_exception();
    }
    if (const QString refusal = report ? sheetLimitRefusal(*report) : QString(); !refusal.isEmpty())
        throw EConvertError(
            refusal + QStringLiteral("; the workbook %1 was left as it was.").arg(outcome.workbookPath));
    QFile existing(outcome.workbookPath);
    if (existing.exists() && !existing.remove())
        throw EFCreateError(QStringLiteral("Cannot delete file \"%1\". %2")
                                .arg(outcome.workbookPath, existing.errorString()));

    m_messenger.debugLog(QStringLiteral("Create new Excel file."));
    XlsWorkbook workbook(QStringLiteral("Sheet1"));
    m_messenger.debugLog(QStringLiteral("Add new Sheets into Excel."));
    writeHeader(workbook);

    m_messenger.debugLog(QStringLiteral("Before InitDB."));
    Init_DB_Query();
    try {
        m_messenger.debugLog(QStringLiteral("Load ") + inputPath);
        if (readFailure)
            std::rethrow_exception(readFailure);
        const QString effectiveDate = report->EffectiveDate();
        for (int index = 0; index < report->BondCount(); ++index) {
            const int row = index + 1;
            const DailyBondValuesReport::Bond bond = report->BondAt(index);
            workbook.setText(row, kEffectiveDateColumn, effectiveDate);
            QString securityCode;
            QString errorText;
            GetSfvpKRTFromISIN(bond.IsinCode, ParseXmlDate(effectiveDate.left(10)), securityCode, errorText);
            workbook.setText(row, kSecurityCodeColumn, securityCode);
            if (!errorText.isEmpty()) {
                workbook.setText(row, kErrorColumn, errorText);
                markAsError(workbook.format(row, kErrorColumn));
                ++outcome.missingIsins;
            }
            if (!m_lookupFailure.isEmpty()) {
                m_messenger.log(QStringLiteral("Security lookup for ISIN %1 failed: %2")
                                    .arg(bond.IsinCode, m_lookupFailure));
                ++outcome.failedLookups;
            }
            workbook.setText(row, kPrincipalValueColumn, bond.PrincipalValue);
            workbook.setText(row, kAccruedInterestColumn, bond.AccruedInterestValue);
            m_messenger.debugLog(QStringLiteral("Fill into XML:EffectiveDate") + effectiveDate +
                                 QStringLiteral(";SecurityCode:") + securityCode +
                                 QStringLiteral(";PrincipalValue:") + bond.PrincipalValue +
                                 QStringLiteral(";AccruedInterestValue:") + bond.AccruedInterestValue +
                                 QStringLiteral(";Error:") + errorText + u';');
        }
        m_messenger.debugLog(QStringLiteral("Save Excel file."));
        workbook.save(outcome.workbookPath);
    } catch (...) {
        Free_DB_Query();
        m_messenger.debugLog(QStringLiteral("Free DB connection."));
        throw;
    }
    Free_DB_Query();
    m_messenger.debugLog(QStringLiteral("Free DB connection."));
    return outcome;
}

void TDailyBondValuesExport::Init_DB_Query()
{
    Free_DB_Query();
    auto database = std::make_unique<HostConnection>();
    database->setParams({QStringLiteral("USER NAME=") + UserName, QStringLiteral("PASSWORD=") + Password});
    database->setAlias(Alias.toUpper());
    try {
        database->open();
    } catch (const std::exception &error) {
        throw Exception(exceptionMessage(error)); // a general error with the engine's message only
    }
    m_database = std::move(database);
    m_query = std::make_unique<HostQuery>(*m_database);
}

void TDailyBondValuesExport::Free_DB_Query()
{
    if (m_query)
        m_query->close();
    m_query.reset();
    if (m_database)
        m_database->close();
    m_database.reset();
}

void TDailyBondValuesExport::GetSfvpKRTFromISIN(const QString &isin, const QDate &date, QString &securityCode,
                                                QString &errorText)
{
    errorText.clear();
    m_lookupFailure.clear();
    try {
        if (!m_query)
            throw EDatabaseError(QStringLiteral("Database is not open"));
        m_query->close();
        m_query->clearSql();
        // The ISIN is bound as a parameter rather than pasted into the statement.
        if (PapirPoKotacijiSLO) {
            m_query->addSql(QStringLiteral(
                "SELECT DISTINCT (CASE WHEN T.SFDRZTRG='S' THEN 1 ELSE 2 END) as Tip, S.KRT, S.SFVP, "
                "T.SFDRZTRG "
                "from SFVP S, KTC K, TRG T WHERE S.ISIN=:Isin AND (S.ZPDVP IS NULL OR S.ZPDVP >= :Dan)"));
            m_query->addSql(QStringLiteral(" and S.SFVP=K.SFVP and (K.DANPRK is null OR K.DANPRK>:Dan) AND "
                                           "T.Sftrg=K.SFTRG ORDER BY Tip, S.SFVP, T.SFDRZTRG"));
        } else {
            m_query->addSql(QStringLiteral(
                "SELECT KRT from SFVP WHERE ISIN=:Isin AND (ZPDVP IS NULL OR ZPDVP >= :Dan )"));
        }
        m_query->bindText(QStringLiteral("Isin"), isin);
        m_query->bindDate(QStringLiteral("Dan"), date);
        m_query->open();
        const std::optional<QString> code =
            PapirPoKotacijiSLO ? ListingFormCode(*m_query, false) : PlainFormCode(*m_query, false);
        if (code)
            securityCode = *code;
        else
            errorText = QStringLiteral("Manjka VP za ISIN:") + isin;
    } catch (const std::exception &error) {
        m_lookupFailure = exceptionMessage(error);
        if (m_lookupFailure.isEmpty())
            m_lookupFailure = QStringLiteral("Unknown database error");
    }
    if (m_query)
        m_query->close();
}
