#include "port/SerialPort.h"

#include <gtest/gtest.h>
#include <linux/serial.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/MicroClock.h"
#include "port/PortList.h"
#include "port/PtyPair.h"
#include "port/SerialPortProbe.h"
#include "testkit/FakeClock.h"

namespace {

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

void Queue(CSerialPort &port, const std::vector<uint8_t> &bytes)
{
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        ASSERT_EQ(SerialPortProbe::Tx(port).Put(bytes.data(), bytes.size(), false), bytes.size());
    }
    port.Wake();
}

// The line as the transfer thread sees it, with a script for what writes accept.
// Touched only under the port's Lock (the thread calls it inside a pass).
struct FakeLine {
    std::vector<std::vector<uint8_t>> offered;  // each write call's bytes
    std::vector<size_t> accepted;               // and how many it took
    std::vector<long> replies;                  // reply of call i; past the end: all
    long afterScript = -1;                      // -1: accept all once the script is done

    static long Write(void *context, int, const uint8_t *buf, size_t n)
    {
        auto *self = static_cast<FakeLine *>(context);
        size_t call = self->offered.size();
        long r = call < self->replies.size() ? self->replies[call]
                                             : (self->afterScript < 0 ? static_cast<long>(n) : self->afterScript);
        self->offered.emplace_back(buf, buf + n);
        self->accepted.push_back(r > 0 ? std::min(static_cast<size_t>(r), n) : 0);
        return r;
    }
    static long Read(void *, int, uint8_t *, size_t) { return 0; }

    std::vector<uint8_t> Sent() const
    {
        std::vector<uint8_t> all;
        for (size_t i = 0; i < offered.size(); ++i)
            all.insert(all.end(), offered[i].begin(), offered[i].begin() + accepted[i]);
        return all;
    }
    SerialTransport Transport() { return SerialTransport{Read, Write, this}; }
};

class SerialPortTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }
    void TearDown() override { SetExplicitPorts({}); }

    // Sent bytes so far, read under the port's lock.
    std::vector<uint8_t> SentSoFar(CSerialPort &port)
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        return line.Sent();
    }

    PtyPair pty;
    FakeLine line;
};

TEST_F(SerialPortTest, OpenOfAMissingPortFailsAndLeavesThePortClosed)
{
    std::filesystem::path plainFile =
        std::filesystem::temp_directory_path() / ("qv_port_not_a_tty_" + std::to_string(getpid()));
    std::ofstream(plainFile) << "x";
    SetExplicitPorts({"/nonexistent/ttyQV0", plainFile.string(), pty.SlavePath()});

    CSerialPort port;
    struct Case {
        int n;
        const char *reason;
    } cases[] = {{1, "No such file or directory"},
                 {2, "not a terminal"},
                 {4, "no such port"},
                 {0, "no such port"},
                 {-3, "no such port"}};
    for (const Case &c : cases) {
        const int n = c.n;
        SCOPED_TRACE(n);
        EXPECT_FALSE(port.Open(n));
        EXPECT_EQ(port.LastError(), c.reason);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Handle(), 0);
        EXPECT_EQ(port.PortPath(), "");
        EXPECT_FALSE(port.Close());
    }
    std::filesystem::remove(plainFile);
}

TEST_F(SerialPortTest, OpenWhileOpenClosesTheFirstEvenWhenTheNewOpenFails)
{
    SetExplicitPorts({pty.SlavePath(), "/nonexistent/ttyQV0"});
    CSerialPort port;
    ASSERT_TRUE(port.Open(1));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.PortPath(), pty.SlavePath());
    EXPECT_NE(port.Handle(), 0);

    EXPECT_FALSE(port.Open(2));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Handle(), 0);
    EXPECT_EQ(port.PortPath(), "");

    CSerialPort other;  // the device really was let go
    EXPECT_TRUE(other.Open(1));
}

