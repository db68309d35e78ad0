#include "retrieval/ReportCatalogue.h"

#include "common/Messenger.h"

#include <array>

namespace {
using Listed = ReportType::Listed;

const std::array<ReportType, 14> &catalogue()
{
    static const std::array<ReportType, 14> types{{
        {1, QStringLiteral("Računi - MemberAccounts"), QStringLiteral("MemberAccounts"),
         QStringLiteral("MemberAccounts?MemberCode=%MemberCode%"), false, Listed::Always},
        {2, QStringLiteral("Stanja - MemberAccountPositions"), QStringLiteral("MemberAccountPositions"),
         QStringLiteral("MemberAccountPositions?MemberCode=%MemberCode%"), false, Listed::Always},
        {3, QStringLiteral("Transakcije - MemberTransactions"), QStringLiteral("MemberTransactions"),
         QStringLiteral("MemberTransactions?MemberCode=%MemberCode%&FromDate=%FromDate%&ToDate=%ToDate%"),
         false, Listed::Always},
        {4, QStringLiteral("Dnevne Transakcije - MemberTransactionsCurrentDay"),
         QStringLiteral("MemberTransactionsCurrentDay"),
         QStringLiteral("MemberTransactionsCurrentDay?MemberCode=%MemberCode%"), false, Listed::Always},
        {5, QStringLiteral("Razporeditve - MemberAllocations"), QStringLiteral("MemberAllocations"),
         QStringLiteral("MemberAllocations?MemberCode=%MemberCode%&FromDate=%FromDate%&ToDate=%ToDate%"),
         false, Listed::Always},
        {6, QStringLiteral("Dnevne Razporeditve - MemberAllocationsCurrentDay"),
         QStringLiteral("MemberAllocationsCurrentDay"),
         QStringLiteral("MemberAllocationsCurrentDay?MemberCode=%MemberCode%"), false, Listed::Always},
        {7, QStringLiteral("Dnevne Teoretične vrednosti - DailyBondValues"),
         QStringLiteral("DailyBondValues"), QStringLiteral("DailyBondValues?EffectiveDate=%FromDate%"), true,
         Listed::WhenDailyBondValuesOffered},
        {8, QStringLiteral("Javna delniška knjiga TOP 50 - PublicSharebookTop50All"),
         QStringLiteral("PublicSharebookTop50All"), QStringLiteral("SharebookTop50All"), true,
         Listed::Always},
        {9, QStringLiteral("Transakcije izven trga - MemberOffMarketTransactionsAll"),
         QStringLiteral("MemberOffMarketTransactionsAll"),
         QStringLiteral(
             "MemberOffMarketTransactionsAll?MemberCode=%MemberCode%&FromDate=%FromDate%&ToDate=%ToDate%"),
         false, Listed::Always},
        {10, QStringLiteral("Trenutni trgovalni računi BTS - MemberCurrentAccounts4BTS"),
         QStringLiteral("MemberCurrentAccounts4BTS"),
         QStringLiteral("MemberCurrentAccounts4BTS?MemberCode=%MemberCode%"), false, Listed::Always},
        {11, QStringLiteral("Javna delniška knjiga - SharebookTXT"), QStringLiteral("SharebookTXT"),
         QStringLiteral("SharebookTXT?IsinCode=%IsinCode%"), true, Listed::WhenSharebookTXTOffered},
        {12, QStringLiteral("Poravnalne inštrukcije - MemberT2SSettlementInstructionsHistory"),
         QStringLiteral("MemberT2SSettlementInstructionsHistory"),
         QStringLiteral(
             "MemberT2SSettlementInstructionsHistory?MemberCode=%MemberCode%&FromDate=%FromDate%&ToDate=%"
             "ToDate%"),
         false, Listed::UnattendedOnly},
        {13, QStringLiteral("Plačila korporacijskih akcij - MemberCorporateActionPayments"),
         QStringLiteral("MemberCorporateActionPayments"),
         QStringLiteral("MemberCorporateActionPayments?MemberCode=%MemberCode%&CorporateActionCaseNumber=%"
                        "CorporateActionCaseNumber%"),
         false, Listed::UnattendedOnly},
        {14, QStringLiteral("DCA izpisek - MemberT2SBankToCustomerStatement"),
         QStringLiteral("MemberT2SBankToCustomerStatement"),
         QStringLiteral("MemberT2SBankToCustomerStatement?MemberCode=%MemberCode%&StatusDate=%FromDate%"),
         false, Listed::UnattendedOnly},
    }};
    return types;
}

const ReportType &entry(int number)
{
    return catalogue()[number - 1];
}

QString requestDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy.MM.dd"));
}
} // namespace

