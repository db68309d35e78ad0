#include "reports/XmlEnvelope.h"

#include "reports/XmlDom.h"

const char *checkedResponseRoot(pugi::xml_node root)
{
    if (root && XmlDom::hasName(root.name(), "WSResponse")) {
        const char *namespaceUri = XmlDom::namespaceUri(root);
        if (XmlDom::sameNamespace(namespaceUri, ReportNamespaceUri))
            return namespaceUri;
    }
    throw EIntfCastError(QStringLiteral("Interface not supported"));
}
