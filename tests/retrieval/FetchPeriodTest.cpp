#include "retrieval/FetchPeriod.h"

#include <gtest/gtest.h>

namespace {
const QString Refused31 = QString::fromUtf8(
    "Neveljavno obdobje. Maksimalno lahko obdobje obsega 31 dni, datum do mora biti v preteklosti "
    "(včeraj ali manj)!");
const QString Refused10 = QString::fromUtf8(
    "Neveljavno obdobje. Maksimalno lahko obdobje obsega 10 dni, datum do mora biti v preteklosti "
    "(včeraj ali manj)!");

QDate march(int day)
{
    return QDate(2024, 3, day);
}

struct PeriodCase
{
    const char *label;
    QDate from;
    QDate to;
    QDate today;
    QString expected; // empty: the period passes
};

void PrintTo(const PeriodCase &c, std::ostream *out)
{
    *out << c.label << " " << c.from.toString(Qt::ISODate).toStdString() << ".."
         << c.to.toString(Qt::ISODate).toStdString() << " today "
         << c.today.toString(Qt::ISODate).toStdString();
}

class FetchPeriodTest : public testing::TestWithParam<PeriodCase>
{
};
} // namespace

TEST_P(FetchPeriodTest, RefusesOrPasses)
{
    const PeriodCase &c = GetParam();
    const std::optional<QString> refusal =
        FetchPeriodRefusal(QString::fromUtf8(c.label), c.from, c.to, c.today);
    if (c.expected.isEmpty())
        EXPECT_FALSE(refusal.has_value()) << refusal.value_or(QString()).toStdString();
    else
        EXPECT_EQ(refusal.value_or("<passed>"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, FetchPeriodTest,
    testing::Values(
        // Transactions: 30 days apart and ending before today pass; a day more or ending today does not.
        PeriodCase{"Transakcije", march(1), march(31), QDate(2024, 4, 1), {}},
        PeriodCase{"Transakcije", march(1), QDate(2024, 4, 1), QDate(2024, 4, 1), Refused31},
        PeriodCase{"Transakcije", march(1), QDate(2024, 4, 1), QDate(2024, 4, 20), Refused31},
        PeriodCase{"Transakcije", march(20), march(20), march(20), Refused31},
        PeriodCase{"Transakcije", march(20), march(25), march(20), Refused31},
        PeriodCase{"Transakcije", march(19), march(19), march(20), {}},
        // A leap year's February counts its 29th day.
        PeriodCase{"Transakcije", QDate(2024, 2, 1), march(2), march(10), {}},
        PeriodCase{"Transakcije", QDate(2024, 2, 1), march(3), march(10), Refused31},
        // Across the year's end.
        PeriodCase{"Transakcije", QDate(2023, 12, 15), QDate(2024, 1, 14), QDate(2024, 1, 15), {}},
        PeriodCase{"Transakcije", QDate(2023, 12, 15), QDate(2024, 1, 15), QDate(2024, 1, 16), Refused31},
        PeriodCase{"Transakcije izven trga", march(1), march(31), QDate(2024, 4, 1), {}},
        PeriodCase{"Transakcije izven trga", march(1), QDate(2024, 4, 1), QDate(2024, 4, 2), Refused31},
        PeriodCase{"Transakcije izven trga", march(1), march(10), march(10), Refused31},
        // An end date before the start date is not a long period.
        PeriodCase{"Transakcije", march(10), march(1), march(20), {}},
        // Allocations: 9 days apart pass, 10 do not; today is refused although the window allows it.
        PeriodCase{"Razporeditve", march(1), march(10), march(20), {}},
        PeriodCase{"Razporeditve", march(1), march(11), march(20), Refused10},
        PeriodCase{"Razporeditve", march(11), march(20), march(20), Refused10},
        PeriodCase{"Razporeditve", march(10), march(19), march(20), {}},
        // Other labels, and labels differing in case or blanks, are not tested.
        PeriodCase{"Dnevne Transakcije", QDate(2020, 1, 1), QDate(2030, 1, 1), march(20), {}},
        PeriodCase{"Dnevne Razporeditve", march(20), march(20), march(20), {}},
        PeriodCase{"Stanja", march(1), march(31), march(1), {}},
        PeriodCase{"transakcije", march(1), QDate(2024, 6, 1), march(20), {}},
        PeriodCase{"Razporeditve ", march(1), QDate(2024, 6, 1), march(20), {}},
        PeriodCase{"", march(1), QDate(2024, 6, 1), march(20), {}}));
