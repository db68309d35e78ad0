#pragma once

#include "PostgresTestServer.h"
#include "ScopedAliasFile.h"
#include "TempDir.h"

#include <memory>
#include <ostream>
#include <QString>
#include <string>

// How a test reaches its host database: a SQLite file, the PostgreSQL test server through Qt's PostgreSQL
// driver, or the same server through unixODBC and its PostgreSQL ODBC driver.
enum class HostEngine
{
    SQLite,
    PostgreSQL,
    ODBC
};

// "SQLite", "PostgreSQL" or "ODBC": for test names.
std::string hostEngineName(HostEngine engine);
void PrintTo(HostEngine engine, std::ostream *os);

// In a test body or SetUp: skips or fails the test when the engine's server is not there (see
// VORN_REQUIRE_POSTGRES).
#define VORN_REQUIRE_HOST_ENGINE(engine)                                                                     \
    do {                                                                                                     \
        if ((engine) == HostEngine::PostgreSQL)                                                              \
            VORN_REQUIRE_POSTGRES();                                                                         \
        if ((engine) == HostEngine::ODBC)                                                                    \
            VORN_REQUIRE_POSTGRES_ODBC();                                                                    \
    } while (false)

// A fresh, empty host database on one engine, reachable through an alias file that VORNIMPORT_ALIASES
// names while the object lives: a SQLite file in a temporary folder, or a new database on the PostgreSQL
// test server (dropped again at the end). Call VORN_REQUIRE_HOST_ENGINE first.
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
