#include "host/HostAlias.h"

#include "common/Exception.h"
#include "common/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QString HostAliasFilePath()
{
    const QString named = qEnvironmentVariable("VORNIMPORT_ALIASES");
    if (!named.isEmpty())
        return named;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("aliases.ini"));
}

namespace {

// A value of the alias file without its comment: a ";" at the start or after a blank begins one, as
// in "Driver=SQLITE   ; SQLITE, POSTGRESQL or ODBC". A ";" inside a value (an ODBC connection text)
// stays. A value in quotes loses them, as it does without a comment.
QString aliasValue(const IniFile &file, const QString &section, const QString &key)
{
    static const QRegularExpression comment(QStringLiteral("(^|\\s);.*$"));
    QString value = file.readString(section, key, QString()).remove(comment).trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

} // namespace

HostAlias ResolveHostAlias(const QString &alias)
{
    const QString filePath = HostAliasFilePath();
    HostAlias resolved;
    resolved.name = alias.toUpper();
    if (!QFileInfo(filePath).isFile())
        throw EDatabaseError(QStringLiteral("Alias %1 cannot be resolved: the alias file %2 does not exist")
                                 .arg(resolved.name, filePath));
    const IniFile file(filePath);
    if (!file.sectionExists(resolved.name))
        throw EDatabaseError(QStringLiteral("Alias %1 is not defined in %2").arg(resolved.name, filePath));

    const QString driver = aliasValue(file, resolved.name, QStringLiteral("Driver")).toUpper();
    if (driver == QLatin1String("SQLITE"))
        resolved.driver = HostAlias::Driver::SQLite;
    else if (driver == QLatin1String("POSTGRESQL"))
        resolved.driver = HostAlias::Driver::PostgreSQL;
    else if (driver == QLatin1String("ODBC"))
        resolved.driver = HostAlias::Driver::Odbc;
    else
        throw EDatabaseError(
            QStringLiteral("Alias %1 in %2 has the unknown Driver \"%3\" (SQLITE, POSTGRESQL or ODBC)")
                .arg(resolved.name, filePath, driver));

    resolved.database = aliasValue(file, resolved.name, QStringLiteral("Database"));
    if (resolved.database.isEmpty())
        throw EDatabaseError(QStringLiteral("Alias %1 in %2 names no Database").arg(resolved.name, filePath));
    if (resolved.driver == HostAlias::Driver::SQLite)
        resolved.database = QFileInfo(filePath).absoluteDir().absoluteFilePath(resolved.database);
    resolved.host = aliasValue(file, resolved.name, QStringLiteral("Host"));
    const QString port = aliasValue(file, resolved.name, QStringLiteral("Port"));
    if (!port.isEmpty()) {
        bool valid = false;
        resolved.port = port.toInt(&valid);
        if (!valid || resolved.port <= 0 || resolved.port > 65535)
            throw EDatabaseError(QStringLiteral("Alias %1 in %2 has the invalid Port \"%3\"")
                                     .arg(resolved.name, filePath, port));
    }
    return resolved;
}
