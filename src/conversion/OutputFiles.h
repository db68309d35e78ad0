#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

// Joins a folder and a file name with one path separator.
QString joinPath(const QString &folder, const QString &name);

// Whether a file name matches the mask: "*" stands for any run of characters, "?" for one;
// every other character, "[" and "]" too, stands for itself, with letter case.
bool MatchesMask(QStringView name, QStringView mask);

// Throws EConvertError "Invalid member code "<code>"" for a member code that file names and
// masks cannot carry: one holding "*", "?", "[", "]", a path separator, ":", ".." or a control
// character (a mask of "*" would take every member's files, a separator another folder).
void RequireSafeMemberCode(const QString &memberCode);
// Throws EConvertError "Invalid file suffix "<suffix>"" for a suffix of the report's file name
// that would lead out of the input folder: one holding a path separator or "..".
void RequireSafeFileSuffix(const QString &suffix);

// The mask of a member's per-date files of the prefix: "transa*_ABC.txt", as TagMemberFiles
// names them, so that no member whose code ends with this one is met; "transa*.txt" for an
// empty member code.
QString MemberFilesMask(const QString &prefix, const QString &memberCode);

// The base name with "_" and the member code inserted before its first "." ("stanje.txt", ABC:
// "stanje_ABC.txt"). Throws as RequireSafeMemberCode.
QString memberFileName(const QString &baseName, const QString &memberCode);

// Deletes the files of the folder whose names match the mask (see MatchesMask). Files that
// cannot be deleted stay, without a message.
void DeleteFiles(const QString &folder, const QString &mask);

// Gives output files written since the given time names that carry the member code: every
// matching file not older than since whose name lacks "_" + memberCode gets "_" + memberCode
// before the first "." of its name. When exactly one file was so tagged, it takes the base
// name with the code inserted instead (razpor.txt, ABC: razpor_ABC.txt). A rename that fails,
// for example because the new name exists, leaves the file as it was. Nothing happens for an
// empty member code, nor for one that RequireSafeMemberCode refuses.
void TagMemberFiles(const QString &folder, const QString &mask, const QString &baseName,
                    const QString &memberCode, const QDateTime &since);
