#pragma once

#include "app/MainWindow.h"
#include "common/Exception.h"
#include "RecordingMessenger.h"
#include "TempDir.h"

#include <QFileInfo>

// A program folder for the window under test: the program file's path (which need not exist) with its
// settings file beside it, and a window that records its message boxes and its request file runs.
class WindowTestProgram
{
public:
    explicit WindowTestProgram(const QString &programName = QStringLiteral("VornImport"))
        : programFilePath(folder.filePath(programName))
    {
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
