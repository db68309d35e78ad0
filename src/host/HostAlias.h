#pragma once

#include <QString>

// Where a host database alias leads: one section of the alias file "aliases.ini".
//   [DEMO]
//   Driver=SQLITE       ; SQLITE, POSTGRESQL or ODBC
//   Database=host.db    ; SQLite file (relative to the alias file), PostgreSQL database or ODBC source
//   Host=127.0.0.1      ; optional
//   Port=5432           ; optional
// Host and Port are optional. A ";" at the start of a value or after a blank begins a comment that
// runs to the end of the line; a ";" inside a value (an ODBC text) stays.
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
