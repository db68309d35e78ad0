#pragma once

#include "common/Exception.h"

#include <optional>
#include <QDate>
#include <QString>

// A period the depository would not serve: the fetch is not started.
VORN_DECLARE_EXCEPTION(EInvalidPeriod, Exception)

// The fetch's own test of the period before it sends a request: the transactions reports ("Transakcije",
// "Transakcije izven trga") span at most 31 days, the allocations report ("Razporeditve") at most 10, and
// both must end before today. Stricter than the window's correction, which lets an allocations period end
// today. Returns the refusal message, or nothing when the period passes; other labels always pass.
std::optional<QString> FetchPeriodRefusal(const QString &label, const QDate &dateFrom, const QDate &dateTo,
                                          const QDate &today);
