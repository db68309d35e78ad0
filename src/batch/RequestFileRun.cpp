#include "batch/RequestFileRun.h"

#include "batch/RequestDate.h"
#include "common/Clock.h"
#include "conversion/OutputFiles.h"

#include <filesystem>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

namespace {
const QString RequestSection = QStringLiteral("Request");
const QString ResponseSection = QStringLiteral("Response");
const QString MessagesSection = QStringLiteral("Messages");
const QString ErrorMessageKey = QStringLiteral("ErrorMessage");

const QString TransactionsLabel = QStringLiteral("Transakcije - MemberTransactions");
const QString CurrentDayLabel = QStringLiteral("Dnevne Transakcije - MemberTransactionsCurrentDay");
const QString SettlementLabel =
    QStringLiteral("Poravnalne inštrukcije - MemberT2SSettlementInstructionsHistory");
const QString CorporateActionLabel =
    QStringLiteral("Plačila korporacijskih akcij - MemberCorporateActionPayments");
const QString StatementLabel = QStringLiteral("DCA izpisek - MemberT2SBankToCustomerStatement");
const QString CorporateActionKey = QStringLiteral("MemberCorporateActionPayments");

// "<class>: <message>", the form of every error the request file carries.
QString failureText(const std::exception &error)
{
    return exceptionClassName(error) + QStringLiteral(": ") + exceptionMessage(error);
}

// A case number becomes part of a file name, a response key and a request: letters, digits, "-", "_" and
// "." only, so that it cannot lead a file out of its folder nor change the request.
void checkCaseNumber(const QString &key, const QString &caseNumber)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (!allowed.match(caseNumber).hasMatch())
        throw EInvalidCaseNumber(
            QStringLiteral("%1 \"%2\" is not a valid case number: letters, digits, \"-\", \"_\" and \".\" "
                           "are allowed.")
                .arg(key, caseNumber));
}

QList<std::pair<QString, QString>> numberedLines(const QStringList &lines, const QString &prefix, int first)
{
    QList<std::pair<QString, QString>> keys;
    keys.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        keys.append({prefix + QString::number(first + i), lines[i]});
    return keys;
}
} // namespace

QString RequestPathProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return QStringLiteral("The request file %1 is not a regular file but a %2; nothing was run and nothing "
                          "written. Give the path of the host's request file as the fourth argument.")
        .arg(path, info.isDir() ? QStringLiteral("folder") : QStringLiteral("FIFO, socket or device"));
}

RequestFileRun::RequestFileRun(const QString &requestFile, RequestFileControls &controls,
                               const QString &ownMemberCode, const QString &inputFolder)
    : m_file(requestFile), m_controls(controls), m_ownMemberCode(ownMemberCode), m_inputFolder(inputFolder)
{
}

void RequestFileRun::ProcessRequestFile()
{
    if (!m_file.sectionExists(RequestSection))
        throw ENotARequestFile(
            QStringLiteral("%1 is not a request file: it has no [Request] section, so nothing "
                           "was written to it. Give the path of the host's request file.")
                .arg(m_file.path()));
    m_controls.setCurrentCaseNumber(QString());
    m_controls.untickConversionOnly();
    if (m_file.readInteger(RequestSection, QStringLiteral("RequestId"), 0) < 1) {
        m_file.writeString(ResponseSection, ErrorMessageKey, QStringLiteral("Neveljaven RequestId."));
        return;
    }
    m_file.eraseSection(ResponseSection);
    m_file.eraseSection(MessagesSection);
    try {
        m_request = readRequest();
    } catch (const EIniFileError &) {
        throw;
    } catch (const std::exception &error) {
        // Start-up reports it and ends with 1; the file tells the host why its request produced nothing.
        m_file.writeString(ResponseSection, ErrorMessageKey, failureText(error));
        throw;
    }
    try {
        runSeries();
        writeAnswers();
        m_file.writeStrings(MessagesSection, numberedLines(m_controls.logLines(), QString(), 0));
    } catch (const EIniFileError &) {
        throw;
    } catch (const std::exception &error) {
        writeWholeRunFailure(error);
    }
}

RequestFileRun::Request RequestFileRun::readRequest()
{
    Request request;
    request.test = m_file.readInteger(RequestSection, QStringLiteral("Test"), 0) != 0;
    request.dateFrom = readDate(QStringLiteral("DateFrom"));
    request.dateTo = readDate(QStringLiteral("DateTo"));
    m_controls.setPeriod(request.dateFrom, request.dateTo);
    const QString memberCode = m_file.readString(RequestSection, QStringLiteral("MemberCode"), QString());
    request.memberBoxText = memberCode == m_ownMemberCode ? QString() : memberCode;
    m_controls.setRemoteMemberText(request.memberBoxText);
    const int count = m_file.readInteger(RequestSection, QStringLiteral("CaseNumberCount"), 0);
    for (int i = 1; i <= count; ++i) {
        const QString key = QStringLiteral("CaseNumber") + QString::number(i);
        // A count far beyond the keys the file holds would otherwise run for ever.
        if (!m_file.keyExists(RequestSection, key))
            throw EInvalidCaseNumber(
                QStringLiteral("%1 is missing (CaseNumberCount = %2)").arg(key).arg(count));
        request.caseNumbers << m_file.readString(RequestSection, key, QString());
        checkCaseNumber(key, request.caseNumbers.back());
    }
    return request;
}

