#include "retrieval/FetchPeriod.h"

namespace {
struct PeriodLimit
{
    const char *label;
    int longestSpanDays; // how many days the end date may lie after the start date
    const char *refusal;
};

const PeriodLimit periodLimits[] = {
    {"Transakcije", 30,
     "Neveljavno obdobje. Maksimalno lahko obdobje obsega 31 dni, datum do mora biti v preteklosti "
     "(včeraj ali manj)!"},
    {"Transakcije izven trga", 30,
     "Neveljavno obdobje. Maksimalno lahko obdobje obsega 31 dni, datum do mora biti v preteklosti "
     "(včeraj ali manj)!"},
    {"Razporeditve", 9,
     "Neveljavno obdobje. Maksimalno lahko obdobje obsega 10 dni, datum do mora biti v preteklosti "
     "(včeraj ali manj)!"},
};
} // namespace

std::optional<QString> FetchPeriodRefusal(const QString &label, const QDate &dateFrom, const QDate &dateTo,
                                          const QDate &today)
{
    for (const PeriodLimit &limit : periodLimits) {
        if (label != QLatin1String(limit.label))
            continue;
        if (dateFrom.daysTo(dateTo) > limit.longestSpanDays || dateTo >= today)
            return QString::fromUtf8(limit.refusal);
        return std::nullopt;
    }
    return std::nullopt;
}
