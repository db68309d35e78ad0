#include "ConvertCommand.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "common/Messenger.h"
#include "conversion/FolderClock.h"
#include "conversion/ImportDispatch.h"
#include "conversion/OutputFiles.h"
#include "conversion/RunRecord.h"
#include "export/XmlToXls.h"
#include "host/HostConfiguration.h"
#include "host/Settings.h"
#include "retrieval/ReportCatalogue.h"

#include <QTextStream>

namespace {

VORN_DECLARE_EXCEPTION(EUsageError, Exception)

enum ExitCode
{
    ExitSucceeded = 0,
    ExitMissingSecurities = 1,
    ExitFailed = 2,
};

const char kUsage[] = "Usage: VornConvert ALIAS USER PASSWORD --type TEXT [--member CODE] [--suffix TEXT]\n"
                      "                   [--only-active] [--debug] [--settings FILE] [--date YYYY-MM-DD]\n"
                      "       VornConvert --help | --version\n"
                      "A password \"-\" is read from the environment variable VORN_PASSWORD.\n";

const char kHelp[] =
    "\n"
    "Converts a stored report of the input folder into the host's import files, as VornImport's\n"
    "\"Get XML, convert\" does in conversion-only mode; for schedulers and scripts.\n"
    "\n"
    "Options:\n"
    "  --type TEXT      the report type: a list entry (\"Stanja - MemberAccountPositions\") or its label\n"
    "                   (\"Stanja\")\n"
    "  --member CODE    a remote member's code instead of the own member\n"
    "  --suffix TEXT    the file suffix that VornImport takes from its fourth argument\n"
    "  --only-active    accounts: only active accounts (\"Samo aktivni\")\n"
    "  --debug          also write the debug lines\n"
    "  --settings FILE  the settings file; VornImport.ini beside the program by default\n"
    "  --date DATE      daily bond values: the date (YYYY-MM-DD) that names the workbook; today by default\n"
    "  --help           show this text\n"
    "  --version        show the program's version\n"
    "\n"
    "The aliases (aliases.ini beside the program, or VORNIMPORT_ALIASES), the host configuration\n"
    "and the type table tipi.ini are those of VornImport. Log lines go to standard output, message\n"
    "boxes, errors and the run's summary line to standard error. Each run is appended to the run\n"
    "journal (see VornImport --history).\n"
    "\n"
    "Exit codes:\n"
    "  0  the conversion reported its OK text (for example \"import stanje OK\")\n"
    "  1  it completed, but the host lacks securities of the report (their codes are blank; in the\n"
    "     workbook, ISINs without a code)\n"
    "  2  wrong arguments, the host database could not be opened, the conversion stopped on an\n"
    "     error (a positions or accounts file then holds the records built before it: do not load\n"
    "     it), a security look-up failed, or the type has no converter\n"
    "\n"
    "More in the manual page VornConvert(1).\n";

struct ConvertOptions
{
    DatabaseLogin login;
    QString typeText;
    QString member;
    QString suffix;
    bool onlyActive = false;
    bool debug = false;
    QString settingsFile;
    QDate startDate; // names the daily bond values workbook; today unless given
};

ConvertOptions parseArguments(const QStringList &arguments)
{
    ConvertOptions options;
    QStringList positional;
    bool typeGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw EUsageError(argument + QStringLiteral(" needs a value"));
            return arguments[++i];
        };
        if (argument == u"--type") {
            options.typeText = value();
            typeGiven = true;
        } else if (argument == u"--member") {
            options.member = value();
        } else if (argument == u"--suffix") {
            options.suffix = value();
        } else if (argument == u"--settings") {
            options.settingsFile = value();
        } else if (argument == u"--date") {
            const QString text = value();
            options.startDate = QDate::fromString(text, Qt::ISODate);
            if (!options.startDate.isValid())
                throw EUsageError(QStringLiteral("--date needs a date as YYYY-MM-DD, not ") + text);
        } else if (argument == u"--only-active") {
            options.onlyActive = true;
        } else if (argument == u"--debug") {
            options.debug = true;
        } else if (argument.startsWith(u"--")) {
            throw EUsageError(QStringLiteral("Unknown option ") + argument);
        } else {
            positional << argument;
        }
    }
    if (positional.size() != 3)
        throw EUsageError(QStringLiteral("Give the database alias, user name and password"));
    if (!typeGiven || options.typeText.trimmed().isEmpty())
        throw EUsageError(QStringLiteral("--type is required"));
    options.login = {positional[0], positional[1], positional[2]};
    if (options.login.Password == u"-") {
        if (!qEnvironmentVariableIsSet("VORN_PASSWORD"))
            throw EUsageError(
                QStringLiteral("The password \"-\" needs the environment variable VORN_PASSWORD"));
        options.login.Password = qEnvironmentVariable("VORN_PASSWORD");
    }
    return options;
}