TEST_F(SerialPortTest, AnOpenPortIsNotShared)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort first, second;
    ASSERT_TRUE(first.Open(1));
    EXPECT_EQ(first.LastError(), "");
    EXPECT_FALSE(second.Open(1));
    EXPECT_EQ(second.LastError(), "in use by another program");
    EXPECT_EQ(second.PortPath(), "");
    EXPECT_TRUE(first.Close());
    EXPECT_FALSE(first.Close());
    EXPECT_TRUE(second.Open(1));
}

TEST_F(SerialPortTest, QueuedBytesLeaveInChunksOfAtMost64)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    port.SetTransport(line.Transport());
    ASSERT_TRUE(port.Open(1));
    std::vector<uint8_t> frame = Pattern(150);
    Queue(port, frame);

    ASSERT_TRUE(WaitUntil([&] { return SentSoFar(port).size() == frame.size(); }));
    CAutoLock lock(SerialPortProbe::Lock(port));
    ASSERT_EQ(line.offered.size(), 3u);
    EXPECT_EQ(line.offered[0].size(), 64u);
    EXPECT_EQ(line.offered[1].size(), 64u);
    EXPECT_EQ(line.offered[2].size(), 22u);
    EXPECT_EQ(line.Sent(), frame);
    EXPECT_EQ(SerialPortProbe::Tx(port).Count(), 0u);
}

TEST_F(SerialPortTest, AShortWriteLeavesTheRestAtTheFrontInOrder)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    line.replies = {10};
    line.afterScript = 0;  // then the line takes nothing until released
    port.SetTransport(line.Transport());
    ASSERT_TRUE(port.Open(1));
    std::vector<uint8_t> frame = Pattern(150);
    Queue(port, frame);

    ASSERT_TRUE(WaitUntil([&] {
        CAutoLock lock(SerialPortProbe::Lock(port));
        return line.offered.size() >= 3;  // the short write and two refused retries
    }));
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        EXPECT_EQ(line.offered[0], std::vector<uint8_t>(frame.begin(), frame.begin() + 64));
        EXPECT_EQ(line.offered[1], std::vector<uint8_t>(frame.begin() + 10, frame.begin() + 74));
        ASSERT_EQ(SerialPortProbe::Tx(port).Count(), 140u);
        std::vector<uint8_t> waiting(140);
        SerialPortProbe::Tx(port).Peek(waiting.data(), waiting.size());
        EXPECT_EQ(waiting, std::vector<uint8_t>(frame.begin() + 10, frame.end()));
        line.afterScript = -1;
    }
    ASSERT_TRUE(WaitUntil([&] { return SentSoFar(port).size() == frame.size(); }));
    EXPECT_EQ(SentSoFar(port), frame);
}

TEST_F(SerialPortTest, SetParamsOnAClosedPortOnlyStoresTheSettings)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    EXPECT_TRUE(port.SetParams(9600, 8, 0, 0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.BaudRate(), 9600u);

    EXPECT_TRUE(port.SetParams(19200, 7, 2, 1));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.BaudRate(), 19200u);
    EXPECT_EQ(port.ByteSize(), 7);
    EXPECT_EQ(port.StopBits(), 2);
    EXPECT_EQ(port.Parity(), 1);

    EXPECT_TRUE(port.SetParams(19200, 8, 2, 0));
    ASSERT_TRUE(port.Open(1));  // the stored settings apply to the next open
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
}

// A pseudo-terminal keeps speed and stop bits but only 8 data bits without parity;
// the termios form of the other settings is checked in LineSettings_test.
struct ParamCase {
    uint32_t baud;
    uint8_t stopBits;
    bool reopened;
    speed_t speed;
    bool twoStops;
};

