#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// What VornImport answers on the console, without a window or a display:
//   VornImport --check ALIAS USER PASSWORD [MEMBER]   the setup check, one line per check
//   VornImport --history [N]                          the last N runs of the run journal
//   VornImport --help | --version
// The host never passes them; its start (ALIAS USER PASSWORD [FILE]) is unchanged.

// True when the first argument (after the program's name) asks for one of them.
bool IsConsoleCommand(const QString &firstArgument);

// Runs it and returns the exit code: 0 for help and version, and for a check in which nothing failed
// (warnings allowed); 1 when a check failed or the command line is wrong.
int RunConsoleCommand(const QStringList &arguments, const QString &programFilePath, QTextStream &out,
                      QTextStream &err);