// Log lines on standard output as the window's log shows them; message boxes on standard error.
class ConsoleMessenger : public Messenger
{
public:
    ConsoleMessenger(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    bool debugEnabled = false;

    void log(const QString &line) override { write(m_out, line); }
    void debugLog(const QString &line) override
    {
        if (debugEnabled)
            write(m_out, line);
    }
    void showMessage(const QString &text) override { write(m_err, text); }

private:
    static void write(QTextStream &stream, QString text)
    {
        stream << text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")) << Qt::endl;
    }

    QTextStream &m_out;
    QTextStream &m_err;
};

// The label and the DoImport argument of a type given as a list entry or as a label; in
// convert-only mode the argument is the service operation.
void setReportType(ImportRequest &request, const QString &typeText)
{
    const qsizetype dash = typeText.indexOf(u'-');
    if (dash >= 0) {
        request.label = ReportLabel(typeText);
        request.name = typeText.mid(dash + 1).trimmed();
        return;
    }
    request.label = typeText.trimmed();
    request.name = request.label;
    for (const ReportType &type : ReportCatalogue()) {
        if (type.label() == request.label) {
            request.name = type.operationName;
            break;
        }
    }
}

int exitCodeOf(ImportResult result)
{
    switch (result) {
    case ImportResult::Succeeded:
        return ExitSucceeded;
    case ImportResult::MissingSecurities:
        return ExitMissingSecurities;
    case ImportResult::FetchedPathRecorded:
    case ImportResult::NoConverter:
    case ImportResult::ConversionFailed:
    case ImportResult::DispatchFailed:
        break;
    }
    return ExitFailed;
}

// The journal entry of a conversion.
JournalEntry convertEntry(const ConvertOptions &options, const ImportRequest &request)
{
    JournalEntry entry;
    entry.program = QStringLiteral("VornConvert");
    entry.mode = QStringLiteral("convert");
    entry.action = QStringLiteral("convert");
    entry.member = request.memberCode();
    entry.reportType = options.typeText;
    return entry;
}

} // namespace

int RunVornConvert(const QStringList &arguments, const QString &programFolder, QTextStream &out,
                   QTextStream &err)
{
    if (arguments.contains(QStringLiteral("--help"))) {
        out << kUsage << kHelp << Qt::flush;
        return ExitSucceeded;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        out << "VornConvert " << VORN_VERSION << Qt::endl;
        return ExitSucceeded;
    }
    ConvertOptions options;
    try {
        options = parseArguments(arguments);
    } catch (const EUsageError &error) {
        err << error.message() << "\n" << kUsage << Qt::flush;
        return ExitFailed;
    }
    ConsoleMessenger messenger(out, err);
    RunJournal journal; // the user's, until the settings name another
    try {
        const QString settingsFile = options.settingsFile.isEmpty()
                                         ? joinPath(programFolder, QStringLiteral("VornImport.ini"))
                                         : options.settingsFile;
        const Settings settings =
            options.settingsFile.isEmpty() ? ReadSettings(settingsFile) : ReadNamedSettings(settingsFile);
        // Checked before anything else runs: an empty one would put every file at the root.
        journal = JournalOf(settings);
        RequiredInputFolder(settings);
        RequiredOutputFolder(settings);
        messenger.debugEnabled = options.debug || settings.Debug;
        const HostConfiguration host =
            ReadHostConfiguration(options.login, settings.ShowDatabaseErrors, messenger);

        ImportRequest request;
        setReportType(request, options.typeText);
        applySettingsAndHost(request, settings, host, options.login);
        request.memberBoxText = options.member;
        request.onlyActive = options.onlyActive;
        request.RunStartTime = ProbeFolderClock(settings.OutputFolder);
        request.FileSuffix = options.suffix;
        request.programFolder = programFolder;

        if (request.label == u"Dnevne Teoretične vrednosti") {
            const QDate startDate = options.startDate.isValid() ? options.startDate : Clock::today();
            const DailyBondValuesOutcome outcome =
                TDailyBondValuesExport::forRequest(request, startDate, messenger)
                    ->XMLToXLS(QStringLiteral("DailyBondValues.zip"));
            out << "Saved " << outcome.workbookPath << Qt::endl;
            JournalEntry entry = convertEntry(options, request);
            entry.stored << DescribeFile(
                joinPath(settings.InputFolder, QStringLiteral("DailyBondValues.xml")), false);
            entry.written << DescribeFile(outcome.workbookPath, false);
            entry.missingSecurities = outcome.missingIsins;
            entry.succeeded = outcome.failedLookups == 0;
            entry.result = entry.succeeded ? QStringLiteral("Saved ") + outcome.workbookPath
                                           : QStringLiteral("%1 security lookups failed on a database error")
                                                 .arg(outcome.failedLookups);
            FinishRun(entry, journal, [&err](const QString &line) { err << line << Qt::endl; });
            if (outcome.failedLookups > 0)
                return ExitFailed;
            return outcome.missingIsins > 0 ? ExitMissingSecurities : ExitSucceeded;
        }
        JournalEntry entry = convertEntry(options, request);
        const ImportOutcome outcome = DoImportRecorded(request, messenger, entry);
        if (outcome.result == ImportResult::NoConverter) {
            err << "No converter for the report type \"" << options.typeText << "\"" << Qt::endl;
            entry.succeeded = false;
        }
        FinishRun(entry, journal, [&err](const QString &line) { err << line << Qt::endl; });
        return exitCodeOf(outcome.result);
    } catch (const std::exception &error) {
        err << exceptionClassName(error) << ": " << exceptionMessage(error) << Qt::endl;
        // A run that ended before its conversion is journaled too, with its failure.
        JournalEntry entry;
        entry.program = QStringLiteral("VornConvert");
        entry.mode = entry.action = QStringLiteral("convert");
        entry.reportType = options.typeText;
        entry.result = exceptionClassName(error) + QStringLiteral(": ") + exceptionMessage(error);
        if (const QString failure = journal.append(entry); !failure.isEmpty())
            err << failure << Qt::endl;
        return ExitFailed;
    }
}
