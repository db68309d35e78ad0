#include "reports/ReportDocuments.h"

namespace AccountsReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace AccountsReport

namespace PositionsReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace PositionsReport

namespace TransactionsReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace TransactionsReport

namespace TransactionsCurrentDayReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace TransactionsCurrentDayReport

namespace AllocationsReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace AllocationsReport

namespace SettlementInstructionsReport {
TXMLWSResponse *BindWSResponse(TXMLDocument &document)
{
    return bindWSResponse<TXMLWSResponse>(document);
}
} // namespace SettlementInstructionsReport
