#pragma once

#include "HostTestDatabase.h"

#include <gtest/gtest.h>
#include <memory>

// A test run on SQLite, on PostgreSQL and on PostgreSQL through ODBC, each time against a fresh host
// database with the host tables, reachable under the alias HOSTDB.
class HostEngineTest : public testing::TestWithParam<HostEngine>
{
protected:
    void SetUp() override
    {
        VORN_REQUIRE_HOST_ENGINE(GetParam());
        database = std::make_unique<HostTestDatabase>(GetParam());
        database->createHostTables();
    }

    std::unique_ptr<HostTestDatabase> database;
};

inline std::string hostEngineTestName(const testing::TestParamInfo<HostEngine> &info)
{
    return hostEngineName(info.param);
}

#define VORN_ON_EVERY_ENGINE(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                                 \
                             testing::Values(HostEngine::SQLite, HostEngine::PostgreSQL, HostEngine::ODBC),  \
                             hostEngineTestName)
