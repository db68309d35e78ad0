#include "ImportDispatch.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "common/Messenger.h"
#include "conversion/OutputFiles.h"
#include "conversion/OutputFolderLock.h"

#include <QLocale>

namespace {

// The name with its extension replaced by ".xml" (or ".xml" appended when it has none).
QString xmlFileName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const qsizetype folderEnd = qMax(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return (dot > folderEnd ? name.left(dot) : name) + QStringLiteral(".xml");
}

ImportResult resultOf(ConversionStatus status)
{
    switch (status) {
    case ConversionStatus::Succeeded:
        return ImportResult::Succeeded;
    case ConversionStatus::MissingSecurities:
        return ImportResult::MissingSecurities;
    case ConversionStatus::Failed:
    case ConversionStatus::NotRun:
        break;
    }
    return ImportResult::ConversionFailed;
}

const DispatchRow *findRow(const DispatchTable &table, const QString &label)
{
    for (const DispatchRow &row : table) {
        if (row.label == label)
            return &row;
    }
    return nullptr;
}

// Runs the converter and releases it also when Execute raised; an error of the release
// (the output file cannot be written) replaces one of Execute, as it happens later.
QString runConverter(TVornConversion &converter)
{
    QString result;
    try {
        converter.Execute(result);
    } catch (...) {
        converter.Release();
        throw;
    }
    converter.Release();
    return result;
}

} // namespace

QString logTimestamp()
{
    const QDateTime now = Clock::now();
    const QLocale locale = QLocale::system();
    return locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(now.time(), QLocale::LongFormat);
}

ImportOutcome DoImport(const ImportRequest &request, Messenger &messenger, const DispatchTable &table)
{
    ImportOutcome outcome;
    messenger.debugLog(QStringLiteral("doImport: ") + request.name);
    if (request.Unattended) {
        outcome.result = ImportResult::FetchedPathRecorded;
        outcome.FetchedXmlPath = joinPath(request.InputFolder, xmlFileName(request.name));
        return outcome;
    }
    const QString memberCode = request.memberCode();
    messenger.log(QStringLiteral("DoImport START ") + logTimestamp());
    const DispatchRow *row = findRow(table, request.label);
    try {
        if (row && row->create) {
            messenger.log(row->logLine);
            const OutputFolderLock lock(request.OutputFolder);
            const std::unique_ptr<TVornConversion> converter = row->create(request, memberCode);
            converter->Alias = request.DatabaseAlias;
            converter->UserName = request.DatabaseUser;
            converter->Password = request.DatabasePassword;
            converter->InputFolder = request.InputFolder;
            converter->OutputFolder = request.OutputFolder;
            converter->RunStartTime = request.RunStartTime;
            converter->PapirPoKotacijiSLO = request.PapirPoKotacijiSLO;
            outcome.message = runConverter(*converter);
            outcome.result = resultOf(converter->status());
            messenger.log(outcome.message);
        }
    } catch (const std::exception &error) {
        outcome.result = ImportResult::DispatchFailed;
        outcome.message = exceptionMessage(error);
        messenger.log(QStringLiteral("DoImport Error: ") + outcome.message + u' ' + logTimestamp());
    }
    messenger.log(QStringLiteral("DoImport finished ") + logTimestamp());
    return outcome;
}
