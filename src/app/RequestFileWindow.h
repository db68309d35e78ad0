#pragma once

#include "batch/RequestFileRun.h"

class TfrmMain;

// The main window as the request file's series drives it: its type list, dates, member box, "Only
// conversion XML->txt", "Get XML, convert" and log.
class RequestFileWindow : public RequestFileControls
{
public:
    explicit RequestFileWindow(TfrmMain &window) : m_window(window) {}

    void untickConversionOnly() override;
    void setReportTypeText(const QString &text) override;
    void setPeriod(const QDate &from, const QDate &to) override;
    void setRemoteMemberText(const QString &text) override;
    void setCurrentCaseNumber(const QString &caseNumber) override;
    QString fetch() override;
    void log(const QString &line) override;
    QStringList logLines() const override;

private:
    TfrmMain &m_window;
};
