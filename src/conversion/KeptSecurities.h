#pragma once

#include "conversion/LookupDateSpans.h"
#include "conversion/OpenTable.h"
#include "conversion/PackedIsin.h"

#include <memory>
#include <optional>
#include <QDate>
#include <QList>
#include <QString>
#include <string_view>
#include <vector>

// Where the results that a conversion keeps come from: the host database.
class SecuritySource
{
public:
    virtual ~SecuritySource() = default;
    // The lookup statement's result for the ISIN at the date; nullopt when the host lacks the
    // security. Throws on a database error.
    virtual std::optional<QString> securityCode(const QString &isin, const QDate &date,
                                                bool preferTransaImport) = 0;
    // The end dates of the ISIN's rows that the lookup statement joins; unknown spans when they
    // cannot be read.
    virtual LookupDateSpans endDates(const QString &isin) = 0;
};

// The security lookups of one conversion, kept because the host database does not change
// meanwhile. Everything kept of an ISIN lives in one place of one table, so that a record
// finds its result with one memory read, which prefetch can start early: records come in no
// order of ISINs, so every other read would miss the processor's cache.
//
// An ISIN's first result is kept for its date and preference. When the ISIN comes at another
// date or preference, its end dates are read: between two of them its rows, and so its result,
// stay the same (see LookupDateSpans), so each span of dates asks once. An ISIN whose end dates
// are unknown, or many, keeps its results per date. ISINs over 16 characters or not ASCII, and
// dates beyond 32-bit Julian days, are never kept.
class KeptSecurities
{
public:
    KeptSecurities();
    ~KeptSecurities();

    // The kept result, or the source's, which is then kept. A failure of the source passes on
    // and nothing of it is kept.
    std::optional<QString> find(const QString &isin, const QDate &date, bool preferTransaImport,
                                SecuritySource &source);
    // Starts bringing what is kept of the ISIN into the processor's cache; it changes nothing.
    void prefetch(const QString &isin) const;
    void prefetch(std::string_view isin) const; // the ISIN in UTF-8

    KeptSecurities(const KeptSecurities &) = delete;
    KeptSecurities &operator=(const KeptSecurities &) = delete;

private:
    struct DateKey;
    class KnownCode;
    struct KeptIsin;

    KnownCode known(const std::optional<QString> &code);
    std::optional<QString> codeOf(const KnownCode &known) const;
    // Reads the ISIN's end dates once it comes at a second date or preference.
    void learnDates(KeptIsin &kept, const PackedIsin &key, const QString &isin, SecuritySource &source);

    // A slot of an ISIN starts a cache line: its first result is read from that line alone.
    std::unique_ptr<OpenTable<PackedIsin, KeptIsin, 64>> m_isins;
    std::unique_ptr<OpenTable<DateKey, KnownCode>> m_byDate; // ISINs whose spans are not kept
    QList<QString> m_longCodes;                              // codes that do not fit into a KnownCode
};
