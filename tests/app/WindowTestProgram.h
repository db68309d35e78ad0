#pragma once

#include "app/MainWindow.h"
#include "common/Exception.h"
#include "RecordingMessenger.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>

class TestWindow : public TfrmMain
{
public:
    using TfrmMain::TfrmMain;

    int requestFileRuns = 0;
    bool visibleDuringRequestFile = false;
    bool failRequestFile = false;

protected:
    void ProcessRequestFile() override
    {
        ++requestFileRuns;
        visibleDuringRequestFile = isVisible();
        if (failRequestFile)
            throw EFOpenError(QStringLiteral("request file locked"));
    }
};

// A program folder for the window under test: the program file's path (which need not exist) with its
// settings file beside it, and a window that records its message boxes and its request file runs.
class WindowTestProgram
{
public:
    explicit WindowTestProgram(const QString &programName = QStringLiteral("VornImport"))
        : programFilePath(folder.filePath(programName))
    {
    }

    // The window of this program folder with the given command-line arguments, not yet started.
    std::unique_ptr<TestWindow> window(const QStringList &arguments = {})
    {
        return std::make_unique<TestWindow>(ProgramStart{programFilePath, arguments}, &boxes);
    }

    void writeSettings(const QByteArray &contents)
    {
        const QString name = QFileInfo(programFilePath).completeBaseName() + QStringLiteral(".ini");
        folder.write(name, contents);
    }

    TempDir folder;
    QString programFilePath;
    RecordingMessenger boxes;
};

// The window's control of the given object name; a failure when it has none.
template<typename Control> Control *childControl(const QWidget &window, const char *name)
{
    auto *found = window.findChild<Control *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Chooses a report type as the operator does: the entry becomes current and the type rules run.
inline void pickReportType(const QWidget &window, const QString &entry)
{
    auto *types = childControl<QComboBox>(window, "cbTypeXML");
    ASSERT_NE(types, nullptr);
    const int index = types->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString();
    types->setCurrentIndex(index);
    emit types->textActivated(entry);
}

// The lines of the window's log, none when it is empty.
inline QStringList windowLogLines(const QWidget &window)
{
    const auto *log = childControl<QPlainTextEdit>(window, "mmMessages");
    const QString text = log ? log->toPlainText() : QString();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}