TEST_F(SerialPortTest, SetParamsOnAnOpenPortReopensItWithTheNewSettings)
{
    const ParamCase cases[] = {
        {9600, 0, false, B9600, false},  // nothing differs: rings kept
        {19200, 0, true, B19200, false},
        {9600, 2, true, B9600, true},
        {115200, 2, true, B115200, true},
    };
    SetExplicitPorts({"/nonexistent/ttyQV0", pty.SlavePath()});
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.baud << " stop code " << int(c.stopBits));
        CSerialPort port;
        line.afterScript = 0;  // keep queued bytes in the ring
        port.SetTransport(line.Transport());
        ASSERT_TRUE(port.Open(2));
        {
            CAutoLock lock(SerialPortProbe::Lock(port));
            const uint8_t bytes[] = {1, 2, 3, 4, 5};
            SerialPortProbe::Rx(port).Put(bytes, 5, false);
            SerialPortProbe::Tx(port).Put(bytes, 5, false);
        }
        EXPECT_TRUE(port.SetParams(c.baud, 8, c.stopBits, 0));
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(port.PortPath(), pty.SlavePath());
        {
            CAutoLock lock(SerialPortProbe::Lock(port));
            EXPECT_EQ(SerialPortProbe::Rx(port).Count(), c.reopened ? 0u : 5u);
            EXPECT_EQ(SerialPortProbe::Tx(port).Count(), c.reopened ? 0u : 5u);
        }
        termios t = pty.SlaveSettings();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        EXPECT_TRUE((t.c_cflag & CLOCAL) && (t.c_cflag & CREAD));
    }
}

// A hot-plug renumbers the ports: a reopen for new settings must find the device it had,
// not whatever now stands at its old place in the list.
TEST_F(SerialPortTest, ReopenKeepsThePathAfterThePortListChanged)
{
    PtyPair other;
    ASSERT_TRUE(other.Ok());
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    ASSERT_TRUE(port.Open(1));
    SetExplicitPorts({other.SlavePath(), pty.SlavePath()});
    ASSERT_TRUE(port.SetParams(19200, 8, 0, 0));
    EXPECT_EQ(port.PortPath(), pty.SlavePath());
    termios t = pty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    termios untouched = other.SlaveSettings();
    EXPECT_NE(cfgetospeed(&untouched), speed_t(B19200));
}

TEST_F(SerialPortTest, SettingsThePortCannotHaveCloseIt)
{
    SetExplicitPorts({pty.SlavePath()});
    // Unknown codes, and settings the driver quietly drops (a pseudo-terminal has no parity
    // and no 7-bit bytes).
    const struct {
        uint32_t baud;
        uint8_t size, stop, parity;
    } bad[] = {{12345, 8, 0, 0}, {9600, 9, 0, 0}, {9600, 8, 1, 0}, {9600, 8, 0, 5}, {9600, 7, 0, 0}, {9600, 8, 0, 2}};
    for (const auto &b : bad) {
        SCOPED_TRACE(testing::Message() << b.baud << " " << int(b.size) << " " << int(b.stop) << " " << int(b.parity));
        CSerialPort port;
        ASSERT_TRUE(port.Open(1));
        EXPECT_FALSE(port.SetParams(b.baud, b.size, b.stop, b.parity));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.PortPath(), "");
        EXPECT_FALSE(port.Open(1));  // still refused with the stored settings
    }
}

TEST_F(SerialPortTest, BytesRoundTripThroughTheLineUnchanged)
{
    SetExplicitPorts({pty.SlavePath()});
    testkit::FakeClock clock(1000);
    CSerialPort port;
    ASSERT_TRUE(port.Open(1));
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        EXPECT_EQ(port.LastRxTick(), 1000u);
    }

    // Every byte value, control characters included, must pass a raw line untouched.
    std::vector<uint8_t> in(300);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i);
    clock.Set(7000);
    ASSERT_TRUE(pty.Write(in));
    ASSERT_TRUE(WaitUntil([&] {
        CAutoLock lock(SerialPortProbe::Lock(port));
        return SerialPortProbe::Rx(port).Count() >= in.size();
    }));
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        std::vector<uint8_t> got(SerialPortProbe::Rx(port).Count());
        SerialPortProbe::Rx(port).Take(got.data(), got.size());
        EXPECT_EQ(got, in);
        EXPECT_EQ(port.LastRxTick(), 7000u);
    }

    std::vector<uint8_t> out(in.rbegin(), in.rend());
    Queue(port, out);
    EXPECT_EQ(pty.Read(out.size()), out);
}

