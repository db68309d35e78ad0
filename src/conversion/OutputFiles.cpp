#include "OutputFiles.h"

#include "common/Exception.h"

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The names of the folder's entries that match the mask, with "*" and "?" as the only
// wildcards and with letter case, as the file system compares names.
QStringList matchingFiles(const QString &folder, const QString &mask)
{
    QStringList matching;
    for (const QString &name :
         QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort)) {
        if (MatchesMask(name, mask))
            matching << name;
    }
    return matching;
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
}

bool leavesFolder(const QString &text)
{
    return text.contains(u'/') || text.contains(u'\\') || text.contains(QStringLiteral(".."));
}

bool isSafeMemberCode(const QString &memberCode)
{
    static const QString kRefused = QStringLiteral("*?[]:");
    return !leavesFolder(memberCode) && std::none_of(memberCode.begin(), memberCode.end(), [](QChar c) {
        return isControl(c) || kRefused.contains(c);
    });
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

bool MatchesMask(QStringView name, QStringView mask)
{
    // Greedy matching that returns to the last "*" on a mismatch: linear for masks of one "*".
    qsizetype n = 0, m = 0, starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

void RequireSafeMemberCode(const QString &memberCode)
{
    if (!isSafeMemberCode(memberCode))
        throw EConvertError(QStringLiteral("Invalid member code \"%1\"").arg(memberCode));
}

void RequireSafeFileSuffix(const QString &suffix)
{
    if (leavesFolder(suffix))
        throw EConvertError(QStringLiteral("Invalid file suffix \"%1\"").arg(suffix));
}

QString MemberFilesMask(const QString &prefix, const QString &memberCode)
{
    return memberCode.isEmpty() ? prefix + QStringLiteral("*.txt")
                                : prefix + QStringLiteral("*_") + memberCode + QStringLiteral(".txt");
}

QString memberFileName(const QString &baseName, const QString &memberCode)
{
    RequireSafeMemberCode(memberCode);
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
    if (memberCode.isEmpty() || !isSafeMemberCode(memberCode))
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
