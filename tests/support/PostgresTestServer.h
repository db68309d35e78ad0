#pragma once

#include <optional>
#include <QString>

// The PostgreSQL server that scripts/test starts, as told by VORN_TEST_PG_HOST, VORN_TEST_PG_PORT,
// VORN_TEST_PG_USER and VORN_TEST_PG_DATABASE, and the ODBC data source that scripts/test registers for
// it, as told by VORN_TEST_ODBC_DSN.
struct PostgresTestServer
{
    QString host;
    int port = 0;
    QString user;
    QString database;       // an existing database to connect to for administration
    QString odbcDataSource; // empty when no ODBC data source is registered

    // The server named by the environment, or nothing when a variable is missing.
    static std::optional<PostgresTestServer> fromEnvironment();
    // VORN_TEST_REQUIRE_SERVERS=1: a missing server fails the test instead of skipping it.
    static bool required();
};

// In a test body or SetUp: skips the test when no PostgreSQL server is configured, or fails it when
// servers are required.
#define VORN_REQUIRE_POSTGRES()                                                                              \
    do {                                                                                                     \
        if (!PostgresTestServer::fromEnvironment()) {                                                        \
            if (PostgresTestServer::required())                                                              \
                FAIL()                                                                                       \
                    << "VORN_TEST_REQUIRE_SERVERS=1 but VORN_TEST_PG_HOST/PORT/USER/DATABASE are not set";   \
            GTEST_SKIP() << "no PostgreSQL test server (VORN_TEST_PG_* not set)";                            \
        }                                                                                                    \
    } while (false)

// Likewise for the ODBC data source of the PostgreSQL test server.
#define VORN_REQUIRE_POSTGRES_ODBC()                                                                         \
    do {                                                                                                     \
        VORN_REQUIRE_POSTGRES();                                                                             \
        if (PostgresTestServer::fromEnvironment()->odbcDataSource.isEmpty()) {                               \
            if (PostgresTestServer::required())                                                              \
                FAIL() << "VORN_TEST_REQUIRE_SERVERS=1 but VORN_TEST_ODBC_DSN is not set";                   \
            GTEST_SKIP() << "no ODBC data source for the PostgreSQL test server (VORN_TEST_ODBC_DSN)";       \
        }                                                                                                    \
    } while (false)