TEST_F(SerialPortTest, ReopeningWhileBytesArriveKeepsWorking)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    std::atomic<bool> stop{false};
    ASSERT_TRUE(port.Open(1));
    std::thread farEnd([&] {
        std::vector<uint8_t> burst(32, 0x55);
        while (!stop.load()) {
            pty.Write(burst);  // fails harmlessly while the slave is closed
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(port.SetParams(i % 2 ? 19200 : 9600, 8, 0, 0)) << "reopen " << i;
        ASSERT_TRUE(port.IsOpen());
    }
    EXPECT_TRUE(WaitUntil([&] {
        CAutoLock lock(SerialPortProbe::Lock(port));
        return SerialPortProbe::Rx(port).Count() > 0;
    }));
    stop = true;
    farEnd.join();
}

TEST_F(SerialPortTest, AHungUpLineNeitherBlocksClosingNorDestruction)
{
    SetExplicitPorts({pty.SlavePath()});
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(port->Open(1));
    Queue(*port, Pattern(200));
    pty.CloseMaster();  // the far end goes away with bytes still queued
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(port->IsOpen());
    EXPECT_TRUE(port->Close());
    port.reset();
}

}  // namespace

namespace {
// Logs what the thread does to the line, in order: "rts+", "rts-", "write N", "drain".
struct DirectionLine {
    std::vector<std::string> events;  // under the port's Lock
    static long Read(void *, int, uint8_t *, size_t) { return 0; }
    static long Write(void *c, int, const uint8_t *, size_t n)
    {
        static_cast<DirectionLine *>(c)->events.push_back("write " + std::to_string(n));
        return static_cast<long>(n);
    }
    static bool SetRts(void *c, int, bool high)
    {
        static_cast<DirectionLine *>(c)->events.push_back(high ? "rts+" : "rts-");
        return true;
    }
    static void Drain(void *c, int) { static_cast<DirectionLine *>(c)->events.push_back("drain"); }
};
}  // namespace

// A pseudo-terminal has no RS-485 mode: RTS is raised before a frame and dropped only once
// its last byte has left the line.
TEST_F(SerialPortTest, WithoutTheDriversRs485ModeRtsFramesEachTransmission)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    DirectionLine line;
    port.SetTransport({DirectionLine::Read, DirectionLine::Write, &line, DirectionLine::SetRts, DirectionLine::Drain});
    port.SetRtsDirection(true);
    ASSERT_TRUE(port.Open(1));
    EXPECT_TRUE(port.TogglesRts());
    for (size_t n : {size_t{100}, size_t{8}}) {
        const std::vector<uint8_t> frame = Pattern(n);
        ASSERT_TRUE(port.Transmit(frame.data(), frame.size()));
        ASSERT_TRUE(WaitUntil([&] {
            CAutoLock lock(SerialPortProbe::Lock(port));
            return !line.events.empty() && line.events.back() == "rts-" && SerialPortProbe::Tx(port).Count() == 0;
        }));
    }
    CAutoLock lock(SerialPortProbe::Lock(port));
    EXPECT_EQ(line.events, (std::vector<std::string>{"rts-", "rts+", "write 64", "write 36", "drain", "rts-", "rts+",
                                                     "write 8", "drain", "rts-"}));
}

