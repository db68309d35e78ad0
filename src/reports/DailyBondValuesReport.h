#pragma once

#include "reports/XmlDocument.h"

#include <pugixml.hpp>
#include <QString>
#include <vector>

// DailyBondValues.xml, read by position as the workbook export reads it: the report lies in the
// second child element of the document element (the envelope's body), and every child element
// of "DailyBondValues" after the first ("InputParameters") is one bond, whatever its name.
// Named elements are found among the children of their parent in the parent's namespace, by
// qualified or local name; the first one counts. Positions count child elements only, so a
// comment or blank between them moves nothing. A missing element fails with EXMLDocError naming
// the report file, the element and its parent; an element with other content than one text
// fails with "Element does not contain a single text node".
class DailyBondValuesReport
{
public:
    struct Bond
    {
        QString IsinCode;
        QString PrincipalValue;
        QString AccruedInterestValue;
    };

    // Loads the document when it is not loaded yet and finds "DailyBondValues".
    explicit DailyBondValuesReport(TXMLDocument &document);

    // "InputParameters" / "EffectiveDate".
    QString EffectiveDate() const;
    int BondCount() const { return int(m_bonds.size()); }
    // The bond at `index` from 0 in document order.
    Bond BondAt(int index) const;

private:
    pugi::xml_node requiredChild(pugi::xml_node parent, const char *name) const;
    QString requiredText(pugi::xml_node parent, const char *name) const;

    QString m_fileName;
    pugi::xml_node m_report;
    std::vector<pugi::xml_node> m_bonds;
};
