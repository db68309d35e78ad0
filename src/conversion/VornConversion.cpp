#include "VornConversion.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "conversion/OutputFiles.h"
#include "conversion/SecurityCodeRows.h"
#include "host/HostDatabase.h"

namespace {

const QString kMissingPrefix = QStringLiteral("Manjka VP za ISIN:");
const QString kLineBreak = QStringLiteral("\r\n");

} // namespace

RecordLines::RecordLines(std::initializer_list<QByteArrayView> lines)
{
    for (const QByteArrayView line : lines)
        append(line);
}

void RecordLines::append(QByteArrayView line)
{
    const qsizetype length = line.size() + 2;
    if (m_blocks.empty() || m_blocks.back().size() + length > m_blocks.back().capacity()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(kBlockSize, length));
    }
    m_blocks.back().append(line).append("\r\n", 2);
    ++m_count;
}

TVornConversion::TVornConversion(const QString &programFolder)
    : m_typeTable(TypeTable::load(joinPath(programFolder, QStringLiteral("tipi.ini"))))
{
}

TVornConversion::~TVornConversion() = default;

void TVornConversion::Execute(QString &result)
{
    OpenDatabase(Alias, UserName, Password);
    try {
        Convert(result);
    } catch (...) {
        CloseDatabase();
        throw;
    }
    CloseDatabase();
}

ConversionStatus TVornConversion::completedStatus(const QString &missingSecurities) const
{
    if (m_lookupFailed)
        return ConversionStatus::Failed;
    return missingSecurities.isEmpty() ? ConversionStatus::Succeeded : ConversionStatus::MissingSecurities;
}

void TVornConversion::OpenDatabase(const QString &alias, const QString &userName, const QString &password)
{
    auto database = std::make_unique<HostConnection>();
    database->setParams({QStringLiteral("USER NAME=") + userName, QStringLiteral("PASSWORD=") + password});
    database->setAlias(alias.toUpper());
    database->open();
    Database = std::move(database);
    Query = std::make_unique<HostQuery>(*Database);
    m_endDatesQuery = std::make_unique<HostQuery>(*Database);
    m_readBatch = std::make_unique<HostReadBatch>(*Database);
}

void TVornConversion::CloseDatabase()
{
    if (Query)
        Query->close();
    Query.reset();
    m_endDatesQuery.reset();
    m_readBatch.reset();
    if (Database)
        Database->close();
    Database.reset();
}

void TVornConversion::prefetchSecurityCode(const QString &isin) const
{
    m_keptSecurities.prefetch(isin);
}

void TVornConversion::prefetchSecurityCode(std::string_view isin) const
{
    m_keptSecurities.prefetch(isin);
}

SecurityLookup TVornConversion::FindSecurityCode(const QString &isin, const QDate &date,
                                                 bool preferTransaImport, QString &missingSecurities)
{
    std::optional<QString> code;
    try {
        code = m_keptSecurities.find(isin, date, preferTransaImport, *this);
    } catch (const std::exception &error) {
        if (Query)
            Query->close();
        if (m_readBatch)
            m_readBatch->end();
        m_lookupFailed = true;
        missingSecurities += kLineBreak + exceptionMessage(error);
        return {};
    }
    if (m_readBatch)
        m_readBatch->endIfDue();
    if (code)
        return {*code, QString()};
    nameMissingIsin(missingSecurities, isin);
    return {QString(), kMissingPrefix + isin};
}

void TVornConversion::nameMissingIsin(QString &missingSecurities, const QString &isin)
{
    if (&missingSecurities != m_missingText || missingSecurities.size() < m_missingTextSize) {
        m_missingText = &missingSecurities;
        m_missingTextSize = 0;
        m_namedIsins.clear();
    }
    // Lines added since the last call (database errors, or the converter's own).
    const QStringView added = QStringView(missingSecurities).mid(m_missingTextSize);
    for (const QStringView line : added.split(kLineBreak)) {
        if (line.startsWith(kMissingPrefix))
            m_namedIsins.insert(line.mid(kMissingPrefix.size()).toString());
    }
    if (m_namedIsins.insert(isin))
        missingSecurities += kLineBreak + kMissingPrefix + isin;
    m_missingTextSize = missingSecurities.size();
}