namespace {
// A driver with an RS-485 mode: its flags, and what the thread does to RTS (nothing, here).
struct Rs485Driver {
    uint32_t flags = SER_RS485_RTS_AFTER_SEND | 0x100;  // as another program left them
    std::vector<uint32_t> setTo;
    int rtsCalls = 0;
    static long Read(void *, int, uint8_t *, size_t) { return 0; }
    static long Write(void *, int, const uint8_t *, size_t n) { return static_cast<long>(n); }
    static bool SetRts(void *c, int, bool)
    {
        ++static_cast<Rs485Driver *>(c)->rtsCalls;
        return true;
    }
    static bool Flags(void *c, int, bool set, uint32_t *flags)
    {
        auto *self = static_cast<Rs485Driver *>(c);
        if (set) {
            self->flags = *flags;
            self->setTo.push_back(*flags);
        } else {
            *flags = self->flags;
        }
        return true;
    }
};
}  // namespace

// Where the driver has an RS-485 mode it switches the direction itself; the mode outlives
// the descriptor, so the port puts the flags back as they were when it closes.
TEST_F(SerialPortTest, TheDriversRs485ModeIsTakenAndPutBackAtClose)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    Rs485Driver driver;
    port.SetTransport(
        {Rs485Driver::Read, Rs485Driver::Write, &driver, Rs485Driver::SetRts, nullptr, Rs485Driver::Flags});
    port.SetRtsDirection(true);
    ASSERT_TRUE(port.Open(1));
    EXPECT_TRUE(port.InDriverRs485Mode());
    EXPECT_FALSE(port.TogglesRts());
    const std::vector<uint8_t> frame = Pattern(8);
    ASSERT_TRUE(port.Transmit(frame.data(), frame.size()));
    ASSERT_TRUE(WaitUntil([&] {
        CAutoLock lock(SerialPortProbe::Lock(port));
        return SerialPortProbe::Tx(port).Count() == 0;
    }));
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        ASSERT_EQ(driver.setTo.size(), 1u);
        EXPECT_EQ(driver.setTo[0], SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | 0x100u);
        EXPECT_EQ(driver.rtsCalls, 0);  // the driver's own timing, not the thread's
    }
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.InDriverRs485Mode());
    {
        CAutoLock lock(SerialPortProbe::Lock(port));
        ASSERT_EQ(driver.setTo.size(), 2u);
        EXPECT_EQ(driver.flags, SER_RS485_RTS_AFTER_SEND | 0x100u);
    }

    // Without direction control the driver's mode is left as it is.
    port.SetRtsDirection(false);
    ASSERT_TRUE(port.Open(1));
    EXPECT_FALSE(port.InDriverRs485Mode());
    EXPECT_TRUE(port.Close());
    CAutoLock lock(SerialPortProbe::Lock(port));
    EXPECT_EQ(driver.setTo.size(), 2u);
}

// A pseudo-terminal has neither the RS-485 mode nor modem lines: the port falls back to
// toggling RTS, which the line refuses, and the exchange goes on all the same.
TEST_F(SerialPortTest, WithDirectionControlOnAPseudoTerminalTheExchangeStillWorks)
{
    SetExplicitPorts({pty.SlavePath()});
    CSerialPort port;
    port.SetRtsDirection(true);
    ASSERT_TRUE(port.Open(1));
    EXPECT_TRUE(port.TogglesRts());
    EXPECT_FALSE(port.InDriverRs485Mode());
    for (int round = 0; round < 2; ++round) {
        const std::vector<uint8_t> request = Pattern(8);
        ASSERT_TRUE(port.Transmit(request.data(), request.size()));
        EXPECT_EQ(pty.Read(request.size()), request) << "round " << round;
        const std::vector<uint8_t> reply = Pattern(9);
        ASSERT_TRUE(pty.Write(reply));
        ASSERT_TRUE(WaitUntil([&] { return port.RxCount() == reply.size(); })) << "round " << round;
        std::vector<uint8_t> got(reply.size());
        ASSERT_EQ(port.TakeReceived(got.data(), got.size()), reply.size());
        EXPECT_EQ(got, reply);
    }
    EXPECT_TRUE(port.Close());
}
