// The test's clock: time stands still until the test moves it, and SleepMs moves it too,
// so the engine's blocking loops run through at once. Replaces the tick source and the
// sleep for its lifetime.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/MicroClock.h"

namespace testkit {

class FakeClock {
public:
    explicit FakeClock(uint32_t start = 100000)
    {
        now_.store(start);
        step_.store(1);
        SetTickSource(&Ticks);
        SetSleepSink(&Sleep);
    }
    ~FakeClock()
    {
        SetTickSource(nullptr);
        SetSleepSink(nullptr);
    }
    FakeClock(const FakeClock &) = delete;
    FakeClock &operator=(const FakeClock &) = delete;

    void Set(uint32_t t) { now_.store(t); }
    void Advance(uint32_t ms) { now_.fetch_add(ms); }
    // How far SleepMs(1) moves the clock.
    void SetSleepStep(uint32_t ms) { step_.store(ms); }
    uint32_t Now() const { return now_.load(); }

private:
    static uint32_t Ticks() { return now_.load(); }
    static void Sleep(uint32_t ms) { now_.fetch_add(ms * step_.load()); }
    static inline std::atomic<uint32_t> now_{0};
    static inline std::atomic<uint32_t> step_{1};
};

}  // namespace testkit
