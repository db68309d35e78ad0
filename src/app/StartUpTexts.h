#pragma once

#include <QString>

// The program's file version, major.minor.release.build, as built (Linux executables carry no
// version resource).
QString ProgramFileVersion();

// The window caption: the program file's name without folder and extension, " v" and the file version
// ("/opt/vorn/VornImport" of version 1.2.3.4 gives "VornImport v1.2.3.4").
QString WindowCaption(const QString &programFilePath, const QString &fileVersion);

// The message of a start without the host's database arguments, naming the host's menu item.
QString WrongStartMessage(const QString &menuItemName);
