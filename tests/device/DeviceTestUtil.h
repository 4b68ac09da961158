// Shared fixtures of the device tests: the fake clock, a message recorder, a pseudo-terminal
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
#include "testkit/FakeClock.h"
#include "testkit/Pty.h"
#include "testkit/Wait.h"
#include "values/MString.h"

namespace testutil {

using testkit::FakeClock;
using testkit::WaitUntil;

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
using PtyDevice = testkit::Pty;

inline std::u16string U16(const MString &s)
{
    return std::u16string(s.View());
}

}  // namespace testutil
