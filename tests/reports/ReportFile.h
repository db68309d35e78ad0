#pragma once

#include "ExceptionMessage.h"
#include "reports/XmlDocument.h"
#include "ReportXml.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>

// A report file in a temporary folder with the document object that reads it.
class ReportFile
{
public:
    explicit ReportFile(const QByteArray &bytes) { m_document.setFileName(m_dir.write("report.xml", bytes)); }

    TXMLDocument &document() { return m_document; }
    const TempDir &dir() const { return m_dir; }

private:
    TempDir m_dir;
    TXMLDocument m_document;
};

// A report of the test data folder.
inline QByteArray testData(const QString &name)
{
    QFile file(QStringLiteral(REPORTS_TEST_DATA "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}
