#include "app/RequestFileWindow.h"

#include "app/MainWindow.h"
#include "app/MessageBoxes.h"

#include <QCheckBox>

void RequestFileWindow::untickConversionOnly()
{
    m_window.cbJustConvert->setChecked(false);
}

void RequestFileWindow::setReportTypeText(const QString &text)
{
    m_window.setReportTypeText(text);
}

void RequestFileWindow::setPeriod(const QDate &from, const QDate &to)
{
    m_window.setPeriod(from, to);
}

void RequestFileWindow::setRemoteMemberText(const QString &text)
{
    m_window.setRemoteMemberText(text);
}

void RequestFileWindow::setCurrentCaseNumber(const QString &caseNumber)
{
    m_window.CurrentCaseNumber = caseNumber;
}

QString RequestFileWindow::fetch()
{
    m_window.FetchedXmlPath.clear();
    m_window.DoGetXML();
    return m_window.FetchedXmlPath;
}

void RequestFileWindow::log(const QString &line)
{
    m_window.messenger().log(line);
}

QStringList RequestFileWindow::logLines() const
{
    return m_window.m_messenger->lines();
}
