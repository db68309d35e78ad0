#include "conversion/ImportDispatch.h"
#include "conversion/ImportRacuni.h"
#include "conversion/ImportRazpor.h"
#include "conversion/ImportStanje.h"
#include "conversion/ImportTransa.h"

namespace {

// A row whose converter of class Converter gets its own options from setOptions(converter,
// request, memberCode).
template<class Converter, class SetOptions>
DispatchRow converterRow(const QString &label, const QString &logLine, SetOptions setOptions)
{
    return {label, logLine, [setOptions](const ImportRequest &request, const QString &memberCode) {
                auto converter = std::make_unique<Converter>(request.programFolder);
                setOptions(*converter, request, memberCode);
                return std::unique_ptr<TVornConversion>(std::move(converter));
            }};
}

// The options of both transactions converters.
void setTransaOptions(TImportTransa &converter, const ImportRequest &request, const QString &memberCode)
{
    converter.TargetMemberCode = memberCode;
    converter.FileSuffix = request.FileSuffix;
    converter.TransaImportPreferred = request.TransaImportPreferred;
}

// The allocations rows: the period report, or the current-day report.
DispatchRow razporRow(const QString &label, bool currentDay)
{
    return converterRow<TImportRazpor>(
        label, QStringLiteral("Import razpor"),
        [currentDay](TImportRazpor &converter, const ImportRequest &request, const QString &memberCode) {
            converter.TargetMemberCode = memberCode;
            converter.FileSuffix = request.FileSuffix;
            converter.CurrentDay = currentDay;
        });
}

} // namespace

// One row per converted report type. A converter joins the table with one row here: its
// label, its log line and a factory that creates it and sets its own options.
const DispatchTable &standardDispatchTable()
{
    static const DispatchTable table = {
        converterRow<TImportStanje>(
            QStringLiteral("Stanja"), QStringLiteral("Import stanje"),
            [](TImportStanje &converter, const ImportRequest &request, const QString &memberCode) {
                converter.TargetMemberCode = memberCode;
                converter.OwnMemberCode = request.OwnMemberCode;
            }),
        converterRow<TImportRacuni>(
            QStringLiteral("Računi"), QStringLiteral("Import računi"),
            [](TImportRacuni &converter, const ImportRequest &request, const QString &memberCode) {
                converter.TargetMemberCode = memberCode;
                converter.OwnMemberCode = request.OwnMemberCode;
                converter.OnlyActive = request.onlyActive;
                converter.OutputMode = QStringLiteral("0"); // the text import file, not the SQL file
            }),
        converterRow<TImportTransa>(QStringLiteral("Transakcije"), QStringLiteral("Import transa"),
                                    setTransaOptions),
        converterRow<TImportTransaToday>(QStringLiteral("Dnevne Transakcije"),
                                         QStringLiteral("Import transa CurrentDay"), setTransaOptions),
        razporRow(QStringLiteral("Razporeditve"), false),
        razporRow(QStringLiteral("Dnevne Razporeditve"), true),
    };
    return table;
}
