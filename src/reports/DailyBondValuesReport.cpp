#include "reports/DailyBondValuesReport.h"

#include "common/Exception.h"
#include "reports/XmlDom.h"

namespace {

pugi::xml_node childElementAt(pugi::xml_node parent, int index)
{
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && index-- == 0)
            return child;
    }
    return {};
}

QString nameOf(pugi::xml_node element)
{
    return QString::fromUtf8(element.name());
}

} // namespace

DailyBondValuesReport::DailyBondValuesReport(TXMLDocument &document) : m_fileName(document.FileName())
{
    const pugi::xml_node root = document.DocumentElement();
    if (!root)
        throw EXMLDocError(QStringLiteral("Report file \"%1\" has no document element").arg(m_fileName));
    const pugi::xml_node body = childElementAt(root, 1);
    if (!body)
        throw EXMLDocError(QStringLiteral("Report file \"%1\": \"%2\" has no second child element")
                               .arg(m_fileName, nameOf(root)));
    m_report = requiredChild(body, "DailyBondValues");
    for (pugi::xml_node bond = childElementAt(m_report, 1); bond; bond = bond.next_sibling()) {
        if (bond.type() == pugi::node_element)
            m_bonds.push_back(bond);
    }
}

pugi::xml_node DailyBondValuesReport::requiredChild(pugi::xml_node parent, const char *name) const
{
    const char *parentUri = XmlDom::namespaceUri(parent);
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && XmlDom::hasName(child.name(), name) &&
            XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, parent, parentUri), parentUri))
            return child;
    }
    throw EXMLDocError(QStringLiteral("Report file \"%1\": element \"%2\" is missing in \"%3\"")
                           .arg(m_fileName, QString::fromUtf8(name), nameOf(parent)));
}

QString DailyBondValuesReport::requiredText(pugi::xml_node parent, const char *name) const
{
    return QString::fromUtf8(XmlDom::singleText(requiredChild(parent, name)));
}

QString DailyBondValuesReport::EffectiveDate() const
{
    return requiredText(requiredChild(m_report, "InputParameters"), "EffectiveDate");
}

DailyBondValuesReport::Bond DailyBondValuesReport::BondAt(int index) const
{
    const pugi::xml_node bond = m_bonds.at(size_t(index));
    return {requiredText(bond, "IsinCode"), requiredText(bond, "PrincipalValue"),
            requiredText(bond, "AccruedInterestValue")};
}
