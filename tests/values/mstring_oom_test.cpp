// MString when memory runs out: an allocation refused on purpose (this program's own
// operator new) leaves the string empty and throws nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "values/MString.h"

namespace {
std::atomic<bool> g_refuse{false};
}  // namespace

void *operator new(std::size_t n)
{
    if (g_refuse.load())
        throw std::bad_alloc();
    if (void *p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

// Refuses every allocation while it lives.
struct NoMemory {
    NoMemory() { g_refuse.store(true); }
    ~NoMemory() { g_refuse.store(false); }
};

TEST(MStringOutOfMemory, BuildingAStringLeavesItEmptyWithoutThrowing)
{
    const std::u16string longText(200, u'x');  // past any small-string buffer
    const MString source(longText.c_str());
    const std::string longAnsi(200, 'y');
    ASSERT_EQ(source.Length(), 200u);
    {
        NoMemory refuse;
        EXPECT_NO_THROW({
            MString fromWide(longText.c_str());
            MString fromAnsi(longAnsi.c_str());
            MString copy(source);
            MString appended(u"ab");
            appended.Append(source);
            MString real = MString::FromReal(123456.789, 10, 5);
            g_refuse.store(false);
            EXPECT_EQ(fromWide.Length(), 0u);
            EXPECT_EQ(fromAnsi.Length(), 0u);
            EXPECT_EQ(real.Length(), 0u);
            EXPECT_EQ(copy.Length(), 0u);
            EXPECT_EQ(appended.Length(), 0u);
            g_refuse.store(true);
        });
    }
    // Memory back: the same steps work again.
    MString copy(source);
    EXPECT_EQ(copy.Length(), 200u);
    EXPECT_EQ(MString::FromReal(1.5, 10, 5).Length(), 3u);
}

}  // namespace
