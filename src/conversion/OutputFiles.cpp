#include "OutputFiles.h"

#include "common/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QStringList matchingFiles(const QString &folder, const QString &mask)
{
    return QDir(folder).entryList({mask}, QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
}

bool leavesFolder(const QString &memberCode)
{
    return memberCode.contains(u'/') || memberCode.contains(u'\\') || memberCode.contains(u':');
}

// The name with "_" and the member code inserted before its first ".".
QString withMemberCode(const QString &name, const QString &memberCode)
{
    qsizetype dot = name.indexOf(u'.');
    if (dot < 0)
        dot = name.size();
    return name.left(dot) + u'_' + memberCode + name.mid(dot);
}

} // namespace

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    return folder + QDir::separator() + name;
}

QString memberFileName(const QString &baseName, const QString &memberCode)
{
    if (leavesFolder(memberCode))
        throw EConvertError(QStringLiteral("Invalid member code \"%1\"").arg(memberCode));
    return withMemberCode(baseName, memberCode);
}

void DeleteFiles(const QString &folder, const QString &mask)
{
    for (const QString &name : matchingFiles(folder, mask))
        QFile::remove(joinPath(folder, name));
}

void TagMemberFiles(const QString &folder, const QString &mask, const QString &baseName,
                    const QString &memberCode, const QDateTime &since)
{
    if (memberCode.isEmpty() || leavesFolder(memberCode))
        return;
    const QString tag = u'_' + memberCode;
    int tagged = 0;
    QString lastTaggedName;
    for (const QString &name : matchingFiles(folder, mask)) {
        const QString path = joinPath(folder, name);
        if (QFileInfo(path).lastModified() < since || name.contains(tag))
            continue;
        const QString newName = withMemberCode(name, memberCode);
        if (QFile::rename(path, joinPath(folder, newName))) {
            ++tagged;
            lastTaggedName = newName;
        }
    }
    if (tagged == 1)
        QFile::rename(joinPath(folder, lastTaggedName),
                      joinPath(folder, withMemberCode(baseName, memberCode)));
}
