#pragma once

#include "common/Exception.h"
#include "host/HostConfiguration.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <span>

class Messenger;

// A member box text that names no remote member: the fetch is refused.
VORN_DECLARE_EXCEPTION(EUnknownRemoteMember, Exception)

// One report type that the depository's web service offers.
struct ReportType
{
    enum class Listed
    {
        Always,
        WhenDailyBondValuesOffered,
        WhenSharebookTXTOffered,
        UnattendedOnly
    };

    int number;              // 1 to 14, the catalogue order
    QString listEntry;       // the text of the report type list: label, " - ", operation name
    QString operationName;   // what the template selection searches in the list text
    QString requestTemplate; // the operation with its query string and placeholders
    bool isPublic;           // served by the public service instead of the member service
    Listed listed;

    QString label() const;
};

// The fourteen report types in list order.
std::span<const ReportType> ReportCatalogue();

// The report label of a list text: the text before its first "-", trimmed ("Stanja" for
// "Stanja - MemberAccountPositions").
QString ReportLabel(const QString &listText);

// The entries of the report type list, each under its listing condition.
struct ReportListConditions
{
    bool OfferDailyBondValues = false;
    bool OfferSharebookTXT = false;
    bool Unattended = false;
};
QStringList ReportListEntries(const ReportListConditions &conditions);
// The list of a start without database arguments: the first eleven entries, whatever the settings.
QStringList ReportListEntriesWithoutHost();

// The report type whose operation name the list text contains, tested in the service's fixed order
// (exact, case-sensitive); nullptr when it contains none.
const ReportType *SelectReportType(const QString &listText);

// The endpoint of a fetch: the configured one while the member box is blank, otherwise the first remote
// member whose code equals the box text exactly. Throws EUnknownRemoteMember when none does.
Endpoint ChooseEndpoint(const QString &memberBoxText, const Endpoint &configured,
                        const RemoteMemberTable &remoteMembers);

// What a request URL is built from.
struct RequestInputs
{
    QString memberBoxText;
    const RemoteMemberTable &remoteMembers;
    Endpoint currentEndpoint; // protocol, URI and member code of the fetch
    QDate dateFrom;
    QDate dateTo;
    QString isin;       // as typed
    QString caseNumber; // the corporate action case number of the unattended run
};

// The full request URL for a request template. Values are inserted as they stand (no percent-encoding);
// writes the debug line "Request:" + URL. Throws EUnknownRemoteMember as ChooseEndpoint does.
QString PrepareRequest(const QString &requestTemplate, const RequestInputs &inputs, Messenger &messenger);
