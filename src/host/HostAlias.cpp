#include "host/HostAlias.h"

#include "common/Exception.h"
#include "common/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString HostAliasFilePath()
{
    const QString named = qEnvironmentVariable("VORNIMPORT_ALIASES");
    if (!named.isEmpty())
        return named;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("aliases.ini"));
}

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

    const QString driver = file.readString(resolved.name, QStringLiteral("Driver"), QString()).toUpper();
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

    resolved.database = file.readString(resolved.name, QStringLiteral("Database"), QString());
    if (resolved.database.isEmpty())
        throw EDatabaseError(QStringLiteral("Alias %1 in %2 names no Database").arg(resolved.name, filePath));
    if (resolved.driver == HostAlias::Driver::SQLite)
        resolved.database = QFileInfo(filePath).absoluteDir().absoluteFilePath(resolved.database);
    resolved.host = file.readString(resolved.name, QStringLiteral("Host"), QString());
    const QString port = file.readString(resolved.name, QStringLiteral("Port"), QString());
    if (!port.isEmpty()) {
        bool valid = false;
        resolved.port = port.toInt(&valid);
        if (!valid || resolved.port <= 0 || resolved.port > 65535)
            throw EDatabaseError(QStringLiteral("Alias %1 in %2 has the invalid Port \"%3\"")
                                     .arg(resolved.name, filePath, port));
    }
    return resolved;
}
