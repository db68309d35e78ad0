#include "conversion/KeptSecurities.h"

#include <gtest/gtest.h>
#include <map>
#include <QHash>
#include <random>
#include <stdexcept>

namespace {

// A host of securities whose results change at end dates, answering as the lookup statement
// would; it counts what it is asked.
class FakeHost : public SecuritySource
{
public:
    struct Security
    {
        QList<QVariant> ends; // end dates as the host gives them (ZPDVP)
        QDate lastDay;        // the code changes after this day (invalid: never)
        bool missing = false; // the host lacks it
    };

    std::optional<QString> securityCode(const QString &isin, const QDate &date, bool prefer) override
    {
        ++statements;
        ++asked[{isin, date, prefer}];
        if (failuresLeft > 0) {
            --failuresLeft;
            throw std::runtime_error("database gone");
        }
        return answer(isin, date, prefer);
    }

    // What the lookup statement gives.
    std::optional<QString> answer(const QString &isin, const QDate &date, bool prefer) const
    {
        const Security security = securities.value(isin);
        if (security.missing)
            return std::nullopt;
        const bool late = security.lastDay.isValid() && date > security.lastDay;
        return isin.left(6) + (late ? u'L' : u'E') + (prefer ? u'P' : u'-');
    }

    LookupDateSpans endDates(const QString &isin) override
    {
        ++endDateReads;
        LookupDateSpans spans;
        for (const QVariant &end : securities[isin].ends)
            spans.addSecurityEnd(end);
        return spans;
    }

    QHash<QString, Security> securities;
    std::map<std::tuple<QString, QDate, bool>, int> asked;
    int statements = 0;
    int endDateReads = 0;
    int failuresLeft = 0;
};

TEST(KeptSecuritiesTest, KeptResultsAreTheHostsAtEveryDateAndPreference)
{
    FakeHost host;
    QStringList isins;
    for (int i = 0; i < 3000; ++i) {
        const QString isin = QStringLiteral("SI%1").arg(i, 10, 10, QLatin1Char('0'));
        FakeHost::Security security;
        switch (i % 6) {
        case 0: // no end date
            break;
        case 1: // one plain end date, where the code changes
            security.lastDay = QDate(2024, 1, 10 + i % 15);
            security.ends = {QVariant(security.lastDay.toString(Qt::ISODate))};
            break;
        case 2: // an end date that is no plain date: asked per date
            security.lastDay = QDate(2024, 1, 12);
            security.ends = {QVariant(QStringLiteral("2024-01-12 23:59:59"))};
            break;
        case 3: // more end dates than are kept as spans
            security.lastDay = QDate(2024, 1, 20);
            security.ends = {QVariant(QDate(2024, 1, 5)), QVariant(QDate(2024, 1, 10)),
                             QVariant(QDate(2024, 1, 15)), QVariant(QDate(2024, 1, 20))};
            break;
        case 4:
            security.missing = true;
            break;
        case 5: // end dates that change nothing but still split the dates into spans
            security.ends = {QVariant(QDate(2024, 1, 8)), QVariant(QDate(2024, 1, 22))};
            break;
        }
        host.securities.insert(isin, security);
        isins << isin;
    }
    // Long and non-ASCII ISINs are never kept, but answered alike.
    isins << QStringLiteral("SI00000000012345678901") << QString::fromUtf8("ČŠŽ000000001");

    KeptSecurities kept;
    std::mt19937 random(7);
    for (int record = 0; record < 60000; ++record) {
        const QString &isin = isins[random() % isins.size()];
        const QDate date = record % 1000 == 999 ? QDate(10000, 1, 1) : QDate(2024, 1, 1 + random() % 31);
        const bool prefer = random() % 4 == 0;
        const std::optional<QString> expected = host.answer(isin, date, prefer);
        kept.prefetch(isin);
        ASSERT_EQ(kept.find(isin, date, prefer, host), expected)
            << record << " " << isin.toStdString() << " " << date.toString(Qt::ISODate).toStdString();
    }
    // Each kept ISIN was asked at most once for a date and preference, and far fewer statements
    // ran than records were converted.
    for (const auto &[question, times] : host.asked) {
        if (std::get<0>(question).size() == 12 && std::get<0>(question).startsWith(u"SI")) {
            ASSERT_EQ(times, 1) << std::get<0>(question).toStdString();
        }
    }
    EXPECT_LT(host.statements, 25000);
}

TEST(KeptSecuritiesTest, AnIsinWithoutEndDatesIsAskedOncePerPreference)
{
    FakeHost host;
    host.securities.insert(QStringLiteral("SI0000000001"), {});
    KeptSecurities kept;
    for (int day = 1; day <= 31; ++day) {
        for (const bool prefer : {false, true})
            kept.find(QStringLiteral("SI0000000001"), QDate(2024, 1, day), prefer, host);
    }
    EXPECT_EQ(host.statements, 2);
    EXPECT_EQ(host.endDateReads, 1);
}

TEST(KeptSecuritiesTest, AReportOfOneDateNeverReadsEndDates)
{
    FakeHost host;
    KeptSecurities kept;
    for (int record = 0; record < 100; ++record)
        kept.find(QStringLiteral("SI%1").arg(record % 10), QDate(2024, 1, 15), false, host);
    EXPECT_EQ(host.statements, 10);
    EXPECT_EQ(host.endDateReads, 0);
}

TEST(KeptSecuritiesTest, AFailureIsNotKept)
{
    FakeHost host;
    host.securities.insert(QStringLiteral("SI0000000001"), {});
    KeptSecurities kept;
    const QString isin = QStringLiteral("SI0000000001");
    host.failuresLeft = 1;
    EXPECT_THROW(kept.find(isin, QDate(2024, 1, 15), false, host), std::runtime_error);
    EXPECT_EQ(kept.find(isin, QDate(2024, 1, 15), false, host), QStringLiteral("SI0000E-"));
    // A failure at a second date, once the spans are known.
    host.failuresLeft = 1;
    EXPECT_THROW(kept.find(isin, QDate(2024, 1, 16), true, host), std::runtime_error);
    EXPECT_EQ(kept.find(isin, QDate(2024, 1, 16), true, host), QStringLiteral("SI0000EP"));
    EXPECT_EQ(host.statements, 4);
}

} // namespace
