#include "VornConversion.h"

#include "app/HostDatabase.h"
#include "common/Exception.h"
#include "conversion/OutputFiles.h"

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

std::optional<TVornConversion::LookupKey>
TVornConversion::LookupKey::of(const QString &isin, const QDate &date, bool preferTransaImport)
{
    const qint64 julianDay = date.toJulianDay();
    if (isin.size() > 16 || julianDay != qint32(julianDay))
        return std::nullopt;
    LookupKey key{0, 0, qint32(julianDay), preferTransaImport};
    for (qsizetype i = 0; i < isin.size(); ++i) {
        const char16_t unit = isin[i].unicode();
        // Character 0 is refused too, so that shorter ISINs never pack like longer ones.
        if (unit == 0 || unit > 127)
            return std::nullopt;
        quint64 &word = i < 8 ? key.isinHead : key.isinTail;
        word = (word << 8) | unit;
    }
    return key;
}

TVornConversion::KnownCode TVornConversion::KnownCode::of(const std::optional<QString> &code,
                                                          QList<QString> &longCodes)
{
    KnownCode known;
    known.m_used = true;
    if (!code)
        return known;
    const qsizetype length = code->size();
    // An empty code is kept as it is, so that a null text stays null.
    bool ascii = length > 0 && length <= qsizetype(sizeof known.m_text);
    for (qsizetype i = 0; ascii && i < length; ++i) {
        const char16_t unit = code->at(i).unicode();
        ascii = unit < 0x80;
        known.m_text[i] = char(unit);
    }
    if (ascii) {
        known.m_length = qint8(length);
    } else {
        known.m_length = kept;
        known.m_index = qint32(longCodes.size());
        longCodes.append(*code);
    }
    return known;
}

std::optional<QString> TVornConversion::KnownCode::code(const QList<QString> &longCodes) const
{
    if (m_length == missing)
        return std::nullopt;
    if (m_length == kept)
        return longCodes[m_index];
    return QString::fromLatin1(m_text, m_length);
}

const TVornConversion::KnownCode *TVornConversion::KnownSecurities::find(const LookupKey &key) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = firstSlot(key);; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (!slot.code.used())
            return nullptr;
        if (slot.key == key)
            return &slot.code;
    }
}

void TVornConversion::KnownSecurities::insert(const LookupKey &key, const KnownCode &code)
{
    if (2 * (m_count + 1) > m_slots.size()) {
        std::vector<Slot> previous(2 * m_slots.size());
        previous.swap(m_slots);
        m_count = 0;
        for (const Slot &slot : previous) {
            if (slot.code.used())
                insert(slot.key, slot.code);
        }
    }
    const size_t mask = m_slots.size() - 1;
    size_t i = firstSlot(key);
    while (m_slots[i].code.used())
        i = (i + 1) & mask;
    m_slots[i] = {key, code};
    ++m_count;
}

void TVornConversion::KnownSecurities::prefetch(const LookupKey &key) const
{
#if defined(__GNUC__)
    __builtin_prefetch(&m_slots[firstSlot(key)]);
#else
    Q_UNUSED(key);
#endif
}

void TVornConversion::prefetchSecurityCode(const QString &isin, const QDate &date,
                                           bool preferTransaImport) const
{
    if (const std::optional<LookupKey> key = LookupKey::of(isin, date, preferTransaImport))
        m_knownSecurities.prefetch(*key);
}

SecurityLookup TVornConversion::FindSecurityCode(const QString &isin, const QDate &date,
                                                 bool preferTransaImport, QString &missingSecurities)
{
    const std::optional<LookupKey> key = LookupKey::of(isin, date, preferTransaImport);
    const KnownCode *known = key ? m_knownSecurities.find(*key) : nullptr;
    std::optional<QString> code;
    if (known) {
        code = known->code(m_longCodes);
        if (m_readBatch)
            m_readBatch->endIfDue();
    } else {
        try {
            code = lookUpSecurityCode(isin, date, preferTransaImport, key);
        } catch (const std::exception &error) {
            if (Query)
                Query->close();
            if (m_readBatch)
                m_readBatch->end();
            m_lookupFailed = true;
            missingSecurities += kLineBreak + exceptionMessage(error);
            return {};
        }
        if (key)
            m_knownSecurities.insert(*key, KnownCode::of(code, m_longCodes));
    }
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
    if (!m_namedIsins.contains(isin)) {
        missingSecurities += kLineBreak + kMissingPrefix + isin;
        m_namedIsins.insert(isin);
    }
    m_missingTextSize = missingSecurities.size();
}

std::optional<QString> TVornConversion::lookUpSecurityCode(const QString &isin, const QDate &date,
                                                           bool preferTransaImport,
                                                           const std::optional<LookupKey> &key)
{
    if (!key)
        return querySecurityCode(isin, date, preferTransaImport);
    IsinDates &dates = m_isinDates[{key->isinHead, key->isinTail}];
    if (!dates.spans && dates.first) {
        dates.spans = queryEndDates(isin);
        dates.codes.resize(2 * dates.spans->spanCount());
        const IsinDates::FirstLookup &first = *dates.first;
        if (const int span = dates.spans->spanOf(first.date); span >= 0)
            dates.codes[2 * span + first.preferTransaImport] = first.code;
        dates.first.reset();
    }
    if (!dates.spans) {
        const std::optional<QString> code = querySecurityCode(isin, date, preferTransaImport);
        dates.first = IsinDates::FirstLookup{date, preferTransaImport, code};
        return code;
    }
    const int span = dates.spans->spanOf(date);
    if (span < 0)
        return querySecurityCode(isin, date, preferTransaImport);
    std::optional<std::optional<QString>> &kept = dates.codes[2 * span + preferTransaImport];
    if (!kept)
        kept = querySecurityCode(isin, date, preferTransaImport);
    return *kept;
}

LookupDateSpans TVornConversion::queryEndDates(const QString &isin)
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

std::optional<QString> TVornConversion::querySecurityCode(const QString &isin, const QDate &date,
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
