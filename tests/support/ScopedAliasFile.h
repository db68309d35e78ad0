#pragma once

#include <QByteArray>
#include <QString>

struct PostgresTestServer;

// Writes an alias file and points VORNIMPORT_ALIASES at it for the lifetime of the object.
class ScopedAliasFile
{
public:
    ScopedAliasFile(const QString &path, const QByteArray &contents);
    ~ScopedAliasFile();

    const QString &path() const { return m_path; }

    // One alias section for a SQLite database file.
    static QByteArray sqliteSection(const QString &alias, const QString &databasePath);
    // One alias section for a database on a PostgreSQL server.
    static QByteArray postgresSection(const QString &alias, const PostgresTestServer &server,
                                      const QString &database);
    // One alias section for a database on the PostgreSQL server, reached through the server's ODBC data
    // source with the database named in the connection string.
    static QByteArray odbcSection(const QString &alias, const PostgresTestServer &server,
                                  const QString &database);

    ScopedAliasFile(const ScopedAliasFile &) = delete;
    ScopedAliasFile &operator=(const ScopedAliasFile &) = delete;

private:
    QString m_path;
    QByteArray m_previous;
    bool m_hadPrevious;
};
