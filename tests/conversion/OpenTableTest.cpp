#include "conversion/OpenTable.h"

#include <gtest/gtest.h>

namespace {

// Keys that all hash alike, and keys that spread: both must find every value.
struct Key
{
    quint32 number = 0;
    bool clash = false;
    bool operator==(const Key &) const = default;
    size_t hash() const { return clash ? 7 : size_t(number) * 2654435761u; }
};

TEST(OpenTableTest, FindsEveryValueThroughGrowthAndCollisions)
{
    for (const bool clash : {false, true}) {
        const quint32 count = clash ? 2000 : 100000;
        OpenTable<Key, quint32, 64> table;
        for (quint32 i = 0; i < count; ++i) {
            ASSERT_EQ(table.find({i * 3, clash}), nullptr);
            table.insert({i * 3, clash}) = i;
        }
        EXPECT_EQ(table.size(), count);
        for (quint32 i = 0; i < count; ++i) {
            table.prefetch({i * 3, clash});
            const quint32 *value = table.find({i * 3, clash});
            ASSERT_NE(value, nullptr) << i;
            ASSERT_EQ(*value, i);
            ASSERT_EQ(table.find({i * 3 + 1, clash}), nullptr);
        }
    }
}

} // namespace
