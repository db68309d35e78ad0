#include "PostgresTestServer.h"

std::optional<PostgresTestServer> PostgresTestServer::fromEnvironment()
{
    PostgresTestServer server;
    server.host = qEnvironmentVariable("VORN_TEST_PG_HOST");
    server.port = qEnvironmentVariable("VORN_TEST_PG_PORT").toInt();
    server.user = qEnvironmentVariable("VORN_TEST_PG_USER");
    server.database = qEnvironmentVariable("VORN_TEST_PG_DATABASE");
    server.odbcDataSource = qEnvironmentVariable("VORN_TEST_ODBC_DSN");
    if (server.host.isEmpty() || server.port <= 0 || server.user.isEmpty() || server.database.isEmpty())
        return std::nullopt;
    return server;
}

bool PostgresTestServer::required()
{
    return qEnvironmentVariable("VORN_TEST_REQUIRE_SERVERS") == QLatin1String("1");
}
