#pragma once

#include "conversion/VornConversion.h"

namespace AllocationsReport {
class TXMLMemberAllocation;
} // namespace AllocationsReport

// Converts an allocations report, the period report MemberAllocations.xml or the current-day
// report MemberAllocationsCurrentDay.xml, into the host's allocations import files: one
// 152-character record per created, updated or deleted allocation, in one file per trade date
// (razpor<yyyymmdd>.txt), then tagged with the member code. The files are complete when
// Convert returns; a failure leaves the records written so far in untagged per-date files.
class TImportRazpor : public TVornConversion
{
public:
    using TVornConversion::TVornConversion;

    QString FileSuffix;       // input file name suffix given on the command line; usually empty
    QString TargetMemberCode; // the member whose report is converted
    bool CurrentDay = false;  // read the current-day report instead of the period report

protected:
    void Convert(QString &result) override;

private:
    QString inputFileName() const;
    // The record of one allocation; its security code is looked up at the allocation date.
    QByteArray record(const AllocationsReport::TXMLMemberAllocation &allocation, const QString &actionType,
                      QString &missingSecurities);
};
