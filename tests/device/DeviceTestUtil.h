// Shared fixtures of the device tests: a fake clock, a message recorder, a pseudo-terminal
// that plays the device, and frame helpers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/MicroClock.h"
#include "core/MicroModbus.h"
#include "core/Notify.h"
#include "values/MString.h"

namespace testutil {

// Time stands still until the test moves it; SleepMs moves it too, so blocking loops
// run through at once.
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

// Collects the texts of the message boxes shown while it lives.
class MessageRecorder {
public:
    MessageRecorder()
    {
        previous_ = SetMessageHook([this](std::u16string_view text) { texts.emplace_back(text); });
    }
    ~MessageRecorder() { SetMessageHook(previous_); }
    std::vector<std::u16string> texts;

private:
    MessageHook previous_;
};

inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame)
{
    const uint16_t crc = MbCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The master side of a pseudo-terminal; the program opens the slave as its port.
class PtyDevice {
public:
    PtyDevice()
    {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0)
            path_ = ptsname(fd_);
    }
    ~PtyDevice()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    const std::string &Path() const { return path_; }

    // Bytes the program sent, waiting (in real time, bounded) until `count` have come.
    std::vector<uint8_t> Receive(size_t count, int timeoutMs = 2000)
    {
        std::vector<uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buf[256];
            const ssize_t r = read(fd_, buf, sizeof buf);
            if (r > 0)
                bytes.insert(bytes.end(), buf, buf + r);
        }
        return bytes;
    }
    // Everything that arrives within a short while (to check that nothing was sent).
    std::vector<uint8_t> Drain(int ms = 100) { return Receive(SIZE_MAX, ms); }

    void Send(const std::vector<uint8_t> &bytes) { (void)!write(fd_, bytes.data(), bytes.size()); }

private:
    int fd_ = -1;
    std::string path_;
};

// Waits (real time, bounded) until the predicate holds; false on time-out.
template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs = 2000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::u16string U16(const MString &s) { return std::u16string(s.View()); }

}  // namespace testutil
