#pragma once

#include "conversion/ImportRequest.h"
#include "conversion/VornConversion.h"

#include <functional>
#include <memory>
#include <QList>

class Messenger;

// Creates the converter of a row and sets the row's own options; the dispatch then sets the
// common parameters.
using ConverterFactory =
    std::function<std::unique_ptr<TVornConversion>(const ImportRequest &request, const QString &memberCode)>;

struct DispatchRow
{
    QString label;
    QString logLine;
    ConverterFactory create; // empty while the converter of the row is not built
};

using DispatchTable = QList<DispatchRow>;

// The rows of the report types that are converted, in the order the labels are tested.
const DispatchTable &standardDispatchTable();

enum class ImportResult
{
    FetchedPathRecorded, // unattended: nothing converted, FetchedXmlPath set
    NoConverter,         // the label has no row or the row no converter
    Succeeded,
    MissingSecurities,
    ConversionFailed, // the converter stopped on an error of its own (in its result message)
    DispatchFailed,   // an error left the converter: "DoImport Error: " was logged
};

struct ImportOutcome
{
    ImportResult result = ImportResult::NoConverter;
    QString FetchedXmlPath;
    QString message; // the converter's result message, or the error's
};

// Converts the stored report of the request's type with the converter of its row and logs
// "DoImport START ", the row's log line, the result message or "DoImport Error: ", and
// "DoImport finished ". The converter runs holding the output folder's lock (OutputFolderLock):
// a folder that another conversion keeps fails as a dispatch error, with nothing written.
// Unattended, only records where the report lies. Never raises.
ImportOutcome DoImport(const ImportRequest &request, Messenger &messenger,
                       const DispatchTable &table = standardDispatchTable());

// The current date and time as the log writes them: the system's short date, a blank and
// its long time.
QString logTimestamp();
