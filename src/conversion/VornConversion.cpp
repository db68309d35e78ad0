#include "VornConversion.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"
#include "host/HostDatabase.h"

#include <QSaveFile>

namespace {

const QString kMissingPrefix = QStringLiteral("Manjka VP za ISIN:");
const QString kLineBreak = QStringLiteral("\r\n");

// The plain form: the first row's code, or that of the first row marked "D" when preferred.
std::optional<QString> plainFormCode(HostQuery &query, bool preferTransaImport)
{
    if (query.recordCount() == 0)
        return std::nullopt;
    query.first();
    const QString firstCode = query.fieldText(QStringLiteral("KRT"));
    for (; preferTransaImport && !query.eof(); query.next()) {
        if (query.fieldText(QStringLiteral("VornTransaImport")) == u"D")
            return query.fieldText(QStringLiteral("KRT"));
    }
    return firstCode;
}

// The listing form. One row gives its code. Of several, the rows come with the "S" markets
// first, so the candidates end as the securities listed on an "S" market and on no other; a
// row marked "D" wins when preferred.
std::optional<QString> listingFormCode(HostQuery &query, bool preferTransaImport)
{
    const int rows = query.recordCount();
    if (rows == 0)
        return std::nullopt;
    query.first();
    if (rows == 1)
        return query.fieldText(QStringLiteral("KRT"));
    QString preferredCode;
    QStringList candidates;
    for (; !query.eof(); query.next()) {
        const QString code = query.fieldText(QStringLiteral("KRT"));
        if (preferTransaImport && preferredCode.isEmpty() &&
            query.fieldText(QStringLiteral("VornTransaImport")) == u"D")
            preferredCode = code;
        if (query.fieldText(QStringLiteral("SFDRZTRG")) == u"S")
            candidates.append(code);
        else
            candidates.removeOne(code);
    }
    if (!preferredCode.isEmpty())
        return preferredCode;
    if (!candidates.isEmpty())
        return candidates.first();
    return std::nullopt;
}

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
    const std::optional<QString> code = PapirPoKotacijiSLO ? listingFormCode(*Query, preferTransaImport)
                                                           : plainFormCode(*Query, preferTransaImport);
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
    // Written aside and moved into place, so the host never loads a half-written file.
    QSaveFile file(OutputFileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(OutputFileName, file.errorString()));
    for (const QByteArray &block : OutputLines.blocks())
        file.write(block);
    if (!file.commit())
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(OutputFileName, file.errorString()));
}
