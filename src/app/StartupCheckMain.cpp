// vorn-startup-check SETTINGS_FILE ALIAS USER PASSWORD
// Runs VornImport's start-up reads without the window: the settings file, the host configuration of the
// host database named by ALIAS, and the report type list, and prints what the window would show.
#include "app/StartUpTexts.h"
#include "common/Clock.h"
#include "common/Messenger.h"
#include "host/HostConfiguration.h"
#include "host/Settings.h"
#include "retrieval/ReportCatalogue.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {
QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

class ConsoleMessenger : public Messenger
{
public:
    explicit ConsoleMessenger(bool debug) : m_debug(debug) {}

    void log(const QString &line) override { out() << line << Qt::endl; }
    void debugLog(const QString &line) override
    {
        if (m_debug)
            out() << "  [debug] " << line << Qt::endl;
    }
    void showMessage(const QString &text) override { out() << "  [message box] " << text << Qt::endl; }

private:
    bool m_debug;
};

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

void printEndpoint(const QString &title, const Endpoint &endpoint)
{
    out() << title << ": " << endpoint.VornMemberCode << " " << endpoint.VornProtocol << "://"
          << endpoint.VornUri << " certificate " << endpoint.CertificateSubjectKeyID << " in "
          << endpoint.CertificateStorage << " (" << endpoint.CertificatePath << ")" << Qt::endl;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() != 4) {
        QTextStream(stderr) << "usage: vorn-startup-check SETTINGS_FILE ALIAS USER PASSWORD" << Qt::endl;
        return 2;
    }
    const Settings settings = ReadSettings(arguments[0]);
    out() << "Settings " << arguments[0] << Qt::endl
          << "  input folder " << settings.InputFolder << ", output folder " << settings.OutputFolder
          << Qt::endl
          << "  menu item " << settings.MenuItemName << ", conversion only " << yesNo(settings.ConvertOnly)
          << ", PapirPoKotacijiSLO " << yesNo(settings.PapirPoKotacijiSLO) << ", database errors shown "
          << yesNo(settings.ShowDatabaseErrors) << ", debug " << yesNo(settings.Debug) << Qt::endl;

    ConsoleMessenger messenger(settings.Debug);
    try {
        out() << "Host configuration of alias " << arguments[1] << Qt::endl;
        const HostConfiguration host = ReadHostConfiguration({arguments[1], arguments[2], arguments[3]},
                                                             settings.ShowDatabaseErrors, messenger);
        printEndpoint(QStringLiteral("  configured endpoint"), host.ConfiguredEndpoint);
        out() << "  own member code " << host.OwnMemberCode << ", transactions import preferred "
              << yesNo(host.TransaImportPreferred) << Qt::endl;
        out() << "  member box: \"" << host.MemberBoxItems.join(QStringLiteral("\", \"")) << "\"" << Qt::endl;
        for (int i = 0; i + 1 < host.MemberBoxItems.size(); ++i)
            printEndpoint(QStringLiteral("  remote member %1").arg(i), host.RemoteMembers[i]);

        out() << "Report types" << Qt::endl;
        for (const QString &entry :
             ReportListEntries({settings.OfferDailyBondValues, settings.OfferSharebookTXT, false}))
            out() << "  " << entry << Qt::endl;

        const QDate yesterday = Clock::today().addDays(-1);
        const RequestInputs inputs{OwnMemberBoxItem, host.RemoteMembers, host.ConfiguredEndpoint,
                                   yesterday,        yesterday,          QString(),
                                   QString()};
        const QString url = PrepareRequest(
            SelectReportType(QStringLiteral("Stanja - MemberAccountPositions"))->requestTemplate, inputs,
            messenger);
        out() << "Positions request: " << url << Qt::endl;
    } catch (const std::exception &error) {
        out() << StepFailureMessage(QStringLiteral("13"), error) << Qt::endl;
        return 1;
    }
    return 0;
}
