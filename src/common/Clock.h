#pragma once

#include <optional>
#include <QDate>
#include <QDateTime>

// The one source of "now" and "today" for the rules that depend on the date.
// Tests fix it through ScopedClock (tests/support); nothing else sets it.
class Clock
{
public:
    static QDateTime now();
    static QDate today() { return now().date(); }

    static void setFixed(std::optional<QDateTime> fixed);
};
