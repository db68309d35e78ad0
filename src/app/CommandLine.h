#pragma once

#include "host/HostConfiguration.h"

#include <QString>
#include <QStringList>

// What the host passes on the command line: alias, user name, password and an optional fourth value,
// which is the request file of an unattended run when it names an existing file, else a file suffix.
struct CommandLine
{
    bool HasDatabaseArguments = false; // at least three arguments
    DatabaseLogin Database;
    QString RequestFile; // the fourth argument when it names an existing file
    bool Unattended = false;
    QString FileSuffix; // the fourth argument when it is not empty and names no existing file
};

// The arguments without the program's own name.
CommandLine ReadCommandLine(const QStringList &arguments);
