#pragma once

#include "app/CommandLine.h"
#include "common/RunJournal.h"
#include "conversion/ImportRequest.h"
#include "host/HostConfiguration.h"
#include "host/Settings.h"
#include "retrieval/ResponseHandler.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <memory>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

class ClientCertificateSelection;
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
class TfrmMain : public QWidget, private ResponseRecipient
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
    // checked and the report of the chosen type is fetched from the endpoint of the member box with its
    // client certificate, stored in the input folder and handed on. A refused period and a failed fetch
    // are shown in a message box, or raised in an unattended run (EInvalidPeriod, the fetch's failure);
    // a failing clock probe is raised (EFCreateError). The type list and the member box are disabled
    // while the fetch runs and enabled again whatever happens.
    void DoGetXML();
    // The handling of the fetch's answers: the announced file name and the body of the last answer.
    const ResponseHandler &responseHandler() const { return *m_response; }
    // The output folder's clock reading taken at the start of the last run.
    QDateTime runStartTime() const { return RunStartTime; }
    // Unattended: where the report of the last dispatch lies, for the request file.
    QString fetchedXmlPath() const { return FetchedXmlPath; }
    // What the dispatch needs to convert the named report of the chosen type, gathered from the window.
    ImportRequest importRequest(const QString &name) const;
    // The daily bond values workbook of the stored report named fileName ("DailyBondValues.zip" or
    // ".xml"), named after the start date. Raises what the export raises.
    void XMLToXLS(const QString &fileName);

    // The non-visual transport components, configured from the settings, living as long as the window:
    // the HTTPS client (its answer events are the fetch's) and the client certificate storage it presents.
    ElHTTPSClient &httpsClient() { return m_httpsClient; }
    ElMemoryCertStorage &clientCertStorage() { return m_clientCertStorage; }
    // One GET through the HTTPS client as a fetch runs it: the type list, the member box and the button are
    // disabled while it runs and enabled again afterwards, also when it fails; the window keeps painting and
    // its status line shows the bytes received. Raises what Get raises.
    void TransferReport(const QString &url);
    // Asks the running fetch to end: it stops at its next progress report, stores nothing and says so.
    // "Esc" and the "Cancel" button beside the status line (shown only while a fetch runs) call it.
    void cancelFetch() { m_cancelRequested = true; }
    // What the last "Get XML, convert" did, as the run journal holds it.
    const JournalEntry &lastRun() const { return m_run; }

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
    void fetchReport(const QString &typeText);

    // The answer's handling (ResponseRecipient).
    bool debugging() const override;
    void appendToLog(const QString &text) override;
    void showErrorPage(const QString &html) override;
    void showLogPage() override;
    void importReport(const QString &receivedFileName) override;
    void exportWorkbook(const QString &receivedFileName) override;
    void setSelectionEnabled(bool enabled);
    void showTransferProgress(qint64 received, qint64 total);
    // The run journal's entry of one "Get XML, convert": begun, filled by the fetch and the conversion,
    // finished with the summary line and the journal's record.
    void runGetXML();
    JournalEntry beginRunEntry() const;
    void noteAnswer();
    void finishRun();

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
    QPushButton *btnCancel = nullptr;

    std::unique_ptr<WindowMessenger> m_messenger;
    ElMemoryCertStorage m_clientCertStorage;
    ElHTTPSClient m_httpsClient;
    std::unique_ptr<ClientCertificateSelection> m_certificateSelection;
    std::unique_ptr<ResponseHandler> m_response;
    QDateTime RunStartTime;
    QString FetchedXmlPath;
    QString CurrentCaseNumber;  // the corporate action case number of the unattended series
    Endpoint m_currentEndpoint; // the endpoint of the last fetch
    JournalEntry m_run;
    bool m_cancelRequested = false;
    QElapsedTimer m_transferTimer;
};
