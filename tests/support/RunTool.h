#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a command-line tool in a folder, feeding it input, and returns what it wrote to
// standard output; throws with its error output when it fails.
QByteArray runTool(const QString &folder, const QString &program, const QStringList &arguments,
                   const QByteArray &input = QByteArray());
