#pragma once

#include <QDate>
#include <QVariant>
#include <vector>

// The end dates that decide which of an ISIN's host rows the security lookup takes at a date:
// a security's ZPDVP (its row counts while the date is not after it) and, in the listing form, a
// listing's DANPRK (it counts while the date is before it). Between two end dates the rows, and
// so the lookup's result, stay the same; the dates of one span share their result.
//
// Only end dates that the host returns as plain calendar dates (a date value, or a text
// "yyyy-MM-dd") are understood: the engine compares those as dates, also SQLite, whose text
// order of such dates is their calendar order. An end date of any other form, or a lookup
// date outside the years 1 to 9999, leaves the spans unknown, and each date asks the host.
class LookupDateSpans
{
public:
    // Spans that stay unknown, for when the end dates could not be read.
    static LookupDateSpans unknown();

    void addSecurityEnd(const QVariant &zpdvp);
    void addListingEnd(const QVariant &danprk);

    // Whether every end date added was a plain calendar date.
    bool known() const { return m_known; }
    // The span of a date, from 0; -1 when the spans are unknown or the date is not a plain one.
    int spanOf(const QDate &date) const;
    int spanCount() const { return int(m_lastDays.size()) + 1; }
    // The last day on which a row counts, of each end date, in order.
    const std::vector<QDate> &lastDays() const { return m_lastDays; }

private:
    // A row with this end date counts through the end date plus the offset.
    void addEnd(const QVariant &end, int lastDayOffset);
    void addLastDay(const QDate &day);

    std::vector<QDate> m_lastDays; // the last day on which a row counts, in order, each once
    bool m_known = true;
};
