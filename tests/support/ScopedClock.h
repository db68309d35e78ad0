#pragma once

#include "common/Clock.h"

// Fixes the system clock for the lifetime of the object.
class ScopedClock
{
public:
    explicit ScopedClock(const QDateTime &now) { Clock::setFixed(now); }
    explicit ScopedClock(const QDate &today) : ScopedClock(QDateTime(today, QTime(12, 0))) {}
    ~ScopedClock() { Clock::setFixed(std::nullopt); }

    void set(const QDateTime &now) { Clock::setFixed(now); }

    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};
