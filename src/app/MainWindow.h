#pragma once

#include "app/CommandLine.h"
#include "conversion/ImportRequest.h"
#include "host/HostConfiguration.h"
#include "host/Settings.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <memory>
#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

class Messenger;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class WindowMessenger;

// How the program was started: its file (beside it the settings file; its name is the caption) and
// the command line without the program's own name.
struct ProgramStart
{
    QString programFilePath;
    QStringList arguments;
};

// The depository's error pages: shown as they are, without scripts or links, and without anything they
// name being loaded, from the network or from local files (images and style sheets stay away).
class VornErrorView : public QTextBrowser
{
public:
    explicit VornErrorView(QWidget *parent = nullptr);
    QVariant loadResource(int type, const QUrl &name) override;
};

// The main window: report type, period, remote member or ISIN, the "Get XML, convert" button, the log
// page and the page of the depository's error answers. Controls carry their object names (cbTypeXML,
// dtpDateFrom, ...).
class TfrmMain : public QWidget
{
    Q_OBJECT

public:
    // messageBoxes, when given, receives the message boxes instead of the screen (tests record them).
    explicit TfrmMain(ProgramStart start, Messenger *messageBoxes = nullptr, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Runs once after construction: caption, command line, settings, host configuration, dates and the
    // report type list; shows the window and, in an unattended run, runs the request file. A failing
    // step shows "Napaka <marker>: <class>><message>" and raises the failure again.
    void StartUp();

    // The log: whole lines at the end; debug lines only while "Debug" is ticked.
    Messenger &messenger();
    void DebugLog(const QString &text);

    // What start-up read: DatabaseAlias/User/Password, RequestFile, Unattended and FileSuffix; the
    // settings; the host configuration with the configured endpoint and the remote members.
    const CommandLine &commandLine() const { return m_commandLine; }
    const Settings &settings() const { return m_settings; }
    const HostConfiguration &hostConfiguration() const { return m_host; }

    // The report selection as the other parts read and set it. Setting from the program runs neither
    // the type rules nor the period rules.
    QString reportTypeText() const;
    void setReportTypeText(const QString &text);
    QDate dateFrom() const;
    QDate dateTo() const;
    void setPeriod(const QDate &from, const QDate &to);
    QString remoteMemberText() const; // trimmed; empty means the own member
    void setRemoteMemberText(const QString &text);
    QString isin() const;
    bool onlyActiveAccounts() const; // "Samo aktivni" both shown and ticked
    bool justConvert() const;
    // Shows an error answer of the depository on the "Vorn Error" page and brings the page to front.
    void showVornError(const QString &html);

    // One run of "Get XML, convert": the clock probe of the output folder sets RunStartTime; with "Only
    // conversion XML->txt" ticked the stored report of the chosen type is converted, otherwise the period is
    // checked before a fetch. A refused period is shown in a message box, or raised as EInvalidPeriod in
    // an unattended run; a failing clock probe is raised (EFCreateError).
    void DoGetXML();
    // The output folder's clock reading taken at the start of the last run.
    QDateTime runStartTime() const { return RunStartTime; }
    // Unattended: where the report of the last dispatch lies, for the request file.
    QString fetchedXmlPath() const { return FetchedXmlPath; }
    // What the dispatch needs to convert the named report of the chosen type, gathered from the window.
    ImportRequest importRequest(const QString &name) const;

    // The non-visual transport components, configured from the settings, living as long as the window:
    // the HTTPS client (its answer events are the fetch's) and the client certificate storage it presents.
    ElHTTPSClient &httpsClient() { return m_httpsClient; }
    ElMemoryCertStorage &clientCertStorage() { return m_clientCertStorage; }
    // One GET through the HTTPS client as a fetch runs it: the type list, the member box and the button are
    // disabled while it runs and enabled again afterwards, also when it fails; the window keeps painting and
    // its status line shows the bytes received. Raises what Get raises.
    void TransferReport(const QString &url);

protected:
    // The unattended series of the request file, run at start-up when the fourth argument names an
    // existing file: the window is driven through RequestFileWindow.
    virtual void ProcessRequestFile();

private slots:
    void cbTypeXMLChange();
    void dtpDateFromChange();
    // Runs DoGetXML for the operator; what it raises is shown in a message box.
    void btnGetClick();

private:
    friend class RequestFileWindow;

    void createControls();
    void readSettings();
    void fillMemberBox();
    void setBothDates(const QDate &from, const QDate &to);
    QDateTime probeOutputFolderClock() const;
    void convertStoredReport(const QString &typeText);
    void setSelectionEnabled(bool enabled);
    void showTransferProgress(qint64 received, qint64 total);

    ProgramStart m_start;
    CommandLine m_commandLine;
    Settings m_settings;
    HostConfiguration m_host;

    QWidget *pnlTop = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *cbTypeXML = nullptr;
    QLabel *lRemoteClan = nullptr;
    QComboBox *cbRemoteClan = nullptr;
    QLabel *Label2 = nullptr;
    QDateEdit *dtpDateFrom = nullptr;
    QLabel *Label3 = nullptr;
    QDateEdit *dtpDateTo = nullptr;
    QCheckBox *cbDebug = nullptr;
    QPushButton *btnGet = nullptr;
    QLabel *lISIN = nullptr;
    QLineEdit *eISIN = nullptr;
    QCheckBox *cbRcnAkt = nullptr;
    QCheckBox *cbJustConvert = nullptr;
    QTabWidget *pgctrlMain = nullptr;
    QWidget *tbshtMessages = nullptr;
    QPlainTextEdit *mmMessages = nullptr;
    QWidget *TabSheet1 = nullptr;
    VornErrorView *wbVornError = nullptr;
    QLabel *lTransfer = nullptr;

    std::unique_ptr<WindowMessenger> m_messenger;
    ElMemoryCertStorage m_clientCertStorage;
    ElHTTPSClient m_httpsClient;
    QDateTime RunStartTime;
    QString FetchedXmlPath;
    QString CurrentCaseNumber; // the corporate action case number of the unattended series
};