QString ReportType::label() const
{
    return ReportLabel(listEntry);
}

std::span<const ReportType> ReportCatalogue()
{
    return catalogue();
}

QString ReportLabel(const QString &listText)
{
    // A text without "-" names no operation and so has no label.
    const qsizetype dash = listText.indexOf(u'-');
    return dash < 0 ? QString() : listText.left(dash).trimmed();
}

QStringList ReportListEntries(const ReportListConditions &conditions)
{
    QStringList entries;
    for (const ReportType &type : catalogue()) {
        const bool listed =
            type.listed == Listed::Always ||
            (type.listed == Listed::WhenDailyBondValuesOffered && conditions.OfferDailyBondValues) ||
            (type.listed == Listed::WhenSharebookTXTOffered && conditions.OfferSharebookTXT) ||
            (type.listed == Listed::UnattendedOnly && conditions.Unattended);
        if (listed)
            entries << type.listEntry;
    }
    return entries;
}

QStringList ReportListEntriesWithoutHost()
{
    QStringList entries;
    for (const ReportType &type : ReportCatalogue().first<11>())
        entries << type.listEntry;
    return entries;
}

const ReportType *SelectReportType(const QString &listText)
{
    auto contains = [&](const QString &name) { return listText.contains(name, Qt::CaseSensitive); };
    // One operation name contains another in places, so the order of the tests decides.
    if (contains(entry(1).operationName))
        return &entry(1);
    if (contains(entry(2).operationName))
        return &entry(2);
    if (contains(entry(3).operationName))
        return contains(entry(4).operationName) ? &entry(4) : &entry(3);
    for (int number : {6, 5, 7, 8, 9, 10, 11, 12, 13, 14}) {
        if (contains(entry(number).operationName))
            return &entry(number);
    }
    return nullptr;
}

Endpoint ChooseEndpoint(const QString &memberBoxText, const Endpoint &configured,
                        const RemoteMemberTable &remoteMembers)
{
    if (memberBoxText.trimmed().isEmpty())
        return configured;
    for (const tVorn_remoteClan &member : remoteMembers) {
        if (member.VornMemberCode == memberBoxText)
            return member;
    }
    throw EUnknownRemoteMember(
        QStringLiteral("Član \"%1\" ni v tabeli VORN_REMOTECLAN, zahteva ni bila poslana.")
            .arg(memberBoxText));
}

QString PrepareRequest(const QString &requestTemplate, const RequestInputs &inputs, Messenger &messenger)
{
    const Endpoint endpoint =
        ChooseEndpoint(inputs.memberBoxText, inputs.currentEndpoint, inputs.remoteMembers);
    QString uri = endpoint.VornUri;
    const bool isPublic = requestTemplate == entry(7).requestTemplate ||
                          requestTemplate == entry(8).requestTemplate ||
                          requestTemplate == entry(11).requestTemplate;
    if (isPublic)
        uri.replace(QStringLiteral("Members.svc/"), QStringLiteral("Public.svc/"));
    QString url = endpoint.VornProtocol + QStringLiteral("://") + uri + requestTemplate;

    const std::pair<QString, QString> placeholders[] = {
        {QStringLiteral("%MemberCode%"), endpoint.VornMemberCode},
        {QStringLiteral("%FromDate%"), requestDate(inputs.dateFrom)},
        {QStringLiteral("%ToDate%"), requestDate(inputs.dateTo)},
        {QStringLiteral("%IsinCode%"), inputs.isin},
        {QStringLiteral("%CorporateActionCaseNumber%"), inputs.caseNumber},
    };
    for (const auto &[placeholder, value] : placeholders) {
        if (!requestTemplate.contains(placeholder))
            continue;
        if (const qsizetype at = url.indexOf(placeholder); at >= 0)
            url.replace(at, placeholder.size(), value);
    }
    messenger.debugLog(QStringLiteral("Request:") + url);
    return url;
}
