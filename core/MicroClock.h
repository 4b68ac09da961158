// The process's millisecond clock: a 32-bit tick count that wraps, plus a sleep.
// Both are injectable so that tests can drive time one tick at a time.
#pragma once
#include <cstdint>

using TickSource = uint32_t (*)();
using SleepSink = void (*)(uint32_t ms);

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t GetTickCount32();
// Microseconds of the same clock, for timing shorter than a tick (a frame's silence on a
// fast line). Under a replaced tick source it is that source's milliseconds times 1000,
// so tests that step the milliseconds step this too.
uint64_t GetTickCountUs();
// Pauses the calling thread (or advances a fake clock in tests).
void SleepMs(uint32_t ms);

// Replace the clock and/or the sleep; null restores the real one.
void SetTickSource(TickSource source);
void SetSleepSink(SleepSink sink);

// "a is later than b" across the wrap of the counter.
inline int32_t TickDiff(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b);
}
