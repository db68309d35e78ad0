#include "conversion/LookupDateSpans.h"

#include <gtest/gtest.h>

namespace {

const QDate kDay(2024, 1, 15);

TEST(LookupDateSpansTest, DatesBetweenTheSameEndDatesShareASpan)
{
    LookupDateSpans spans;
    spans.addSecurityEnd(QVariant(QStringLiteral("2024-01-15"))); // counts through the 15th
    spans.addListingEnd(QVariant(QDate(2024, 1, 20)));            // counts through the 19th
    spans.addSecurityEnd(QVariant(QDate(2024, 1, 15)));           // the same last day again
    spans.addSecurityEnd(QVariant());                             // null: no end
    ASSERT_TRUE(spans.known());
    EXPECT_EQ(spans.spanCount(), 3);
    const struct
    {
        QDate date;
        int span;
    } cases[] = {
        {QDate(1, 1, 1), 0},
        {QDate(2024, 1, 14), 0},
        {kDay, 0},
        {QDate(2024, 1, 16), 1},
        {QDate(2024, 1, 19), 1},
        {QDate(2024, 1, 20), 2},
        {QDate(9999, 12, 31), 2},
        {QDate(10000, 1, 1), -1},
        {QDate(0, 1, 1), -1},
        {QDate(), -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(spans.spanOf(c.date), c.span) << c.date.toString(Qt::ISODate).toStdString();
}

TEST(LookupDateSpansTest, EndDatesThatAreNoPlainCalendarDatesLeaveTheSpansUnknown)
{
    const QVariant forms[] = {
        QVariant(QStringLiteral("2024-1-15")),
        QVariant(QStringLiteral("2024-01-15 00:00:00")),
        QVariant(QStringLiteral(" 2024-01-15")),
        QVariant(QStringLiteral("2024-02-30")),
        QVariant(QStringLiteral("")),
        QVariant(20240115),
        QVariant(QByteArray("2024-01-15")),
        QVariant(QDateTime(kDay, QTime(0, 0))),
        QVariant(QDate()),
    };
    for (const QVariant &form : forms) {
        LookupDateSpans security;
        security.addSecurityEnd(form);
        EXPECT_FALSE(security.known()) << form.toString().toStdString();
        EXPECT_EQ(security.spanOf(kDay), -1);
        LookupDateSpans listing;
        listing.addListingEnd(form);
        EXPECT_FALSE(listing.known()) << form.toString().toStdString();
    }
    EXPECT_FALSE(LookupDateSpans::unknown().known());
    EXPECT_TRUE(LookupDateSpans().known());
    EXPECT_EQ(LookupDateSpans().spanOf(kDay), 0);
}

} // namespace
