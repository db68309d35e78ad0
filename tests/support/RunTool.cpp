#include "RunTool.h"

#include <QProcess>
#include <stdexcept>

QByteArray runTool(const QString &folder, const QString &program, const QStringList &arguments,
                   const QByteArray &input)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error((program + " failed: " + process.readAllStandardError()).toStdString());
    return process.readAllStandardOutput();
}
