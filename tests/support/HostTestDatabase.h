#pragma once

#include "PostgresTestServer.h"
#include "ScopedAliasFile.h"
#include "TempDir.h"

#include <memory>
#include <QString>

enum class HostEngine
{
    SQLite,
    PostgreSQL
};

// A fresh, empty host database on one engine, reachable through an alias file that VORNIMPORT_ALIASES
// names while the object lives: a SQLite file in a temporary folder, or a new database on the PostgreSQL
// test server (dropped again at the end). For PostgreSQL, call VORN_REQUIRE_POSTGRES() first.
class HostTestDatabase
{
public:
    explicit HostTestDatabase(HostEngine engine, const QString &alias = QStringLiteral("HOSTDB"));
    ~HostTestDatabase();

    HostEngine engine() const { return m_engine; }
    const QString &alias() const { return m_alias; }
    QString aliasFilePath() const { return m_aliasFile->path(); }
    const TempDir &folder() const { return m_folder; }

    // Runs statements separated by ";" outside the system under test; throws on the first failure.
    void exec(const QString &statements);
    // Runs an SQL file of statements separated by ";" (with "--" comments, and no ";" inside values).
    void execScript(const QString &path);
    // Creates the host tables that the system reads (scripts/host-schema.sql).
    void createHostTables();

    HostTestDatabase(const HostTestDatabase &) = delete;
    HostTestDatabase &operator=(const HostTestDatabase &) = delete;

private:
    HostEngine m_engine;
    QString m_alias;
    TempDir m_folder;
    QString m_connectionName; // the setup connection
    QString m_postgresDatabase;
    std::unique_ptr<ScopedAliasFile> m_aliasFile;
};
