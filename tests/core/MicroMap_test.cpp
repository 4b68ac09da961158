#include "core/MicroMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/ObjectFactory.h"

namespace {

TEST(MicroMapTest, KeepsUniqueKeysInUnsignedOrder)
{
    MicroMap<uint32_t, int> map;
    const uint32_t keys[] = {0x00FE0003u, 0xFFFF0001u, 5u, 0x80000000u, 0u};
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(map.Insert(keys[i], i));
    EXPECT_FALSE(map.Insert(5u, 99));  // present: refused, value kept
    ASSERT_EQ(map.Count(), 5);
    const uint32_t sorted[] = {0u, 5u, 0x00FE0003u, 0x80000000u, 0xFFFF0001u};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(map.KeyAt(i), sorted[i]) << i;
    EXPECT_EQ(map.ValueAt(map.Find(5u)), 2);
    EXPECT_EQ(map.Find(6u), -1);
    EXPECT_EQ(map.FindInsertPos(6u), 2);
    EXPECT_EQ(map.FindInsertPos(5u), -1);
    EXPECT_EQ(map.FindInsertPos(0xFFFFFFFFu), 5);
}

TEST(MicroMapTest, OutOfRangeAccessIsHarmless)
{
    MicroMap<uint16_t, std::string> map;
    EXPECT_EQ(map.ValueAt(0), "");
    map.Insert(7, "seven");
    EXPECT_EQ(map.ValueAt(-1), "");
    EXPECT_EQ(map.ValueAt(1), "");
    map.RemoveAt(3);
    map.RemoveAt(-1);
    EXPECT_EQ(map.Count(), 1);
    map.RemoveAt(0);
    EXPECT_EQ(map.Count(), 0);
    EXPECT_EQ(map.Find(7), -1);
}

TEST(ObjectFactoryTest, OwnsItsObjectsInInsertionOrder)
{
    uObjectFactoryT<std::string> list;
    *list.Add() = "a";
    *list.Add() = "b";
    *list.Add() = "c";
    list.RemoveAt(1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(*list.At(0), "a");
    EXPECT_EQ(*list.At(1), "c");
    EXPECT_EQ(list.At(2), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    list.RemoveAt(5);
    EXPECT_EQ(list.Count(), 2);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
