// A bounded wait on a condition, for every test that waits for something to happen.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testkit {

// Calls step (or sleeps a millisecond) until done() holds or timeoutMs of real time pass;
// returns done(). The bound is generous: it only limits how long a failing test hangs.
template <class Cond> bool WaitUntil(Cond done, int timeoutMs = 5000, const std::function<void()> &step = {})
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        if (step)
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testkit
