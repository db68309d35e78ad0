#pragma once

#include <QString>

// Where a host database alias leads: one section of the alias file "aliases.ini".
//   [DEMO]
//   Driver=SQLITE
//   Database=host.sqlite
//   Host=127.0.0.1
//   Port=5432
// Driver is SQLITE, POSTGRESQL or ODBC; Database the SQLite file (relative to the alias file), the
// PostgreSQL database or the ODBC data source; Host and Port are optional. A value runs to the end of its
// line: the file has no trailing comments.
struct HostAlias
{
    enum class Driver
    {
        SQLite,
        PostgreSQL,
        Odbc
    };

    QString name; // as looked up, in upper case
    Driver driver = Driver::SQLite;
    QString database;
    QString host;
    int port = -1; // -1: the driver's default
};

// The alias file in use: the file named by VORNIMPORT_ALIASES, else "aliases.ini" beside the executable.
QString HostAliasFilePath();

// Resolves an alias through the alias file; section names are matched without regard to case.
// Throws EDatabaseError naming the alias and the file when the file or the alias is missing or invalid.
HostAlias ResolveHostAlias(const QString &alias);
