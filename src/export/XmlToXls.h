#pragma once

#include <memory>
#include <QDate>
#include <QString>

class HostConnection;
class HostQuery;
class Messenger;
struct ImportRequest;

// What one export wrote and what it could not find.
struct DailyBondValuesOutcome
{
    QString workbookPath;
    int missingIsins = 0;  // rows whose ISIN the host does not know ("Manjka VP za ISIN:")
    int failedLookups = 0; // rows left without code and error by a database failure
};

// The daily bond values workbook: turns the stored report DailyBondValues.xml into
// DailyBondValues_<d.m.yy>.xls in the output folder, one row per bond with the effective date,
// the host's security code of the bond's ISIN, the principal and accrued interest values and
// the lookup's error. Used once per export, on one thread.
class TDailyBondValuesExport
{
public:
    explicit TDailyBondValuesExport(Messenger &messenger);
    ~TDailyBondValuesExport();

    // The folders, the host database login and PapirPoKotacijiSLO of the request.
    static std::unique_ptr<TDailyBondValuesExport> forRequest(const ImportRequest &request,
                                                              const QDate &startDate, Messenger &messenger);

    QString Alias;
    QString UserName;
    QString Password;
    QString InputFolder;
    QString OutputFolder;
    QDate StartDate; // names the workbook
    bool PapirPoKotacijiSLO = false;

    // The report's stored file name ("DailyBondValues.zip" or ".xml"); only its name without the
    // extension counts. The workbook of the same name is deleted first, then written whole
    // (under a temporary name, renamed into place) or not at all. Failures to open the database,
    // to read the report (a missing element included) or to save the workbook raise, the
    // database connection closed; a failed lookup leaves its row without code and error, is
    // logged and counted.
    DailyBondValuesOutcome XMLToXLS(const QString &fileName);

    // Opens the export's own database connection; raises EDatabaseError with the engine's message.
    void Init_DB_Query();
    void Free_DB_Query();

    // Leaves securityCode untouched when no code is found; then errorText is "Manjka VP za ISIN:"
    // and the ISIN, otherwise empty. A database failure leaves both as they are (the error text
    // emptied) and is kept in lastLookupFailure() until the next lookup.
    void GetSfvpKRTFromISIN(const QString &isin, const QDate &date, QString &securityCode,
                            QString &errorText);
    const QString &lastLookupFailure() const { return m_lookupFailure; }

    // OutputFolder, "DailyBondValues" (the file name without extension), "_", "d.m.yy", ".xls".
    QString WorkbookPath(const QString &fileName) const;

private:
    Messenger &m_messenger;
    std::unique_ptr<HostConnection> m_database;
    std::unique_ptr<HostQuery> m_query;
    QString m_lookupFailure;
};
