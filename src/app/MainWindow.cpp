#include "app/MainWindow.h"

#include "app/DroppedUserInput.h"
#include "app/MessageBoxes.h"
#include "app/ReportRules.h"
#include "app/RequestFileWindow.h"
#include "app/StartUpTexts.h"
#include "common/Clock.h"
#include "conversion/FolderClock.h"
#include "conversion/ImportDispatch.h"
#include "conversion/RunRecord.h"
#include "export/XmlToXls.h"
#include "retrieval/AnswerCause.h"
#include "retrieval/CertificateStores.h"
#include "retrieval/ClientCertificateSelection.h"
#include "retrieval/FetchLimits.h"
#include "retrieval/FetchPeriod.h"
#include "retrieval/ReportCatalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

VORN_DECLARE_EXCEPTION(EFetchCancelled, Exception)

namespace {
// A document that never loads a resource its HTML names (QTextDocument would read local files itself).
class OfflineDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};
} // namespace

VornErrorView::VornErrorView(QWidget *parent) : QTextBrowser(parent)
{
    setDocument(new OfflineDocument(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant VornErrorView::loadResource(int, const QUrl &)
{
    return {};
}

namespace {
// The window's design: positions inside the parent, in pixels, and the window's size.
constexpr int WindowWidth = 354;
constexpr int WindowHeight = 570;
constexpr int TopPanelHeight = 133;
constexpr int EditHeight = 21;
constexpr int CheckBoxHeight = 17;
// Wide enough for a two-digit day and month in the fonts that replace MS Sans Serif.
constexpr int DatePickerWidth = 88;

template<typename Control>
Control *place(Control *control, const char *name, int left, int top, int width = -1, int height = -1)
{
    control->setObjectName(QLatin1String(name));
    if (width < 0 || height < 0) {
        control->adjustSize();
        width = width < 0 ? control->width() : width;
        height = height < 0 ? control->height() : height;
    }
    control->setGeometry(left, top, width, height);
    return control;
}

QLabel *boldLabel(const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QDateEdit *datePicker(QWidget *parent)
{
    auto *picker = new QDateEdit(parent);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("d.M.yyyy"));
    // A date typed digit by digit is corrected once, when it is complete, not at every key.
    picker->setKeyboardTracking(false);
    return picker;
}
} // namespace

TfrmMain::TfrmMain(ProgramStart start, Messenger *messageBoxes, QWidget *parent)
    : QWidget(parent), m_start(std::move(start))
{
    setObjectName(QStringLiteral("frmMain"));
    // MS Sans Serif where it exists; elsewhere a narrow sans serif keeps the captions within the layout.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
    font.setPointSize(8);
    setFont(font);
    resize(WindowWidth, WindowHeight);
    createControls();
    m_messenger = std::make_unique<WindowMessenger>(*mmMessages, *cbDebug, *this, messageBoxes);

    connect(cbTypeXML, &QComboBox::textActivated, this, &TfrmMain::cbTypeXMLChange);
    connect(cbTypeXML->lineEdit(), &QLineEdit::textEdited, this, &TfrmMain::cbTypeXMLChange);
    connect(dtpDateFrom, &QDateEdit::dateChanged, this, &TfrmMain::dtpDateFromChange);
    connect(dtpDateTo, &QDateEdit::dateChanged, this, &TfrmMain::dtpDateFromChange);
    connect(btnGet, &QPushButton::clicked, this, &TfrmMain::btnGetClick);

    m_certificateSelection = std::make_unique<ClientCertificateSelection>(m_clientCertStorage, messenger());
    m_response = std::make_unique<ResponseHandler>(static_cast<ResponseRecipient &>(*this), messenger());
    m_response->attachTo(m_httpsClient);
    m_httpsClient.setClientCertStorage(&m_clientCertStorage);
    m_httpsClient.onProgress = [this](qint64 received, qint64 total) {
        showTransferProgress(received, total);
    };
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::createControls()
{
    pnlTop = new QWidget(this);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    pnlTop->setFixedHeight(TopPanelHeight);

    Label1 = place(boldLabel(QStringLiteral("Tip "), pnlTop), "Label1", 8, 8);
    cbTypeXML = place(new QComboBox(pnlTop), "cbTypeXML", 8, 24, 329, EditHeight);
    cbTypeXML->setEditable(true);
    cbTypeXML->setInsertPolicy(QComboBox::NoInsert);
    lRemoteClan = place(boldLabel(QStringLiteral("Remote član:"), pnlTop), "lRemoteClan", 153, 6);
    cbRemoteClan = place(new QComboBox(pnlTop), "cbRemoteClan", 232, 2, 105, EditHeight);
    cbRemoteClan->setEditable(true);
    cbRemoteClan->setInsertPolicy(QComboBox::NoInsert);
    Label2 = place(boldLabel(QStringLiteral("Dan od"), pnlTop), "Label2", 8, 59);
    dtpDateFrom = place(datePicker(pnlTop), "dtpDateFrom", 56, 56, DatePickerWidth, EditHeight);
    Label3 = place(boldLabel(QStringLiteral("Dan do"), pnlTop), "Label3", 8, 83);
    dtpDateTo = place(datePicker(pnlTop), "dtpDateTo", 56, 80, DatePickerWidth, EditHeight);
    cbDebug = place(new QCheckBox(QStringLiteral("Debug"), pnlTop), "cbDebug", 241, 46, 93, CheckBoxHeight);
    btnGet = place(new QPushButton(QStringLiteral("Get XML, convert"), pnlTop), "btnGet", 240, 78, 96, 25);
    lISIN = place(boldLabel(QStringLiteral("ISIN"), pnlTop), "lISIN", 23, 107);
    eISIN = place(new QLineEdit(pnlTop), "eISIN", 56, 104, 105, EditHeight);
    cbRcnAkt =
        place(new QCheckBox(QStringLiteral("Samo aktivni"), pnlTop), "cbRcnAkt", 8, 106, 97, CheckBoxHeight);
    QFont bold = cbRcnAkt->font();
    bold.setBold(true);
    cbRcnAkt->setFont(bold);
    // Wider than the original 143 pixels: the substitute fonts need the room up to the window's edge.
    cbJustConvert = place(new QCheckBox(QStringLiteral("Only conversion XML->txt"), pnlTop), "cbJustConvert",
                          193, 108, 158, CheckBoxHeight);

    lISIN->hide();
    eISIN->hide();
    cbRcnAkt->hide();
    cbRcnAkt->setChecked(true);
    cbJustConvert->hide();
    cbRemoteClan->addItem(OwnMemberBoxItem);
    cbRemoteClan->setCurrentIndex(-1);
    const QDate yesterday = Clock::today().addDays(-1);
    setBothDates(yesterday, yesterday);

    pgctrlMain = new QTabWidget(this);
    pgctrlMain->setObjectName(QStringLiteral("pgctrlMain"));
    tbshtMessages = new QWidget;
    tbshtMessages->setObjectName(QStringLiteral("tbshtMessages"));
    mmMessages = new QPlainTextEdit(tbshtMessages);
    mmMessages->setObjectName(QStringLiteral("mmMessages"));
    mmMessages->setReadOnly(true);
    auto *messagesLayout = new QVBoxLayout(tbshtMessages);
    messagesLayout->setContentsMargins(0, 0, 0, 0);
    messagesLayout->addWidget(mmMessages);
    pgctrlMain->addTab(tbshtMessages, QStringLiteral("&Log Messages"));

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    wbVornError = new VornErrorView(TabSheet1);
    wbVornError->setObjectName(QStringLiteral("wbVornError"));
    auto *errorLayout = new QVBoxLayout(TabSheet1);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->addWidget(wbVornError);
    pgctrlMain->addTab(TabSheet1, QStringLiteral("Vorn Error"));
    pgctrlMain->setCurrentWidget(tbshtMessages);

    // The status line of a transfer under the pages.
    lTransfer = new QLabel(this);
    lTransfer->setObjectName(QStringLiteral("lTransfer"));
    lTransfer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lTransfer->setFixedHeight(EditHeight);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setFixedHeight(EditHeight);
    btnCancel->setToolTip(QStringLiteral("Ends the running fetch (Esc); nothing is stored"));
    btnCancel->hide();
    connect(btnCancel, &QPushButton::clicked, this, &TfrmMain::cancelFetch);
    auto *statusLine = new QHBoxLayout;
    statusLine->setContentsMargins(0, 0, 0, 0);
    statusLine->setSpacing(0);
    statusLine->addWidget(lTransfer, 1);
    statusLine->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlTop);
    layout->addWidget(pgctrlMain);
    layout->addLayout(statusLine);
}

void TfrmMain::StartUp()
{
    QString marker;
    auto step = [&marker](const char *name) { marker = QLatin1String(name); };
    try {
        step("1");
        m_commandLine = CommandLine();
        m_settings.ShowDatabaseErrors = false;
        step("2");
        setWindowTitle(WindowCaption(m_start.programFilePath, ProgramFileVersion()));
        step("3");
        if (m_start.arguments.size() >= 3) {
            step("4");
            // The database arguments and the fourth one, a request file when it names an existing file.
            m_commandLine = ReadCommandLine(m_start.arguments);
            m_messenger->setUnattended(m_commandLine.Unattended);
            step("11");
            readSettings();
            step("12");
            cbJustConvert->setVisible(m_settings.ConvertOnly);
            cbJustConvert->setChecked(m_settings.ConvertOnly);
            step("13");
            m_host =
                ReadHostConfiguration(m_commandLine.Database, m_settings.ShowDatabaseErrors, messenger());
            fillMemberBox();
            step("14");
            const QDate yesterday = Clock::today().addDays(-1);
            setBothDates(yesterday, yesterday);
            step("15");
            cbTypeXML->clear();
            cbTypeXML->addItems(ReportListEntries(
                {m_settings.OfferDailyBondValues, m_settings.OfferSharebookTXT, m_commandLine.Unattended}));
            cbTypeXML->setCurrentIndex(-1);
        } else {
            step("17");
            readSettings();
            cbTypeXML->clear();
            cbTypeXML->addItems(ReportListEntriesWithoutHost());
            cbTypeXML->setCurrentIndex(-1);
            step("18");
            messenger().showMessage(WrongStartMessage(m_settings.MenuItemName));
        }
        step("19");
        if (m_commandLine.Unattended) {
            step("20");
            show();
            step("21");
            ProcessRequestFile();
            step("22");
        } else {
            step("23");
            show();
            step("24");
        }
    } catch (const std::exception &error) {
        messenger().showMessage(StepFailureMessage(marker, error));
        throw;
    }
}

void TfrmMain::ProcessRequestFile()
{
    RequestFileWindow controls(*this);
    RequestFileRun(m_commandLine.RequestFile, controls, m_host.OwnMemberCode, m_settings.InputFolder)
        .ProcessRequestFile();
}

void TfrmMain::readSettings()
{
    m_settings = ReadSettings(SettingsFilePath(m_start.programFilePath));
    cbDebug->setChecked(m_settings.Debug);
    m_httpsClient.setCAFile(m_settings.CAFile);
    m_httpsClient.setProxy(m_settings.Proxy);
    applyFetchLimits(m_settings, m_httpsClient, *m_response);
    m_certificateSelection->setTokenAccess(tokenAccessOf(m_settings));
}

void TfrmMain::fillMemberBox()
{
    cbRemoteClan->clear();
    cbRemoteClan->addItems(m_host.MemberBoxItems);
    cbRemoteClan->setCurrentIndex(-1);
}

Messenger &TfrmMain::messenger()
{
    return *m_messenger;
}

void TfrmMain::DebugLog(const QString &text)
{
    m_messenger->debugLog(text);
}

QString TfrmMain::reportTypeText() const
{
    return cbTypeXML->currentText();
}

void TfrmMain::setReportTypeText(const QString &text)
{
    cbTypeXML->setEditText(text);
}

QDate TfrmMain::dateFrom() const
{
    return dtpDateFrom->date();
}

QDate TfrmMain::dateTo() const
{
    return dtpDateTo->date();
}

void TfrmMain::setPeriod(const QDate &from, const QDate &to)
{
    setBothDates(from, to);
}

void TfrmMain::setBothDates(const QDate &from, const QDate &to)
{
    // Dates set by the program are not corrected: only the operator's changes are.
    const QSignalBlocker blockFrom(dtpDateFrom);
    const QSignalBlocker blockTo(dtpDateTo);
    dtpDateFrom->setDate(from);
    dtpDateTo->setDate(to);
}

QString TfrmMain::remoteMemberText() const
{
    return cbRemoteClan->currentText().trimmed();
}

void TfrmMain::setRemoteMemberText(const QString &text)
{
    cbRemoteClan->setEditText(text);
}

QString TfrmMain::isin() const
{
    return eISIN->text();
}

bool TfrmMain::onlyActiveAccounts() const
{
    return cbRcnAkt->isVisibleTo(this) && cbRcnAkt->isChecked();
}

bool TfrmMain::justConvert() const
{
    return cbJustConvert->isChecked();
}

void TfrmMain::showVornError(const QString &html)
{
    wbVornError->setHtml(html);
    pgctrlMain->setCurrentWidget(TabSheet1);
}

void TfrmMain::cbTypeXMLChange()
{
    const QDate today = Clock::today();
    const TypeRule rule = TypeRuleFor(ReportLabel(cbTypeXML->currentText()), today);
    lISIN->setVisible(rule.showIsin);
    eISIN->setVisible(rule.showIsin);
    cbRcnAkt->setVisible(rule.showOnlyActive);
    setBothDates(rule.dateFrom.value_or(dtpDateFrom->date()), rule.dateTo.value_or(dtpDateTo->date()));
    dtpDateFrom->setEnabled(rule.dateFromEnabled);
    dtpDateTo->setEnabled(rule.dateToEnabled);
}

void TfrmMain::dtpDateFromChange()
{
    const QDate corrected = CorrectedEndDate(ReportLabel(cbTypeXML->currentText()), dtpDateFrom->date(),
                                             dtpDateTo->date(), Clock::today());
    if (corrected != dtpDateTo->date())
        setBothDates(dtpDateFrom->date(), corrected);
}

void TfrmMain::btnGetClick()
{
    try {
        DoGetXML();
    } catch (const std::exception &error) {
        messenger().showMessage(FetchFailureMessage(error));
    }
}

void TfrmMain::DoGetXML()
{
    m_run = beginRunEntry();
    try {
        runGetXML();
    } catch (const std::exception &error) {
        m_run.succeeded = false;
        m_run.result = FetchFailureMessage(error);
        finishRun();
        throw;
    }
    finishRun();
}

JournalEntry TfrmMain::beginRunEntry() const
{
    JournalEntry entry;
    entry.program = QStringLiteral("VornImport");
    entry.mode = m_commandLine.Unattended ? QStringLiteral("request file") : QStringLiteral("window");
    entry.reportType = cbTypeXML->currentText();
    entry.member = remoteMemberText().isEmpty() ? m_host.OwnMemberCode : cbRemoteClan->currentText();
    entry.dateFrom = dateFrom();
    entry.dateTo = dateTo();
    return entry;
}

void TfrmMain::finishRun()
{
    FinishRun(m_run, JournalOf(m_settings), [this](const QString &line) { messenger().log(line); });
}

void TfrmMain::noteAnswer()
{
    m_run.httpStatus = m_response->HttpStatus();
    m_run.bytesReceived = m_response->ReceivedBody().size();
    m_run.stored.clear(); // what the archive left, not what the conversion took it for
    for (const QString &path : m_response->StoredFiles())
        m_run.stored << DescribeFile(path, false);
    if (m_run.action != u"fetch")
        return; // the conversion noted its result
    m_run.succeeded = !m_run.stored.isEmpty();
    if (m_run.succeeded)
        m_run.result = QStringLiteral("stored");
    else if (m_response->ReceivedFileName().isEmpty())
        m_run.result =
            NoReportLine({QStringLiteral("HTTP %1").arg(m_run.httpStatus)}, m_response->ReceivedBody());
    else
        m_run.result = QStringLiteral("The answer held no report that could be stored; nothing was stored.");
}

void TfrmMain::runGetXML()
{
    RunStartTime = probeOutputFolderClock();
    const QString typeText = cbTypeXML->currentText();
    if (justConvert()) {
        convertStoredReport(typeText);
        return;
    }
    if (const auto refusal =
            FetchPeriodRefusal(ReportLabel(typeText), dateFrom(), dateTo(), Clock::today())) {
        if (m_commandLine.Unattended)
            throw EInvalidPeriod(*refusal);
        messenger().showMessage(*refusal);
        return;
    }
    setSelectionEnabled(false);
    try {
        fetchReport(typeText);
    } catch (const EFetchCancelled &cancelled) {
        setSelectionEnabled(true);
        messenger().log(cancelled.message());
        m_run.result = cancelled.message();
        if (m_commandLine.Unattended)
            throw;
        return;
    } catch (const std::exception &error) {
        setSelectionEnabled(true);
        // Also in the log, so that it stays when the box is closed and reaches the request file.
        messenger().log(FetchFailureMessage(error));
        if (m_commandLine.Unattended)
            throw;
        m_run.result = FetchFailureMessage(error);
        messenger().showMessage(FetchFailureMessage(error));
        return;
    }
    setSelectionEnabled(true);
}

void TfrmMain::fetchReport(const QString &typeText)
{
    // An unattended run keeps the log of every fetch of its series.
    if (!m_commandLine.Unattended)
        mmMessages->clear();
    wbVornError->clear();
    showLogPage();

    const QString memberBoxText = cbRemoteClan->currentText();
    m_currentEndpoint = ChooseEndpoint(memberBoxText, m_host.ConfiguredEndpoint, m_host.RemoteMembers);
    m_certificateSelection->PrepareClientCertificate(
        {m_currentEndpoint.VornProtocol, m_currentEndpoint.VornUri, m_currentEndpoint.VornMemberCode,
         m_currentEndpoint.CertificateSubjectKeyID, m_currentEndpoint.CertificatePath,
         m_currentEndpoint.CertificateStorage},
        memberBoxText);
    const ReportType *type = SelectReportType(typeText);
    if (!type) {
        DebugLog(QStringLiteral("Nothing to Get/Import!"));
        return;
    }
    const QString url = PrepareRequest(type->requestTemplate,
                                       {memberBoxText, m_host.RemoteMembers, m_currentEndpoint, dateFrom(),
                                        dateTo(), isin(), CurrentCaseNumber},
                                       messenger());
    // An empty input folder would store the reports at the file system's root.
    m_response->setInputFolder(RequiredInputFolder(m_settings));
    m_run.action = QStringLiteral("fetch");
    m_run.url = url;
    messenger().log(FetchStartLine(typeText, m_run.member, url, dateFrom(), dateTo()));
    TransferReport(url);
    noteAnswer();
}

QDateTime TfrmMain::probeOutputFolderClock() const
{
    return ProbeFolderClock(RequiredOutputFolder(m_settings));
}

void TfrmMain::convertStoredReport(const QString &typeText)
{
    const QString label = ReportLabel(typeText);
    if (label == QStringLiteral("Dnevne Teoretične vrednosti")) {
        XMLToXLS(QStringLiteral("DailyBondValues.zip"));
        return;
    }
    // Types without a conversion of their own.
    static const QStringList storedOnly{
        QStringLiteral("Javna delniška knjiga TOP 50"), QStringLiteral("Transakcije izven trga"),
        QStringLiteral("Trenutni trgovalni računi BTS"), QStringLiteral("Javna delniška knjiga")};
    if (storedOnly.contains(label))
        return;
    if (!m_commandLine.Unattended)
        RequiredInputFolder(m_settings); // an empty one would read the reports from the root
    // Unattended, the dispatch only notes where the report lies: nothing is converted.
    if (!m_commandLine.Unattended)
        m_run.action = QStringLiteral("convert");
    importReport(typeText.mid(typeText.indexOf(u'-') + 1).trimmed());
}

void TfrmMain::XMLToXLS(const QString &fileName)
{
    // The window paints before the export runs; the export's failures reach the caller.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const FolderSnapshot before(m_settings.OutputFolder);
    if (m_run.action.isEmpty())
        m_run.action = QStringLiteral("convert");
    else if (m_run.action == u"fetch")
        m_run.action = QStringLiteral("fetch and convert");
    TDailyBondValuesExport::forRequest(importRequest(fileName), dateFrom(), messenger())->XMLToXLS(fileName);
    for (const QString &path : before.changedFiles())
        m_run.written << DescribeFile(path, false);
    m_run.succeeded = true;
    m_run.result = QStringLiteral("workbook written");
}

ImportRequest TfrmMain::importRequest(const QString &name) const
{
    ImportRequest request;
    request.name = name;
    request.label = ReportLabel(cbTypeXML->currentText());
    applySettingsAndHost(request, m_settings, m_host, m_commandLine.Database);
    request.memberBoxText = cbRemoteClan->currentText();
    request.onlyActive = onlyActiveAccounts();
    request.Unattended = m_commandLine.Unattended;
    request.RunStartTime = RunStartTime;
    request.FileSuffix = m_commandLine.FileSuffix;
    request.programFolder = QFileInfo(m_start.programFilePath).absolutePath();
    return request;
}

void TfrmMain::TransferReport(const QString &url)
{
    // A click meanwhile is never replayed once the fetch has ended; only Esc and the cancel control count.
    const DroppedUserInput dropped(*this, btnCancel, [this] { cancelFetch(); });
    setSelectionEnabled(false);
    m_cancelRequested = false;
    m_transferTimer.start();
    btnCancel->show();
    try {
        showTransferProgress(0, -1);
        m_httpsClient.Get(url);
    } catch (const EFetchCancelled &) {
        lTransfer->setText(QStringLiteral("Transfer cancelled"));
        btnCancel->hide();
        setSelectionEnabled(true);
        throw;
    } catch (...) {
        lTransfer->setText(QStringLiteral("Transfer failed"));
        btnCancel->hide();
        setSelectionEnabled(true);
        throw;
    }
    btnCancel->hide();
    setSelectionEnabled(true);
}

void TfrmMain::setSelectionEnabled(bool enabled)
{
    cbTypeXML->setEnabled(enabled);
    cbRemoteClan->setEnabled(enabled);
    btnGet->setEnabled(enabled);
}

void TfrmMain::showTransferProgress(qint64 received, qint64 total)
{
    QString text = total > 0 ? QStringLiteral("Received %1 of %2 bytes").arg(received).arg(total)
                             : QStringLiteral("Received %1 bytes").arg(received);
    const qint64 elapsed = m_transferTimer.isValid() ? m_transferTimer.elapsed() : 0;
    if (received > 0 && elapsed > 0)
        text += QStringLiteral(", %1 KB/s").arg(double(received) / 1.024 / double(elapsed), 0, 'f', 1);
    if (lTransfer->text() != text)
        lTransfer->setText(text);
    // Get blocks this thread: the window paints meanwhile and takes only the input that cancels the fetch
    // (DroppedUserInput).
    QCoreApplication::processEvents();
    if (m_cancelRequested)
        throw EFetchCancelled(QStringLiteral("The fetch of %1 was cancelled by the operator; nothing was "
                                             "stored. Press \"Get XML, convert\" to fetch it again.")
                                  .arg(cbTypeXML->currentText()));
}

bool TfrmMain::debugging() const
{
    return cbDebug->isChecked();
}

void TfrmMain::appendToLog(const QString &text)
{
    mmMessages->moveCursor(QTextCursor::End);
    mmMessages->insertPlainText(text);
}

void TfrmMain::showErrorPage(const QString &html)
{
    if (!m_commandLine.Unattended) // nobody would see it
        showVornError(html);
}

void TfrmMain::showLogPage()
{
    pgctrlMain->setCurrentWidget(tbshtMessages);
}

void TfrmMain::importReport(const QString &receivedFileName)
{
    if (m_run.action == u"fetch" && !m_commandLine.Unattended)
        m_run.action = QStringLiteral("fetch and convert");
    const ImportOutcome outcome = DoImportRecorded(importRequest(receivedFileName), messenger(), m_run);
    if (outcome.result == ImportResult::FetchedPathRecorded)
        FetchedXmlPath = outcome.FetchedXmlPath;
}

void TfrmMain::exportWorkbook(const QString &receivedFileName)
{
    XMLToXLS(receivedFileName);
}
