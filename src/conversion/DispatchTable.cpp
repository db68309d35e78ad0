#include "conversion/ImportDispatch.h"

namespace {

// A row whose converter is not built yet: the dispatch logs its START and finished lines only.
DispatchRow pendingRow(const QString &label, const QString &logLine)
{
    return {label, logLine, ConverterFactory()};
}

} // namespace

// One row per converted report type. A converter joins the table with one row here: its
// label, its log line and a factory that creates it and sets its own options.
const DispatchTable &standardDispatchTable()
{
    static const DispatchTable table = {
        pendingRow(QStringLiteral("Stanja"), QStringLiteral("Import stanje")),
        pendingRow(QStringLiteral("Računi"), QStringLiteral("Import računi")),
        pendingRow(QStringLiteral("Transakcije"), QStringLiteral("Import transa")),
        pendingRow(QStringLiteral("Dnevne Transakcije"), QStringLiteral("Import transa CurrentDay")),
        pendingRow(QStringLiteral("Razporeditve"), QStringLiteral("Import razpor")),
        pendingRow(QStringLiteral("Dnevne Razporeditve"), QStringLiteral("Import razpor")),
    };
    return table;
}
