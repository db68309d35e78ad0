#include "LookupDateSpans.h"

#include <algorithm>

namespace {

bool isPlainYear(const QDate &date)
{
    return date.isValid() && date.year() >= 1 && date.year() <= 9999;
}

// The date a host value stands for, when it is a plain calendar date; an invalid date otherwise.
QDate plainDate(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate) {
        const QDate date = value.toDate();
        return isPlainYear(date) ? date : QDate();
    }
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString text = value.toString();
    const QDate date = QDate::fromString(text, Qt::ISODate);
    // Exactly the form a bound lookup date takes, so that text order is date order.
    if (!isPlainYear(date) || date.toString(Qt::ISODate) != text)
        return {};
    return date;
}

} // namespace

LookupDateSpans LookupDateSpans::unknown()
{
    LookupDateSpans spans;
    spans.m_known = false;
    return spans;
}

void LookupDateSpans::addSecurityEnd(const QVariant &zpdvp)
{
    addEnd(zpdvp, 0);
}

void LookupDateSpans::addListingEnd(const QVariant &danprk)
{
    addEnd(danprk, -1);
}

void LookupDateSpans::addEnd(const QVariant &end, int lastDayOffset)
{
    if (end.isNull())
        return;
    const QDate date = plainDate(end);
    if (!date.isValid())
        m_known = false;
    else
        addLastDay(date.addDays(lastDayOffset));
}

void LookupDateSpans::addLastDay(const QDate &day)
{
    const auto at = std::lower_bound(m_lastDays.begin(), m_lastDays.end(), day);
    if (at == m_lastDays.end() || *at != day)
        m_lastDays.insert(at, day);
}

int LookupDateSpans::spanOf(const QDate &date) const
{
    if (!m_known || !isPlainYear(date))
        return -1;
    // The number of last days before the date: dates with as many share every row's state.
    return int(std::lower_bound(m_lastDays.begin(), m_lastDays.end(), date) - m_lastDays.begin());
}
