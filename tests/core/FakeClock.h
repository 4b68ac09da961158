// Test clock: replaces the tick source for the lifetime of the object.
#pragma once
#include <cstdint>

#include "core/MicroClock.h"

class FakeClock {
public:
  explicit FakeClock(uint32_t start = 1000)
  {
    now = start;
    SetTickSource([] { return now; });
  }
  ~FakeClock() { SetTickSource(nullptr); }
  FakeClock(const FakeClock &) = delete;
  FakeClock &operator=(const FakeClock &) = delete;

  void Set(uint32_t t) { now = t; }
  void Advance(uint32_t ms) { now += ms; }
  uint32_t Now() const { return now; }

private:
  static inline uint32_t now = 0;
};
