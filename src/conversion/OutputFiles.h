#pragma once

#include <QDateTime>
#include <QString>

// Joins a folder and a file name with one path separator.
QString joinPath(const QString &folder, const QString &name);

// The base name with "_" and the member code inserted before its first "." ("stanje.txt", ABC:
// "stanje_ABC.txt"). Throws EConvertError for a code holding a path separator or a drive
// colon, which would lead the file out of its folder.
QString memberFileName(const QString &baseName, const QString &memberCode);

// Deletes the files of the folder whose names match the wildcard mask ("*", "?"). Files that
// cannot be deleted stay, without a message.
void DeleteFiles(const QString &folder, const QString &mask);

// Gives output files written since the given time names that carry the member code: every
// matching file not older than since whose name lacks "_" + memberCode gets "_" + memberCode
// before the first "." of its name. When exactly one file was so tagged, it takes the base
// name with the code inserted instead (razpor.txt, ABC: razpor_ABC.txt). A rename that fails,
// for example because the new name exists, leaves the file as it was. Nothing happens for an
// empty member code, nor for one that would lead the files out of their folder.
void TagMemberFiles(const QString &folder, const QString &mask, const QString &baseName,
                    const QString &memberCode, const QDateTime &since);
