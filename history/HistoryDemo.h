// A made-up history of a small solar installation (a sunny and a cloudy day, a load in the
// evening), for pictures of the history page, its tests and the benchmark.
#pragma once

#include <cstdint>

#include "history/HistoryStore.h"

// Adds one sample every intervalS from `from` to `to` (UTC seconds) for the device, in
// transactions of a few thousand samples. False when the store fails.
bool FillDemoHistory(HistoryStore &store, int64_t device, int64_t from, int64_t to, int intervalS = 10);
// The made-up values at one time, with the counters as they stand then.
HistorySample DemoSample(int64_t t, double counters[kHistoryCounterCount]);
