#include "port/ByteRing.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

namespace {

std::vector<uint8_t> Pattern(size_t n, unsigned start = 0)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((start + i) % 251);
    return v;
}

std::vector<uint8_t> TakeAll(ByteRing &ring)
{
    std::vector<uint8_t> v(ring.Count());
    EXPECT_EQ(ring.Take(v.data(), v.size()), v.size());
    return v;
}

struct PutCase {
    size_t held;
    size_t n;
    size_t stored;
};

TEST(ByteRing, PutWithoutOverwriteStoresWhatFits)
{
    const PutCase cases[] = {
        {0, 10, 10}, {59995, 10, 5}, {60000, 1, 0}, {0, 70000, 60000},  // more than a 16-bit count can say
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "held " << c.held << ", put " << c.n);
        auto ring = std::make_unique<ByteRing>();
        std::vector<uint8_t> first = Pattern(c.held);
        ASSERT_EQ(ring->Put(first.data(), first.size(), false), c.held);
        std::vector<uint8_t> more = Pattern(c.n, 7);
        EXPECT_EQ(ring->Put(more.data(), more.size(), false), c.stored);
        EXPECT_EQ(ring->Count(), c.held + c.stored);
        // The bytes that fit follow the old ones; the rest are gone.
        std::vector<uint8_t> expect = first;
        expect.insert(expect.end(), more.begin(), more.begin() + c.stored);
        EXPECT_EQ(TakeAll(*ring), expect);
    }
}

TEST(ByteRing, OverwriteReplacesTheOldestBytes)
{
    auto ring = std::make_unique<ByteRing>();
    std::vector<uint8_t> full = Pattern(ByteRing::kSize);
    ASSERT_EQ(ring->Put(full.data(), full.size(), true), full.size());
    const uint8_t extra[] = {0xA1, 0xA2, 0xA3};
    EXPECT_EQ(ring->Put(extra, 3, true), 3u);
    EXPECT_EQ(ring->Count(), ByteRing::kSize);

    std::vector<uint8_t> expect(full.begin() + 3, full.end());
    expect.insert(expect.end(), extra, extra + 3);
    EXPECT_EQ(TakeAll(*ring), expect);
}

TEST(ByteRing, UngetGivesBackTheLastBytesTakenInOrder)
{
    auto ring = std::make_unique<ByteRing>();
    std::vector<uint8_t> data = Pattern(100);
    ring->Put(data.data(), data.size(), false);
    uint8_t buf[30];
    ASSERT_EQ(ring->Take(buf, 30), 30u);
    ring->Unget(10);
    EXPECT_EQ(ring->Count(), 80u);
    EXPECT_EQ(TakeAll(*ring), std::vector<uint8_t>(data.begin() + 20, data.end()));
}

TEST(ByteRing, UngetIsLimitedToTheFreeSpace)
{
    auto ring = std::make_unique<ByteRing>();
    std::vector<uint8_t> data = Pattern(ByteRing::kSize);
    ring->Put(data.data(), data.size(), false);
    uint8_t buf[4];
    ring->Take(buf, 4);
    ring->Unget(100);  // only 4 places are free: more would hand back nothing real
    EXPECT_EQ(ring->Count(), ByteRing::kSize);
    EXPECT_EQ(TakeAll(*ring), data);
}

TEST(ByteRing, IndicesWrapFrom59999ToZero)
{
    auto ring = std::make_unique<ByteRing>();
    std::vector<uint8_t> fill = Pattern(59999);
    std::vector<uint8_t> sink(59999);
    ring->Put(fill.data(), fill.size(), false);
    ring->Take(sink.data(), sink.size());
    ASSERT_EQ(ring->ReadIndex(), 59999);
    ASSERT_EQ(ring->WriteIndex(), 59999);

    const uint8_t bytes[] = {1, 2, 3};
    ring->Put(bytes, 3, false);
    EXPECT_EQ(ring->WriteIndex(), 2);
    uint8_t out[3];
    ASSERT_EQ(ring->Take(out, 3), 3u);
    EXPECT_EQ(ring->ReadIndex(), 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), std::vector<uint8_t>(bytes, bytes + 3));

    ring->Unget(3);  // steps back across the wrap
    EXPECT_EQ(ring->ReadIndex(), 59999);
    uint8_t again[3];
    ASSERT_EQ(ring->Take(again, 3), 3u);
    EXPECT_EQ(std::vector<uint8_t>(again, again + 3), std::vector<uint8_t>(bytes, bytes + 3));
}

TEST(ByteRing, PeekLeavesBytesAndClearEmpties)
{
    auto ring = std::make_unique<ByteRing>();
    const uint8_t bytes[] = {9, 8, 7, 6};
    ring->Put(bytes, 4, false);
    uint8_t out[8];
    EXPECT_EQ(ring->Peek(out, 8), 4u);
    EXPECT_EQ(ring->Count(), 4u);
    ring->Clear();
    EXPECT_EQ(ring->Count(), 0u);
    EXPECT_EQ(ring->ReadIndex(), 0);
    EXPECT_EQ(ring->WriteIndex(), 0);
    EXPECT_EQ(ring->Take(out, 8), 0u);
}

}  // namespace
