#include "conversion/SecurityCodeRows.h"

#include "host/HostDatabase.h"

std::optional<QString> PlainFormCode(HostQuery &query, bool preferTransaImport)
{
    if (query.recordCount() == 0)
        return std::nullopt;
    query.first();
    const QString firstCode = query.fieldText(QStringLiteral("KRT"));
    for (; preferTransaImport && !query.eof(); query.next()) {
        if (query.fieldText(QStringLiteral("VornTransaImport")) == u"D")
            return query.fieldText(QStringLiteral("KRT"));
    }
    return firstCode;
}

std::optional<QString> ListingFormCode(HostQuery &query, bool preferTransaImport)
{
    const int rows = query.recordCount();
    if (rows == 0)
        return std::nullopt;
    query.first();
    if (rows == 1)
        return query.fieldText(QStringLiteral("KRT"));
    QString preferredCode;
    QStringList candidates;
    for (; !query.eof(); query.next()) {
        const QString code = query.fieldText(QStringLiteral("KRT"));
        if (preferTransaImport && preferredCode.isEmpty() &&
            query.fieldText(QStringLiteral("VornTransaImport")) == u"D")
            preferredCode = code;
        if (query.fieldText(QStringLiteral("SFDRZTRG")) == u"S")
            candidates.append(code);
        else
            candidates.removeOne(code);
    }
    if (!preferredCode.isEmpty())
        return preferredCode;
    if (!candidates.isEmpty())
        return candidates.first();
    return std::nullopt;
}
