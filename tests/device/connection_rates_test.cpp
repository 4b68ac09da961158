// The device search over the offered rates: the usual rate on every port first, then a
// short attempt at each other rate on the ports that opened, the rate remembered with a
// port first on it, and a rate given by the operator alone. Silent ports are
// pseudo-terminals nobody answers on, waited out on the fake clock; the stand-in answers
// at a rate of its own in real time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "port/PortList.h"

#ifndef QUINTAVOLTE_SIM_PATH
#error "the end-to-end tests need the stand-in device program"
#endif

namespace {

using Opened = std::pair<std::string, uint32_t>;  // a port and its rate, as the search opened it

// The remembered port lives in a configuration folder of the test's own.
class ConfigDir {
public:
    ConfigDir()
    {
        char dir[] = "/tmp/qv-rates-XXXXXX";
        path_ = mkdtemp(dir) != nullptr ? dir : "";
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            saved_ = old;
        setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~ConfigDir()
    {
        if (saved_.empty())
            unsetenv("XDG_CONFIG_HOME");
        else
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string &Path() const { return path_; }

private:
    std::string path_, saved_;
};

struct Trace {
    std::vector<Opened> Opens;
    std::vector<uint32_t> At;  // fake time of each open
    uint32_t End = 0;
    ConnectionController::Result Result = ConnectionController::Result::Busy;
};

// Runs the search step by step on the fake clock, noting each port and rate it opens.
Trace Search(cActionManager &m, testutil::FakeClock &clock, const std::vector<std::string> &ports)
{
    Trace t;
    m.Connection.Begin(ports);
    for (int steps = 0; steps < 200000 && t.Result == ConnectionController::Result::Busy; ++steps) {
        t.Result = m.Connection.Step();
        CSerialPort &port = m.Shell.Port;
        if (port.IsOpen()) {
            const Opened now{port.PortPath(), port.BaudRate()};
            if (t.Opens.empty() || t.Opens.back() != now) {
                t.Opens.push_back(now);
                t.At.push_back(clock.Now());
            }
        }
        if (m.Connection.Pause())
            clock.Advance(1);
    }
    t.End = clock.Now();
    return t;
}

std::vector<Opened> OtherRates(const std::string &port, uint32_t first)
{
    std::vector<Opened> out;
    for (uint32_t b : {19200u, 38400u, 57600u, 115200u, 4800u, 2400u, 1200u})
        if (b != first)
            out.push_back({port, b});
    if (first != 9600)
        out.push_back({port, 9600});
    return out;
}

class ConnectionRates : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConsecutiveTimeouts = 0;
        ASSERT_TRUE(a_.Ok() && b_.Ok());
    }
    void TearDown() override
    {
        manager_.Connection.Abandon();
        ConsecutiveTimeouts = 0;
    }
    ConfigDir config_;
    testutil::PtyDevice a_, b_;  // silent ports
    cActionManager manager_;
};

TEST_F(ConnectionRates, UsualRateOnEveryPortFirstThenTheOthersOnlyWhereAPortOpened)
{
    const std::string a = a_.SlavePath(), b = b_.SlavePath();
    struct Case {
        const char *Name;
        uint32_t Fixed;          // --baud
        uint32_t RememberedOnB;  // the rate kept with port b, 0: none
        std::vector<Opened> Expected;
    };
    std::vector<Opened> plain{{a, 9600}, {b, 9600}}, remembered{{a, 9600}, {b, 19200}};
    for (const Opened &o : OtherRates(a, 9600))
        plain.push_back(o), remembered.push_back(o);
    for (const Opened &o : OtherRates(b, 9600))
        plain.push_back(o);
    for (const Opened &o : OtherRates(b, 19200))
        remembered.push_back(o);
    const Case cases[] = {
        {"no rate known", 0, 0, plain},
        {"a rate remembered with port b", 0, 19200, remembered},
        {"a rate given: no other tried", 38400, 19200, {{a, 38400}, {b, 38400}}},
    };
    testutil::FakeClock clock(GetTickCount32());  // one clock: time never goes back between searches
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        ConsecutiveTimeouts = 0;  // each search as the first of its run
        std::filesystem::remove(RememberedPortFile());
        if (c.RememberedOnB != 0) {
            ASSERT_TRUE(RememberPort(b, c.RememberedOnB));
        }
        manager_.LineBaud = c.Fixed;
        clock.Advance(5000);  // whatever the search before waited for is over
        const Trace t = Search(manager_, clock, {"/nonexistent/qv-port", a, b});
        EXPECT_EQ(t.Result, ConnectionController::Result::NotFound);
        EXPECT_EQ(t.Opens, c.Expected);
        EXPECT_FALSE(manager_.Shell.Port.IsOpen());
        // Both ports opened, the missing one is told as such, and each port once.
        ASSERT_EQ(manager_.Connection.TriedPorts.size(), 3u);
        EXPECT_FALSE(manager_.Connection.TriedPorts[0].OpenError.empty());
        EXPECT_EQ(manager_.Connection.TriedPorts[1].Result(), PortOutcome::Kind::NoAnswer);
        if (t.Opens.size() < 3)
            continue;
        // The first pass over a silent port costs what it did at a single rate (three
        // attempts and two quiet waits, about 2.2 s); the other rates less than a second
        // more per port, whatever the order.
        EXPECT_LE(t.At[1] - t.At[0], 2200u);
        const uint32_t secondOnA = t.At[2];
        const size_t firstOnB = 2 + OtherRates(a, 9600).size();
        ASSERT_LT(firstOnB, t.At.size());
        EXPECT_LT(t.At[firstOnB] - secondOnA, 1000u);
        EXPECT_LT(t.End - t.At[firstOnB], 1000u);
    }
}

// A device switched to 19200 is found by the second pass, remembered with its rate, and
// tried at that rate first the next time.
TEST_F(ConnectionRates, ADeviceAtAnotherRateIsFoundAndItsRateTriedFirstNextTime)
{
    const std::string link = config_.Path() + "/device";
    testutil::ChildProcess sim;
    ASSERT_TRUE(sim.Start({QUINTAVOLTE_SIM_PATH, "--baud", "19200", "--link", link}));
    ASSERT_FALSE(sim.FirstLine().empty()) << sim.Stderr();
    std::vector<Opened> tried;
    manager_.Connection.OnTryPort = [&](const std::string &path) { tried.push_back({path, 0}); };

    ASSERT_TRUE(manager_.Connection.Connect({link})) << sim.Stderr();
    EXPECT_EQ(manager_.Shell.Port.BaudRate(), 19200u);
    EXPECT_EQ(tried.size(), 2u) << "9600, then 19200 at once";
    EXPECT_EQ(manager_.Connection.LastDeviceBaud(), 19200u);
    // The exchanges after the search are timed for the new rate.
    EXPECT_EQ(manager_.Shell.FrameGapUs(), 1823u);
    ModbusAction *type = manager_.Variable(MString(u"DeviceType"));
    EXPECT_EQ(type->TimeoutMs, 500u) << "the short attempt's reply time does not stay";
    manager_.Connection.RememberOpenPort();
    EXPECT_EQ(RememberedBaud(), 19200u);

    manager_.Connection.Abandon();
    tried.clear();
    ASSERT_TRUE(manager_.Connection.Connect({link})) << sim.Stderr();
    EXPECT_EQ(tried.size(), 1u) << "the remembered rate first";
    EXPECT_EQ(manager_.Shell.Port.BaudRate(), 19200u);
}

}  // namespace
