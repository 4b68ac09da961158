#include "core/MicroClock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<TickSource> g_source{nullptr};
std::atomic<SleepSink> g_sleep{nullptr};

uint32_t RealTicks()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

uint32_t GetTickCount32()
{
    TickSource s = g_source.load(std::memory_order_acquire);
    return s ? s() : RealTicks();
}

uint64_t GetTickCountUs()
{
    TickSource s = g_source.load(std::memory_order_acquire);
    if (s)
        return static_cast<uint64_t>(s()) * 1000u;
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(uint32_t ms)
{
    SleepSink s = g_sleep.load(std::memory_order_acquire);
    if (s)
        s(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SetTickSource(TickSource source)
{
    g_source.store(source, std::memory_order_release);
}
void SetSleepSink(SleepSink sink)
{
    g_sleep.store(sink, std::memory_order_release);
}