LookupDateSpans TVornConversion::endDates(const QString &isin)
{
    try {
        m_readBatch->enter();
        HostQuery &query = *m_endDatesQuery;
        query.clearSql();
        if (PapirPoKotacijiSLO)
            query.addSql(QStringLiteral(
                "SELECT DISTINCT S.ZPDVP AS SecurityEnd, K.DANPRK AS ListingEnd FROM SFVP S, KTC K WHERE "
                "S.ISIN=:Isin AND S.SFVP=K.SFVP AND (S.ZPDVP IS NOT NULL OR K.DANPRK IS NOT NULL)"));
        else
            query.addSql(QStringLiteral("SELECT DISTINCT ZPDVP AS SecurityEnd, NULL AS ListingEnd FROM SFVP "
                                        "WHERE ISIN=:Isin AND ZPDVP IS NOT NULL"));
        query.bindText(QStringLiteral("Isin"), isin);
        query.open();
        LookupDateSpans spans;
        for (query.first(); !query.eof(); query.next()) {
            spans.addSecurityEnd(query.fieldValue(QStringLiteral("SecurityEnd")));
            spans.addListingEnd(query.fieldValue(QStringLiteral("ListingEnd")));
        }
        query.close();
        return spans;
    } catch (const std::exception &) {
        m_endDatesQuery->close();
        m_readBatch->end();
        return LookupDateSpans::unknown();
    }
}

std::optional<QString> TVornConversion::securityCode(const QString &isin, const QDate &date,
                                                     bool preferTransaImport)
{
    if (!Query)
        throw EDatabaseError(QStringLiteral("Database is not open"));
    m_readBatch->enter();
    Query->close();
    Query->clearSql();
    if (PapirPoKotacijiSLO) {
        Query->addSql(QStringLiteral(
            "SELECT DISTINCT (CASE WHEN T.SFDRZTRG='S' THEN 1 ELSE 2 END) as Tip, S.KRT, S.SFVP, T.SFDRZTRG, "
            "S.VornTransaImport from SFVP S, KTC K, TRG T WHERE S.ISIN=:Isin AND (S.ZPDVP IS NULL OR S.ZPDVP "
            ">= :Dan)"));
        Query->addSql(QStringLiteral(" and S.SFVP=K.SFVP and (K.DANPRK is null OR K.DANPRK>:Dan) AND "
                                     "T.Sftrg=K.SFTRG ORDER BY Tip, S.SFVP, T.SFDRZTRG"));
    } else {
        Query->addSql(
            QStringLiteral("SELECT KRT, VornTransaImport from SFVP WHERE ISIN=:Isin AND (ZPDVP IS NULL OR "
                           "ZPDVP >= :Dan )") +
            (preferTransaImport ? QStringLiteral(" ORDER BY SfVp ") : QString()));
    }
    Query->bindText(QStringLiteral("Isin"), isin);
    Query->bindDate(QStringLiteral("Dan"), date);
    Query->open();
    const std::optional<QString> code = PapirPoKotacijiSLO ? ListingFormCode(*Query, preferTransaImport)
                                                           : PlainFormCode(*Query, preferTransaImport);
    Query->close();
    return code;
}

QString TVornConversion::GetIniSetValue(const QString &key)
{
    if (!Database)
        throw EDatabaseError(QStringLiteral("Database is not open"));
    HostQuery query(*Database);
    query.addSql(QStringLiteral("SELECT Vrednost FROM INISET WHERE Kljuc = :Kljuc"));
    query.bindText(QStringLiteral("Kljuc"), key);
    query.open();
    return query.eof() ? QString() : query.fieldText(QStringLiteral("Vrednost"));
}

void TVornConversion::Release()
{
    if (OutputFileName.isEmpty())
        return;
    // Written aside and moved into place, so the host never loads a half-written file: a file
    // that cannot be written whole leaves the one of the previous run in place, and a link at
    // the name is replaced, never written through.
    FolderSaveFile file(OutputFileName);
    if (!file.open())
        throw EFCreateError(file.cannotCreateMessage());
    for (const QByteArray &block : OutputLines.blocks()) {
        if (!file.write(block))
            throw EInOutError(file.cannotWriteMessage());
    }
    if (!file.commit())
        throw EInOutError(file.cannotWriteMessage());
}