QDate RequestFileRun::readDate(const QString &key) const
{
    const QString text = m_file.readString(RequestSection, key, QString());
    const std::optional<QDate> date = ParseRequestDate(text);
    if (!date)
        throw EConvertError(QStringLiteral("'%1' is not a valid date (%2)").arg(text, key));
    return *date;
}

void RequestFileRun::runSeries()
{
    const Request &request = m_request;
    // The transactions report may not reach today: it ends yesterday when the request ends today.
    if (request.dateTo == Clock::today())
        m_controls.setPeriod(request.dateFrom, request.dateTo.addDays(-1));
    runReport(TransactionsLabel, QStringLiteral("MemberTransactions"));
    m_controls.setPeriod(request.dateFrom, request.dateTo);
    runReport(CurrentDayLabel, QStringLiteral("MemberTransactionsCurrentDay"));
    runReport(SettlementLabel, QStringLiteral("MemberT2SSettlementInstructionsHistory"));
    for (const QString &caseNumber : request.caseNumbers) {
        m_controls.setCurrentCaseNumber(caseNumber);
        m_controls.log(QStringLiteral("MemberCorporateActionPayments CaseNo ") + caseNumber);
        runReport(CorporateActionLabel, CorporateActionKey + u'_' + caseNumber, caseNumber);
    }
    runReport(StatementLabel, QStringLiteral("MemberT2SBankToCustomerStatement"));
}

void RequestFileRun::answer(const QString &key, const QString &value)
{
    m_answers.append({key, value});
}

void RequestFileRun::writeAnswers()
{
    if (m_answers.isEmpty())
        return;
    // Taken first: a write that fails must not be tried again with the failure's own answers.
    const QList<std::pair<QString, QString>> answers = std::exchange(m_answers, {});
    m_file.writeStrings(ResponseSection, answers);
}

void RequestFileRun::runReport(const QString &label, const QString &key, const QString &caseNumber)
{
    try {
        GetFile(label, key, caseNumber);
    } catch (const EIniFileError &) {
        throw;
    } catch (const std::exception &error) {
        answer(key, u'(' + key + QStringLiteral(".xml)"));
        answer(QStringLiteral("ErrorMessage_") + key, failureText(error));
    }
    // A test run fetches nothing, so its answers wait for the end of the series (one write for many case
    // numbers); a real run's answers are written as each report is done.
    if (!m_request.test)
        writeAnswers();
}

void RequestFileRun::GetFile(const QString &label, const QString &key, const QString &caseNumber)
{
    try {
        m_controls.setReportTypeText(label);
        QString fetchedXmlPath = m_request.test ? QString() : m_controls.fetch();
        if (!fetchedXmlPath.isEmpty() && QFileInfo(fetchedXmlPath).isFile()) {
            if (!caseNumber.isEmpty())
                fetchedXmlPath = renamedForCaseNumber(fetchedXmlPath, caseNumber);
            answer(key, fetchedXmlPath);
        } else if (!m_request.test) {
            throw Exception(QStringLiteral("Napaka pri pridobivanju podatkov, ne najdem datoteke ") +
                            fetchedXmlPath);
        } else {
            answer(key, testRunPath(key, caseNumber));
        }
    } catch (const EIniFileError &) {
        throw;
    } catch (const std::exception &error) {
        const QString report =
            caseNumber.isEmpty() ? label : label + QStringLiteral(" (") + caseNumber + u')';
        throw Exception(failureText(error) + QStringLiteral(" (") + report + u')');
    }
}

QString RequestFileRun::renamedForCaseNumber(const QString &path, const QString &caseNumber)
{
    const QFileInfo stored(path);
    const QString newPath = joinPath(stored.path(), caseNumber + u'_' + stored.fileName());
    m_controls.log(QStringLiteral("GetFile, CaseNumber = ") + caseNumber + QStringLiteral(", Xml = ") + path +
                   QStringLiteral(", New = ") + newPath);
    // Replaces a file of the new name in one step; a path that is not there is never reported.
    std::error_code error;
    std::filesystem::rename(path.toStdU16String(), newPath.toStdU16String(), error);
    if (error)
        throw EInOutError(QStringLiteral("Cannot rename %1 to %2: %3")
                              .arg(path, newPath, QString::fromLocal8Bit(error.message())));
    return newPath;
}

QString RequestFileRun::testRunPath(const QString &key, const QString &caseNumber) const
{
    QString name = caseNumber.isEmpty() ? key : CorporateActionKey;
    if (!m_request.memberBoxText.trimmed().isEmpty())
        name += m_request.memberBoxText;
    if (!caseNumber.isEmpty())
        name = caseNumber + u'_' + name + u'-' + caseNumber;
    return joinPath(m_inputFolder, name + QStringLiteral(".xml"));
}

void RequestFileRun::writeWholeRunFailure(const std::exception &error)
{
    const QStringList lines = m_controls.logLines();
    QList<std::pair<QString, QString>> keys = std::exchange(m_answers, {});
    keys << QList<std::pair<QString, QString>>{
        {ErrorMessageKey, failureText(error)},
        {QStringLiteral("LogMessageCount"), QString::number(lines.size())},
    };
    keys << numberedLines(lines, QStringLiteral("LogMessage"), 1);
    m_file.writeStrings(ResponseSection, keys);
}
