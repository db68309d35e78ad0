#include "app/ConsoleCommands.h"

#include "app/CertificateCommands.h"
#include "conversion/RunRecord.h"
#include "host/Settings.h"
#include "retrieval/SetupCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

const char kHelp[] =
    "Usage: VornImport ALIAS USER PASSWORD [REQUEST_FILE | FILE_SUFFIX]\n"
    "       VornImport --check ALIAS USER PASSWORD [MEMBER]\n"
    "       VornImport --history [N]\n"
    "       VornImport --certificates [STORE]\n"
    "       VornImport --import-certificate STORE FILE [PASSWORD_FILE]\n"
    "       VornImport --help | --version\n"
    "\n"
    "Fetches member reports from the depository with the member's client certificate and converts\n"
    "them into the host's import files. The host starts it with the alias of its database, the user\n"
    "name and the password; a fourth argument that names an existing request file runs that request\n"
    "unattended, otherwise the window opens.\n"
    "\n"
    "Options:\n"
    "  --check    check the installation without a window: the settings file, the input and output\n"
    "             folders, the type table, the alias and the database, the host configuration, the\n"
    "             certificate store and the client certificate of the own member (or of the remote\n"
    "             member MEMBER), and a connection to the depository. One line per check: OK, WARN\n"
    "             or FAIL, with what to do for WARN and FAIL. Nothing is fetched or stored.\n"
    "  --history  show the last N runs of the run journal (10 by default) as a table; the journal is\n"
    "             the file of the setting Dnevnik, by default\n"
    "             $XDG_STATE_HOME/vornimport/journal.jsonl (~/.local/state/vornimport/journal.jsonl)\n"
    "  --certificates  list the certificates of the store STORE (a store name or a pkcs11: URI), or of\n"
    "             every store folder: file or token object, subject, issuer, key identifier, end date and\n"
    "             whether its private key is there.\n"
    "  --import-certificate  import the certificate and key of the PKCS#12 FILE into the store STORE\n"
    "             (created for you only) and print the key identifier for the host configuration; the\n"
    "             password comes from PASSWORD_FILE, else it is asked for.\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n"
    "\n"
    "Beside the program: VornImport.ini (settings), tipi.ini (type table) and aliases.ini (database\n"
    "aliases; VORNIMPORT_ALIASES names another file). Client certificates: the store folders under\n"
    "$XDG_DATA_HOME/VornImport/certstores (by default ~/.local/share/VornImport/certstores), or a\n"
    "PKCS#11 token named by a pkcs11: URI (settings PKCS11Module and PKCS11PinFile).\n"
    "\n"
    "Exit codes:\n"
    "  0  the window was closed, the request file was run (its errors are in the file), or no check\n"
    "     failed (warnings allowed)\n"
    "  1  start-up failed, the request file could not be read or written, a check failed, or the\n"
    "     command line is wrong\n"
    "  2  the window was to open where there is no display (neither DISPLAY nor WAYLAND_DISPLAY)\n"
    "\n"
    "More in the manual page VornImport(1).\n";

const char kCheckUsage[] = "Usage: VornImport --check ALIAS USER PASSWORD [MEMBER]\n";

int runCheck(const QStringList &arguments, const QString &programFilePath, QTextStream &out, QTextStream &err)
{
    if (arguments.size() < 3 || arguments.size() > 4) {
        err << kCheckUsage << Qt::flush;
        return 1;
    }
    SetupCheckInputs inputs;
    inputs.settingsFile = SettingsFilePath(programFilePath);
    inputs.programFolder = QFileInfo(programFilePath).absolutePath();
    inputs.login = {arguments[0], arguments[1], arguments[2]};
    inputs.member = arguments.value(3).trimmed();
    SetupCheck check(inputs, [&out](const CheckLine &line) { out << line.text() << Qt::endl; });
    return check.run() ? 0 : 1;
}

int runHistory(const QStringList &arguments, const QString &programFilePath, QTextStream &out,
               QTextStream &err)
{
    bool ok = true;
    const int count = arguments.isEmpty() ? 10 : arguments[0].toInt(&ok);
    if (arguments.size() > 1 || !ok || count < 1) {
        err << "Usage: VornImport --history [N], N a number of runs of 1 or more\n" << Qt::flush;
        return 1;
    }
    const RunJournal journal = JournalOf(ReadSettings(SettingsFilePath(programFilePath)));
    out << "Run journal " << journal.path() << "\n" << FormatHistory(journal.lastRecords(count)) << Qt::flush;
    return 0;
}

} // namespace

bool IsConsoleCommand(const QString &firstArgument)
{
    return firstArgument == u"--check" || firstArgument == u"--help" || firstArgument == u"-h" ||
           firstArgument == u"--version" || firstArgument == u"--history" ||
           firstArgument == u"--certificates" || firstArgument == u"--import-certificate";
}

int RunConsoleCommand(const QStringList &arguments, const QString &programFilePath, QTextStream &out,
                      QTextStream &err)
{
    const QString command = arguments.value(0);
    if (command == u"--check")
        return runCheck(arguments.mid(1), programFilePath, out, err);
    if (command == u"--history")
        return runHistory(arguments.mid(1), programFilePath, out, err);
    if (command == u"--certificates")
        return RunCertificatesCommand(arguments.mid(1), programFilePath, out, err);
    if (command == u"--import-certificate")
        return RunImportCertificateCommand(arguments.mid(1), out, err);
    if (arguments.size() == 1 && (command == u"--help" || command == u"-h")) {
        out << kHelp << Qt::flush;
        return 0;
    }
    if (arguments.size() == 1 && command == u"--version") {
        out << "VornImport " << VORN_VERSION << Qt::endl;
        return 0;
    }
    err << "Unknown arguments. " << kHelp << Qt::flush;
    return 1;
}
