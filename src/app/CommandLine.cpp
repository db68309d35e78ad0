#include "app/CommandLine.h"

#include <QFileInfo>

CommandLine ReadCommandLine(const QStringList &arguments)
{
    CommandLine commandLine;
    if (arguments.size() < 3)
        return commandLine;
    commandLine.HasDatabaseArguments = true;
    commandLine.Database = {arguments[0], arguments[1], arguments[2]};
    const QString fourth = arguments.value(3);
    if (!fourth.isEmpty() && QFileInfo(fourth).isFile()) {
        commandLine.RequestFile = fourth;
        commandLine.Unattended = true;
    } else {
        commandLine.FileSuffix = fourth;
    }
    return commandLine;
}
