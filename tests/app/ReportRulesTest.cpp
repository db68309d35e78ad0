#include "app/ReportRules.h"

#include "retrieval/ReportCatalogue.h"

#include <gtest/gtest.h>

namespace {
const QDate april20(2024, 4, 20);

QDate d(int year, int month, int day)
{
    return QDate(year, month, day);
}

struct TypeCase
{
    const char *label;
    std::optional<QDate> from;
    std::optional<QDate> to;
    bool fromEnabled;
    bool toEnabled;
    bool onlyActive;
    bool isin;
};

void expectRule(const TypeCase &c, const QDate &today)
{
    const TypeRule rule = TypeRuleFor(QString::fromUtf8(c.label), today);
    const std::string where = std::string(c.label) + " on " + today.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(rule.dateFrom, c.from) << where;
    EXPECT_EQ(rule.dateTo, c.to) << where;
    EXPECT_EQ(rule.dateFromEnabled, c.fromEnabled) << where;
    EXPECT_EQ(rule.dateToEnabled, c.toEnabled) << where;
    EXPECT_EQ(rule.showOnlyActive, c.onlyActive) << where;
    EXPECT_EQ(rule.showIsin, c.isin) << where;
}
} // namespace

TEST(TypeRulesTest, EveryLabelOnTwentiethOfApril)
{
    const std::nullopt_t same = std::nullopt;
    const TypeCase cases[] = {
        {"Računi", d(2024, 4, 19), d(2024, 4, 19), false, false, true, false},
        {"Stanja", d(2024, 4, 19), d(2024, 4, 19), false, false, false, false},
        {"Transakcije", d(2024, 3, 21), d(2024, 4, 19), true, true, false, false},
        {"Transakcije izven trga", d(2024, 3, 21), d(2024, 4, 19), true, true, false, false},
        {"Razporeditve", d(2024, 4, 11), d(2024, 4, 20), true, true, false, false},
        {"Dnevne Transakcije", d(2024, 4, 20), d(2024, 4, 20), false, false, false, false},
        {"Dnevne Razporeditve", d(2024, 4, 20), d(2024, 4, 20), false, false, false, false},
        {"Dnevne Teoretične vrednosti", d(2024, 4, 20), d(2024, 4, 20), true, false, false, false},
        {"Javna delniška knjiga", same, same, false, false, false, true},
        {"Javna delniška knjiga TOP 50", same, same, true, true, false, false},
        {"Trenutni trgovalni računi BTS", same, same, true, true, false, false},
        {"Poravnalne inštrukcije", same, same, true, true, false, false},
        {"Plačila korporacijskih akcij", same, same, true, true, false, false},
        {"DCA izpisek", same, same, true, true, false, false},
        // Labels are compared exactly: another case or an unfinished word has no rule.
        {"računi", same, same, true, true, false, false},
        {"Transakcij", same, same, true, true, false, false},
        {"", same, same, true, true, false, false},
    };
    for (const TypeCase &c : cases)
        expectRule(c, april20);
}

TEST(TypeRulesTest, DatesCrossMonthAndYearBoundaries)
{
    // 1 March of a leap year: yesterday is 29 February, thirty days back is 31 January.
    expectRule({"Transakcije", d(2024, 1, 31), d(2024, 2, 29), true, true, false, false}, d(2024, 3, 1));
    // New Year's Day: yesterday lies in the previous year.
    expectRule({"Stanja", d(2023, 12, 31), d(2023, 12, 31), false, false, false, false}, d(2024, 1, 1));
    expectRule({"Razporeditve", d(2023, 12, 23), d(2024, 1, 1), true, true, false, false}, d(2024, 1, 1));
}

TEST(TypeRulesTest, CatalogueLabelsReachTheirRules)
{
    // The rules key on the labels of the catalogue's list entries; a typo on either side would leave a
    // report without its rule.
    const QStringList labelsWithRules = {"Računi",
                                         "Stanja",
                                         "Transakcije",
                                         "Transakcije izven trga",
                                         "Razporeditve",
                                         "Dnevne Transakcije",
                                         "Dnevne Razporeditve",
                                         "Dnevne Teoretične vrednosti",
                                         "Javna delniška knjiga"};
    QStringList found;
    for (const ReportType &type : ReportCatalogue()) {
        const QString label = ReportLabel(type.listEntry);
        const TypeRule rule = TypeRuleFor(label, april20);
        const bool hasRule = rule.dateFrom || !rule.dateFromEnabled || rule.showIsin || rule.showOnlyActive;
        if (hasRule)
            found << label;
    }
    EXPECT_EQ(found.size(), labelsWithRules.size()) << found.join(", ").toStdString();
    for (const QString &label : labelsWithRules)
        EXPECT_TRUE(found.contains(label)) << label.toStdString();
}

TEST(PeriodRulesTest, EndDateCorrections)
{
    struct Case
    {
        const char *label;
        QDate from;
        QDate to;
        QDate expected;
    };
    const Case cases[] = {
        // Transactions, today 20 April: at most 30 days, ending yesterday at the latest.
        {"Transakcije", d(2024, 3, 1), d(2024, 4, 15), d(2024, 3, 31)},
        {"Transakcije", d(2024, 4, 10), d(2024, 4, 20), d(2024, 4, 19)},
        {"Transakcije", d(2024, 3, 1), d(2024, 4, 20), d(2024, 3, 31)}, // the length is corrected first
        {"Transakcije", d(2024, 3, 1), d(2024, 3, 31), d(2024, 3, 31)}, // exactly 30 days
        {"Transakcije", d(2024, 3, 1), d(2024, 4, 1), d(2024, 3, 31)},  // 31 days
        {"Transakcije", d(2024, 4, 19), d(2024, 4, 19), d(2024, 4, 19)},
        {"Transakcije izven trga", d(2024, 3, 1), d(2024, 4, 15), d(2024, 3, 31)},
        {"Transakcije izven trga", d(2024, 4, 18), d(2024, 5, 2), d(2024, 4, 19)},
        // An end date before the start date is not moved towards it ...
        {"Transakcije", d(2024, 4, 10), d(2024, 4, 5), d(2024, 4, 5)},
        // ... but is still pulled back when it lies after the latest end date.
        {"Transakcije", d(2024, 4, 25), d(2024, 4, 22), d(2024, 4, 19)},
        // Allocations: at most 9 days, ending today at the latest.
        {"Razporeditve", d(2024, 4, 8), d(2024, 4, 20), d(2024, 4, 17)},  // start 12 days ago
        {"Razporeditve", d(2024, 4, 11), d(2024, 4, 20), d(2024, 4, 20)}, // exactly 9 days
        {"Razporeditve", d(2024, 4, 15), d(2024, 4, 21), d(2024, 4, 20)},
        {"Razporeditve", d(2023, 12, 28), d(2024, 1, 10), d(2024, 1, 6)},
        // No rule for the others.
        {"Stanja", d(2024, 1, 1), d(2024, 12, 31), d(2024, 12, 31)},
        {"Dnevne Razporeditve", d(2024, 1, 1), d(2024, 12, 31), d(2024, 12, 31)},
        {"", d(2024, 1, 1), d(2024, 12, 31), d(2024, 12, 31)},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CorrectedEndDate(QString::fromUtf8(c.label), c.from, c.to, april20), c.expected)
            << c.label << " " << c.from.toString(Qt::ISODate).toStdString() << " to "
            << c.to.toString(Qt::ISODate).toStdString();
    }
}
