#pragma once

#include "conversion/VornConversion.h"

// Converts the positions report MemberAccountPositions.xml into the host's positions import
// file: one 105-character record per position, written as stanje.txt, or as
// stanje_<member>.txt for another member than the own one.
class TImportStanje : public TVornConversion
{
public:
    using TVornConversion::TVornConversion;

    QString TargetMemberCode; // the member whose report is converted
    QString OwnMemberCode;    // the host's own member code

protected:
    void Convert(QString &result) override;

private:
    QString outputFileName() const;
};
