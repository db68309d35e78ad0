#pragma once

#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QStringList>

// What one run of the VornConvert executable left behind.
struct ProcessRun
{
    int exitCode = -1;
    QString out;
    QString err;

    QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
};

// VornConvert copied into a program folder of its own, with its settings file and type table
// beside it, against a SQLite host database that knows one security (SI0031102120, KRKG) and
// whose own member is OWN. Needs VORN_CONVERT_PATH, the built executable.
class VornConvertFixture : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite};
    QString executable;

    void install(const QByteArray &typeTable)
    {
        executable = program.filePath("VornConvert");
        ASSERT_TRUE(QFile::copy(VORN_CONVERT_PATH, executable));
        program.write("tipi.ini", typeTable);
        program.write("VornImport.ini", settings(output.path()));
        host.createHostTables();
        host.exec("INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N');"
                  "INSERT INTO INISET VALUES ('OZNAKACLANA', 'OWN')");
    }

    QByteArray settings(const QString &outputFolder) const
    {
        return ("[Nastavitve]\r\nVhodniImenik=" + input.path() + "\r\nIzhodniImenik=" + outputFolder + "\r\n")
            .toUtf8();
    }

    ProcessRun run(const QStringList &arguments,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(executable, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList login() const { return {host.alias(), "user", "password"}; }
};
