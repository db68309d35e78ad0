#include "common/Clock.h"

namespace {
std::optional<QDateTime> &fixedNow()
{
    static std::optional<QDateTime> value;
    return value;
}
} // namespace

QDateTime Clock::now()
{
    return fixedNow() ? *fixedNow() : QDateTime::currentDateTime();
}

void Clock::setFixed(std::optional<QDateTime> fixed)
{
    fixedNow() = std::move(fixed);
}
