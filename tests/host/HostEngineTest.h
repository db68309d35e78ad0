#pragma once

#include "HostTestDatabase.h"

#include <gtest/gtest.h>
#include <memory>

// A test run once on SQLite and once on PostgreSQL, each time against a fresh host database with the
// host tables, reachable under the alias HOSTDB.
class HostEngineTest : public testing::TestWithParam<HostEngine>
{
protected:
    void SetUp() override
    {
        if (GetParam() == HostEngine::PostgreSQL)
            VORN_REQUIRE_POSTGRES();
        database = std::make_unique<HostTestDatabase>(GetParam());
        database->createHostTables();
    }

    std::unique_ptr<HostTestDatabase> database;
};

inline std::string hostEngineName(const testing::TestParamInfo<HostEngine> &info)
{
    return info.param == HostEngine::SQLite ? "SQLite" : "PostgreSQL";
}

#define VORN_ON_BOTH_ENGINES(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite, testing::Values(HostEngine::SQLite, HostEngine::PostgreSQL),    \
                             hostEngineName)
