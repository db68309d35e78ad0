#include "app/ReportRules.h"

TypeRule TypeRuleFor(const QString &label, const QDate &today)
{
    const QDate yesterday = today.addDays(-1);
    TypeRule rule;
    auto fixed = [&](const QDate &from, const QDate &to) {
        rule.dateFrom = from;
        rule.dateTo = to;
        rule.dateFromEnabled = false;
        rule.dateToEnabled = false;
    };

    if (label == u"Računi") {
        fixed(yesterday, yesterday);
        rule.showOnlyActive = true;
    } else if (label == u"Stanja") {
        fixed(yesterday, yesterday);
    } else if (label == u"Transakcije" || label == u"Transakcije izven trga") {
        rule.dateFrom = today.addDays(-30);
        rule.dateTo = yesterday;
    } else if (label == u"Razporeditve") {
        rule.dateFrom = today.addDays(-9);
        rule.dateTo = today;
    } else if (label == u"Dnevne Transakcije" || label == u"Dnevne Razporeditve") {
        fixed(today, today);
    } else if (label == u"Dnevne Teoretične vrednosti") {
        fixed(today, today);
        rule.dateFromEnabled = true;
    } else if (label == u"Javna delniška knjiga") {
        rule.dateFromEnabled = false;
        rule.dateToEnabled = false;
        rule.showIsin = true;
    }
    return rule;
}

namespace {
// The longest period in days after the start date, and the latest end date, of the reports that limit them.
struct PeriodLimit
{
    int longestDays;
    int latestEndFromToday;
};

std::optional<PeriodLimit> PeriodLimitFor(const QString &label)
{
    if (label == u"Transakcije" || label == u"Transakcije izven trga")
        return PeriodLimit{30, -1};
    if (label == u"Razporeditve")
        return PeriodLimit{9, 0};
    return std::nullopt;
}
} // namespace

QDate CorrectedEndDate(const QString &label, const QDate &dateFrom, const QDate &dateTo, const QDate &today)
{
    const std::optional<PeriodLimit> limit = PeriodLimitFor(label);
    if (!limit)
        return dateTo;
    QDate corrected = dateTo;
    if (dateFrom.daysTo(corrected) > limit->longestDays)
        corrected = dateFrom.addDays(limit->longestDays);
    const QDate latestEnd = today.addDays(limit->latestEndFromToday);
    if (corrected > latestEnd)
        corrected = latestEnd;
    return corrected;
}
