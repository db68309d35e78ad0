#pragma once

#include "common/Exception.h"
#include "common/IniFile.h"

#include <QDate>
#include <QString>
#include <QStringList>

// A request that names a case number no file name or request may carry.
VORN_DECLARE_EXCEPTION(EInvalidCaseNumber, Exception)
// A file given as the request file that holds no "Request" section: nothing is written to it.
VORN_DECLARE_EXCEPTION(ENotARequestFile, EIniFileError)

// Why path cannot be a request file although it exists (a folder, a FIFO, a device): a whole message for
// the host's administrator. Empty when it is a regular file or does not exist.
QString RequestPathProblem(const QString &path);

// What the unattended series drives: the window's selection, its fetch and its log.
class RequestFileControls
{
public:
    virtual ~RequestFileControls() = default;

    // Unticks "Only conversion XML->txt", so that every fetch really fetches.
    virtual void untickConversionOnly() = 0;
    // Selects the report by the text of the type list, without the type rules of the window.
    virtual void setReportTypeText(const QString &text) = 0;
    virtual void setPeriod(const QDate &from, const QDate &to) = 0;
    // Empty for the own member.
    virtual void setRemoteMemberText(const QString &text) = 0;
    // The corporate action case number the request of a corporate action report names.
    virtual void setCurrentCaseNumber(const QString &caseNumber) = 0;
    // Runs "Get XML, convert" for the selection; returns where the fetched report was stored (empty when
    // nothing was stored). Raises what the fetch raises.
    virtual QString fetch() = 0;
    virtual void log(const QString &line) = 0;
    // Everything logged since start-up, in order.
    virtual QStringList logLines() const = 0;
};

// The host's unattended run: reads the request of a request file ("Request"), fetches the fixed series of
// reports for its member and period through the controls and writes the outcome into the same file
// ("Response", "Messages"). Every other line of the file stays as it is.
class RequestFileRun
{
public:
    RequestFileRun(const QString &requestFile, RequestFileControls &controls, const QString &ownMemberCode,
                   const QString &inputFolder);

    // Runs the request. Raises ENotARequestFile, writing nothing, when the file has no "Request" section.
    // Raises, after writing "ErrorMessage", when the request cannot be read before the series starts (a
    // date that is none, a case number that is refused), and raises EIniFileError when the request file
    // cannot be written; every other failure ends up in the file. The answers of a test run are written
    // together at the end of the series, those of a real run after each report.
    void ProcessRequestFile();

private:
    struct Request
    {
        bool test = false;
        QDate dateFrom;
        QDate dateTo;
        QString memberBoxText;
        QStringList caseNumbers;
    };

    Request readRequest();
    QDate readDate(const QString &key) const;
    void runSeries();
    // One report of the series; its failure writes the failure value and "ErrorMessage_" + key.
    void runReport(const QString &label, const QString &key, const QString &caseNumber = QString());
    // Fetches one report and writes its path under the key; raises a general error naming the report.
    void GetFile(const QString &label, const QString &key, const QString &caseNumber);
    QString renamedForCaseNumber(const QString &path, const QString &caseNumber);
    QString testRunPath(const QString &key, const QString &caseNumber) const;
    void writeWholeRunFailure(const std::exception &error);
    void answer(const QString &key, const QString &value);
    void writeAnswers();

    IniFile m_file;
    RequestFileControls &m_controls;
    QString m_ownMemberCode;
    QString m_inputFolder;
    Request m_request;
    QList<std::pair<QString, QString>> m_answers; // not yet written
};
