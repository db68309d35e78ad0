#pragma once

#include <optional>
#include <QDate>
#include <QString>

// What choosing a report type does to the window: the dates it sets, which date pickers stay enabled
// and which optional fields are shown. A date left empty stays as it is.
struct TypeRule
{
    std::optional<QDate> dateFrom;
    std::optional<QDate> dateTo;
    bool dateFromEnabled = true;
    bool dateToEnabled = true;
    bool showOnlyActive = false; // "Samo aktivni" of the accounts report
    bool showIsin = false;       // the ISIN field of the sharebook report
};

// The type rule of a report label ("Stanja", "Transakcije", ...); a label without a rule of its own
// enables both pickers and changes nothing else.
TypeRule TypeRuleFor(const QString &label, const QDate &today);

// The end date after the operator changed a date of the period: a period longer than the report allows
// is shortened first, then an end date later than the report allows is pulled back. An end date before
// the start date is not moved towards it. The start date is never changed.
QDate CorrectedEndDate(const QString &label, const QDate &dateFrom, const QDate &dateTo, const QDate &today);
