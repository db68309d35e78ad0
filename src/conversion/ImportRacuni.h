#pragma once

#include "conversion/VornConversion.h"

class TXMLHeader;
namespace AccountsReport {
class TXMLMemberAccount;
class TXMLAccountHolder;
} // namespace AccountsReport

// Converts the accounts report MemberAccounts.xml into the host's accounts import file: one
// 479-character record per account holder, or one per account without holders. The file is
// racuni.txt, or racuni_<member>.txt for another member than the own one, so converting a
// remote member's accounts never replaces the own member's file.
class TImportRacuni : public TVornConversion
{
public:
    using TVornConversion::TVornConversion;

    bool OnlyActive = false;  // skip accounts closed before today
    QString OutputMode;       // "S": racuni_sql.txt and "import racuni_sql OK"; else racuni.txt
    QString TargetMemberCode; // the member whose report is converted
    QString OwnMemberCode;    // the host's own member code

protected:
    void Convert(QString &result) override;

private:
    bool sqlMode() const { return OutputMode == u"S"; }
    QString outputFileName() const;
    bool isClosedBeforeToday(const AccountsReport::TXMLMemberAccount &account) const;
    // The record of one holder of the account, or the account record when holder is null.
    // Fields are read in record order, so the first failing read decides the error.
    QByteArray record(const QString &memberCode, const TXMLHeader &header,
                      const AccountsReport::TXMLMemberAccount &account,
                      const AccountsReport::TXMLAccountHolder *holder) const;
};
