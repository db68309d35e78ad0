#include "KeptSecurities.h"

struct KeptSecurities::DateKey
{
    PackedIsin isin;
    qint32 julianDay = 0;
    bool preferTransaImport = false;

    bool operator==(const DateKey &) const = default;
    size_t hash() const { return qHashMulti(isin.hash(), julianDay, preferTransaImport); }
};

// A kept result. A short ASCII code, as host codes are, is kept in the entry itself, so that
// reading it touches no memory beyond the table.
class KeptSecurities::KnownCode
{
public:
    static KnownCode of(const std::optional<QString> &code, QList<QString> &longCodes)
    {
        KnownCode known;
        known.m_known = true;
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

    std::optional<QString> code(const QList<QString> &longCodes) const
    {
        if (m_length == missing)
            return std::nullopt;
        if (m_length == kept)
            return longCodes[m_index];
        return QString::fromLatin1(m_text, m_length);
    }

    bool isKnown() const { return m_known; } // false until a result is kept

private:
    static constexpr qint8 missing = -1;
    static constexpr qint8 kept = -2; // in longCodes at m_index
    char m_text[10] = {};
    bool m_known = false;
    qint8 m_length = missing;
    qint32 m_index = 0;
};

// Everything kept of one ISIN.
struct KeptSecurities::KeptIsin
{
    static constexpr int kMaxSpans = 3; // more, and results are kept per date

    enum class Dates : quint8
    {
        First,    // only the first result, for its date and preference
        Spans,    // results per span of dates
        EachDate, // results per date, in m_byDate
    };
    Dates dates = Dates::First;
    bool firstPreference = false;
    quint8 lastDayCount = 0;
    qint32 firstDay = 0;
    qint32 lastDays[kMaxSpans - 1] = {}; // Julian days, in order
    KnownCode first;
    KnownCode spans[2 * kMaxSpans]; // by span * 2 + preference

    // The span of a day: the number of last days before it.
    int spanOf(qint32 day) const
    {
        int span = 0;
        while (span < lastDayCount && lastDays[span] < day)
            ++span;
        return span;
    }
};

namespace {

// The Julian days of 1 January 1 and 31 December 9999: span days only within them (see
// LookupDateSpans).
constexpr qint64 kFirstPlainDay = 1721426;
constexpr qint64 kLastPlainDay = 5373484;

} // namespace

KeptSecurities::KeptSecurities()
    : m_isins(std::make_unique<OpenTable<PackedIsin, KeptIsin, 64>>()),
      m_byDate(std::make_unique<OpenTable<DateKey, KnownCode>>())
{
}

KeptSecurities::~KeptSecurities() = default;

KeptSecurities::KnownCode KeptSecurities::known(const std::optional<QString> &code)
{
    return KnownCode::of(code, m_longCodes);
}

std::optional<QString> KeptSecurities::codeOf(const KnownCode &known) const
{
    return known.code(m_longCodes);
}

void KeptSecurities::prefetch(std::string_view isin) const
{
    if (const std::optional<PackedIsin> key = PackedIsin::of(isin))
        m_isins->prefetch(*key);
}

void KeptSecurities::prefetch(const QString &isin) const
{
    if (const std::optional<PackedIsin> key = PackedIsin::of(isin))
        m_isins->prefetch(*key);
}

std::optional<QString> KeptSecurities::find(const QString &isin, const QDate &date, bool preferTransaImport,
                                            SecuritySource &source)
{
    const std::optional<PackedIsin> key = PackedIsin::of(isin);
    const qint64 julianDay = date.toJulianDay();
    if (!key || julianDay != qint32(julianDay))
        return source.securityCode(isin, date, preferTransaImport);
    const qint32 day = qint32(julianDay);

    KeptIsin *kept = m_isins->find(*key);
    if (!kept) {
        const std::optional<QString> code = source.securityCode(isin, date, preferTransaImport);
        KeptIsin &fresh = m_isins->insert(*key);
        fresh.firstDay = day;
        fresh.firstPreference = preferTransaImport;
        fresh.first = known(code);
        return code;
    }
    if (kept->dates == KeptIsin::Dates::First) {
        if (kept->firstDay == day && kept->firstPreference == preferTransaImport)
            return codeOf(kept->first);
        learnDates(*kept, *key, isin, source);
    }
    if (kept->dates == KeptIsin::Dates::Spans && day >= kFirstPlainDay && day <= kLastPlainDay) {
        KnownCode &span = kept->spans[2 * kept->spanOf(day) + preferTransaImport];
        if (!span.isKnown()) {
            const std::optional<QString> code = source.securityCode(isin, date, preferTransaImport);
            span = known(code);
            return code;
        }
        return codeOf(span);
    }
    const DateKey dateKey{*key, day, preferTransaImport};
    if (const KnownCode *byDate = m_byDate->find(dateKey))
        return codeOf(*byDate);
    const std::optional<QString> code = source.securityCode(isin, date, preferTransaImport);
    m_byDate->insert(dateKey) = known(code);
    return code;
}

void KeptSecurities::learnDates(KeptIsin &kept, const PackedIsin &key, const QString &isin,
                                SecuritySource &source)
{
    const LookupDateSpans spans = source.endDates(isin);
    const QDate firstDate = QDate::fromJulianDay(kept.firstDay);
    if (spans.known() && spans.spanCount() <= KeptIsin::kMaxSpans && spans.spanOf(firstDate) >= 0) {
        kept.dates = KeptIsin::Dates::Spans;
        kept.lastDayCount = quint8(spans.lastDays().size());
        for (size_t i = 0; i < spans.lastDays().size(); ++i)
            kept.lastDays[i] = qint32(spans.lastDays()[i].toJulianDay());
        kept.spans[2 * spans.spanOf(firstDate) + kept.firstPreference] = kept.first;
    } else {
        kept.dates = KeptIsin::Dates::EachDate;
        m_byDate->insert({key, kept.firstDay, kept.firstPreference}) = kept.first;
    }
}
