// The bridge's device loop against the real stand-in, with a recording broker link: what is
// published and when, which writes reach the device, a lost device and a new connection.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <regex>
#include <sstream>

#include "bridge/MqttBridge.h"
#include "bridge/BridgeTestUtil.h"
#include "core/MicroClock.h"
#include "device/DeviceTestUtil.h"
#include "port/PortList.h"
#include "testkit/Pty.h"

namespace {

using testutil::FakeLink;

constexpr char kBase[] = "quintavolte/8a3c1f07004122331234abcd/";

std::string Topic(const std::string &sub)
{
    return kBase + sub;
}

// A clock that the test can move on at once, and that every sleep also moves on.
testutil::FakeClock *g_clock = nullptr;
void SleepAndAdvance(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    g_clock->Advance(ms);
}

class BridgeWithDevice : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_.Start(simArgs_)) << sim_.Stderr();
        SetExplicitPorts({sim_.Path()});
    }
    void TearDown() override { SetExplicitPorts({}); }

    void StartBridge(const std::vector<std::string> &args)
    {
        std::vector<std::string> all{"--broker", "broker.invalid", "--interval", "100"};
        all.insert(all.end(), args.begin(), args.end());
        BridgeOptions options;
        std::string error;
        ASSERT_TRUE(ParseBridgeOptions(all, &options, &error)) << error;
        bridge_ = std::make_unique<MqttBridge>(
            manager_, options,
            [this](const MqttLinkSettings &s) {
                links_.push_back(std::make_unique<FakeLink>(s));
                link_ = links_.back().get();
                return std::make_unique<testutil::ForwardLink>(link_);
            },
            log_);
    }

    // Runs the bridge's loop until the condition holds (bounded).
    bool StepUntil(const std::function<bool()> &done, int timeoutMs = 8000)
    {
        return testutil::WaitUntil(done, timeoutMs, [this] {
            bridge_->Step();
            SleepMs(2);
        });
    }
    bool Published(const std::string &sub, const std::string &payload, int timeoutMs = 8000)
    {
        return StepUntil([&] { return link_ != nullptr && link_->Last(Topic(sub)) == payload; }, timeoutMs);
    }
    std::string WriteLog() const { return testutil::ReadText(dir_.File("writes.log")); }

    testutil::TempDir dir_;
    std::vector<std::string> simArgs_{"--log", dir_.File("writes.log")};
    testutil::LinkedSim sim_{dir_.File("tty")};
    cActionManager manager_;
    std::stringstream log_;
    std::unique_ptr<MqttBridge> bridge_;
    std::vector<std::unique_ptr<FakeLink>> links_;  // every link the bridge made
    FakeLink *link_ = nullptr;                      // the latest
};

TEST_F(BridgeWithDevice, PublishesRetainedValueTextsOnChangeAndAllOfThemOnANewConnection)
{
    // Numbers are formatted in the user's locale; the broker gets a decimal point all the same.
    const MString warm(u"x");
    const bool comma = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
    StartBridge({"--names", "DeviceType,485.Init.BaudRate,ChipUID.H1,Reg.ChargeMaxU"});
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.4")) << link_->Last(Topic("Reg.ChargeMaxU")) << log_.str();
    std::setlocale(LC_NUMERIC, "C");
    if (!comma)
        std::cerr << "no ru_RU.UTF-8 locale: the decimal point was checked in the C locale only\n";

    // The link speaks for the device found, with its last will.
    EXPECT_EQ(link_->Settings.ClientId, "quintavolte-8a3c1f07004122331234abcd");
    EXPECT_EQ(link_->Settings.WillTopic, Topic("status"));
    EXPECT_EQ(link_->Settings.WillPayload, "offline");
    EXPECT_EQ(link_->Settings.Subscription, Topic("set/+"));
    EXPECT_EQ(link_->Last(Topic("status")), "online");
    EXPECT_EQ(link_->Last(Topic("info")),
              "{\"type\":\"Quintavolte 1.11\",\"version\":\"1.11\",\"port\":\"" + sim_.Path() + "\"}");
    ASSERT_TRUE(Published("DeviceType", "Quintavolte 1.11"));
    ASSERT_TRUE(Published("485.Init.BaudRate", "9600"));
    ASSERT_TRUE(Published("ChipUID.H1", "2319195911"));
    for (const MqttMessage &m : link_->Published)
        EXPECT_TRUE(m.Retained) << m.Topic;
    EXPECT_EQ(link_->Count(Topic("Adc.U_Accu")), 0u);  // not asked for

    // Many rounds later an unchanged value has gone out once.
    const uint32_t start = GetTickCount32();
    StepUntil([&] { return TickDiff(GetTickCount32(), start) > 1500; }, 3000);
    EXPECT_EQ(link_->Count(Topic("DeviceType")), 1u);
    EXPECT_EQ(link_->Count(Topic("status")), 1u);

    // A new connection (a restarted broker knows nothing): everything again.
    ASSERT_EQ(link_->Count(Topic("stats")), 1u);
    link_->ConnectionCount = 2;
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("status")) == 2; }));
    EXPECT_EQ(link_->Count(Topic("DeviceType")), 2u);
    EXPECT_EQ(link_->Count(Topic("info")), 2u);
    EXPECT_EQ(link_->Count(Topic("stats")), 2u) << "at once, not at the next minute";
    EXPECT_EQ(link_->Last(Topic("485.Init.BaudRate")), "9600");
}

// A client that repeats a refused set floods no log: the first of a second is said at once,
// the rest counted; every line carries the time.
TEST_F(BridgeWithDevice, RefusedSetsAreLoggedOnceASecondWithACount)
{
    StartBridge({"--names", "DeviceType"});
    ASSERT_TRUE(Published("status", "online"));
    for (int i = 0; i < 5; ++i)
        link_->Receive(Topic("set/Reg.ChargeI"), "3");
    link_->Receive(Topic("set/Reg.ChargeMaxU"), "3");
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("result/Reg.ChargeI")) == 5; }));
    EXPECT_EQ(link_->Count(Topic("result/Reg.ChargeMaxU")), 1u) << "every set is answered";
    const auto lines = [&](const std::string &text) {
        int n = 0;
        const std::string log = log_.str();
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(lines("refused a set of Reg.ChargeI: not writable"), 1) << log_.str();
    EXPECT_EQ(lines("refused a set of Reg.ChargeMaxU: not writable"), 1) << log_.str();
    ASSERT_TRUE(StepUntil([&] { return lines("(4 refused sets of Reg.ChargeI since the last line)") == 1; }, 3000))
        << log_.str();
    EXPECT_EQ(lines("refused a set of Reg.ChargeI: not writable"), 2) << log_.str();
    EXPECT_EQ(lines("Reg.ChargeMaxU"), 1) << "nothing held back, nothing more to say\n" << log_.str();

    std::istringstream log(log_.str());
    for (std::string line; std::getline(log, line);)
        EXPECT_TRUE(std::regex_match(
            line, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3}[+-][0-9]{2}:[0-9]{2} "
                             "quintavolte-cli: mqtt: .*")))
            << line;
}

// Another device on the same port: the one that left is "offline" under its own id, not
// looked for for ever.
TEST_F(BridgeWithDevice, ADeviceSwappedOnThePortLeavesTheOldOneOffline)
{
    StartBridge({"--names", "DeviceType"});
    ASSERT_TRUE(Published("status", "online"));
    FakeLink *first = link_;
    sim_.Stop();
    testutil::FakeClock clock(GetTickCount32());
    g_clock = &clock;
    SetSleepSink(&SleepAndAdvance);
    ASSERT_TRUE(testutil::WaitUntil([&] { return first->Last(Topic("status")) == "searching"; }, 15000,
                                    [&] {
                                        bridge_->Step();
                                        clock.Advance(50);
                                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                    }))
        << log_.str();
    ASSERT_TRUE(sim_.Start({"--uid", "000000010000000200000003"})) << sim_.Stderr();
    ASSERT_TRUE(StepUntil(
        [&] { return links_.size() == 2 && link_->Count("quintavolte/000000010000000200000003/status") > 0; }, 15000))
        << log_.str();
    EXPECT_EQ(first->Last(Topic("status")), "offline");
    EXPECT_TRUE(first->Closed);
    EXPECT_EQ(link_->Last("quintavolte/000000010000000200000003/status"), "online");
}

TEST_F(BridgeWithDevice, AnUnchangedValueIsSentAgainAfterAMinute)
{
    // The clock moves with the real one while the device answers, then jumps.
    testutil::FakeClock clock(GetTickCount32());  // the tasks are already due by the real one
    g_clock = &clock;
    SetSleepSink(&SleepAndAdvance);
    auto step = [&] {
        bridge_->Step();
        SleepMs(2);
    };
    StartBridge({"--names", "DeviceType,485.Init.BaudRate"});
    auto once = [&] {
        return link_ && link_->Count(Topic("485.Init.BaudRate")) == 1 && link_->Count(Topic("DeviceType")) == 1;
    };
    ASSERT_TRUE(testutil::WaitUntil(once, 8000, step)) << log_.str();
    clock.Advance(MqttBridge::kRepublishMs - 1500);
    testutil::WaitUntil([] { return false; }, 300, step);
    EXPECT_EQ(link_->Count(Topic("DeviceType")), 1u);
    clock.Advance(2000);
    ASSERT_TRUE(testutil::WaitUntil([&] { return link_->Count(Topic("DeviceType")) == 2; }, 3000, step));
    EXPECT_EQ(link_->Count(Topic("485.Init.BaudRate")), 2u);
    EXPECT_EQ(link_->Last(Topic("DeviceType")), "Quintavolte 1.11");
    EXPECT_EQ(link_->Count(Topic("status")), 1u);  // the status is not repeated
}

TEST_F(BridgeWithDevice, SavesAfterTheQuietTimeAndThenNotAgainForTenMinutesOnTheBridgesOwnClock)
{
    testutil::FakeClock clock(GetTickCount32());
    g_clock = &clock;
    SetSleepSink(&SleepAndAdvance);
    StartBridge({"--names", "DeviceType", "--writable", "Reg.ChargeMaxU"});
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.4")) << log_.str();
    auto saves = [&] {
        const std::string log = WriteLog();
        size_t n = 0;
        for (size_t at = log.find(" SaveConfigToRomNow 131 1"); at != std::string::npos;
             at = log.find(" SaveConfigToRomNow 131 1", at + 1))
            ++n;
        return n;
    };
    // Steps for a while of the bridge's time, the clock moved on by `ms` at once first.
    auto after = [&](uint32_t ms) {
        clock.Advance(ms);
        StepUntil([] { return false; }, 300);
    };

    link_->Receive(Topic("set/Reg.ChargeMaxU"), "14.2");
    ASSERT_TRUE(Published("result/Reg.ChargeMaxU", "ok")) << log_.str();
    after(3000);
    EXPECT_EQ(saves(), 0u) << "not before the quiet time";
    after(2500);
    ASSERT_TRUE(Published("result/SaveConfigToRomNow", "saved")) << log_.str();
    EXPECT_EQ(saves(), 1u);

    // Another write soon after: saved only when ten minutes have passed since the first save.
    link_->Receive(Topic("set/Reg.ChargeMaxU"), "14.3");
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("result/Reg.ChargeMaxU")) == 2; }));
    EXPECT_EQ(link_->Last(Topic("result/Reg.ChargeMaxU")), "ok");
    for (int minute = 0; minute < 8; ++minute)
        after(60000);
    EXPECT_EQ(saves(), 1u) << WriteLog();
    after(2 * 60000);
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("result/SaveConfigToRomNow")) == 2; })) << log_.str();
    EXPECT_EQ(saves(), 2u) << WriteLog();

    // Saved: the end does not ask again.
    bridge_->Shutdown();
    EXPECT_EQ(saves(), 2u) << WriteLog();
}

TEST_F(BridgeWithDevice, TheSearchForASilentDeviceNeverHoldsTheLoop)
{
    sim_.Stop();
    ASSERT_TRUE(sim_.Start({"--silent"})) << sim_.Stderr();
    // Time moves only when the test says so: a turn that waited for the device would move it.
    testutil::FakeClock clock(GetTickCount32());
    StartBridge({});
    const std::string gaveUp = "no Quintavolte device answered on " + sim_.Path();
    int turns = 0;
    for (; turns < 2000 && log_.str().find(gaveUp) == std::string::npos; ++turns) {
        const uint32_t before = clock.Now();
        bridge_->Step();
        ASSERT_EQ(clock.Now(), before) << "turn " << turns;
        clock.Advance(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Three reads of the type text, each given up after its 500 ms, took many turns.
    EXPECT_NE(log_.str().find(gaveUp), std::string::npos) << log_.str();
    EXPECT_GE(turns, 150);
    EXPECT_EQ(bridge_->CurrentPhase(), MqttBridge::Phase::Searching);
    EXPECT_EQ(link_, nullptr);  // no device, no id: nothing to publish under
}

TEST_F(BridgeWithDevice, WritesOnlyAllowedNamesAndAnswersEverySet)
{
    StartBridge({"--names", "Reg.ChargeI", "--writable", "Reg.ChargeMaxU,Reg.bForceLoadOff", "--ha-discovery"});
    ASSERT_TRUE(Published("status", "online"));
    // The writable names are offered as controls of the device.
    const std::string node = "quintavolte_8a3c1f07004122331234abcd/";
    EXPECT_EQ(link_->Count("homeassistant/number/" + node + "Reg_ChargeMaxU/config"), 1u);
    EXPECT_EQ(link_->Count("homeassistant/switch/" + node + "Reg_bForceLoadOff/config"), 1u);
    const std::string config = link_->Last("homeassistant/switch/" + node + "Reg_bForceLoadOff/config");
    EXPECT_NE(config.find("\"model\":\"Quintavolte 1.11\""), std::string::npos) << config;
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.4"));  // a writable name is published too
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("Reg.ChargeI")) > 0; }));
    const std::string chargeI = link_->Last(Topic("Reg.ChargeI"));

    struct Case {
        std::string Name;
        std::string Payload;
        bool Retained;
        std::string Result;
    };
    const Case cases[] = {
        {"Reg.ChargeMaxU", " 14.2\n", false, "ok"},
        {"Reg.ChargeI", "3", false, "refused: Reg.ChargeI is not writable"},
        {"Adc.U_Accu", "3", false, "refused: Adc.U_Accu is not writable"},
        {"Nope", "3", false, "refused: Nope is not writable"},
        {"Reg.ChargeMaxU", "abc", false, "refused: \"abc\" is not a number (allowed: 0..100)"},
        {"Reg.bForceLoadOff", "70000", false, "refused: \"70000\" is out of range (allowed: 0 or 1)"},
        {"Reg.bForceLoadOff", "2", false, "refused: \"2\" is out of range (allowed: 0 or 1)"},
        {"Reg.ChargeMaxU", "14.1", true, "refused: a retained set is not carried out"},
        {"Reg.ChargeMaxU", "75", false, "failed: the device refused the value"},  // above its 60 V
        {"Reg.bForceLoadOff", "1", false, "ok"},
    };
    for (const Case &c : cases) {
        const size_t before = link_->Count(Topic("result/" + c.Name));
        link_->Receive(Topic("set/" + c.Name), c.Payload, c.Retained);
        ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("result/" + c.Name)) > before; }))
            << c.Name << " " << c.Payload;
        EXPECT_EQ(link_->Last(Topic("result/" + c.Name)), c.Result) << c.Name << " " << c.Payload;
    }
    // Neither a set sent from the broker's store nor an empty one (which clears a kept set)
    // is carried out or answered; one too long is refused unread.
    const size_t flagResults = link_->Count(Topic("result/Reg.bForceLoadOff"));
    link_->Receive(Topic("set/Reg.bForceLoadOff"), "0", false, true);
    link_->Receive(Topic("set/Reg.bForceLoadOff"), "", true);
    link_->Receive(Topic("set/Reg.ChargeMaxU"), "14." + std::string(62, '1'));
    ASSERT_TRUE(Published("result/Reg.ChargeMaxU", "refused: too long"));
    EXPECT_EQ(link_->Count(Topic("result/Reg.bForceLoadOff")), flagResults);

    // The device's own value comes back after a write.
    EXPECT_TRUE(Published("Reg.ChargeMaxU", "14.2"));
    EXPECT_TRUE(Published("Reg.bForceLoadOff", "1"));
    // Only the two accepted writes reached the device.
    const std::string log = WriteLog();
    EXPECT_NE(log.find(" Reg.ChargeMaxU 2002 14.2"), std::string::npos) << log;
    EXPECT_NE(log.find(" Reg.bForceLoadOff 2013 1"), std::string::npos) << log;
    EXPECT_EQ(log.find(" Reg.bForceLoadOff 2013 0"), std::string::npos) << log;
    EXPECT_EQ(log.find(" Reg.bForceLoadOff 2013 2"), std::string::npos) << log;
    EXPECT_EQ(log.find("Reg.ChargeI "), std::string::npos) << log;
    EXPECT_EQ(log.find("14.1"), std::string::npos) << log;
    EXPECT_EQ(log.find(" 75"), std::string::npos) << log;
    EXPECT_EQ(link_->Last(Topic("Reg.ChargeI")), chargeI);
    EXPECT_NE(log_.str().find("refused a set of Reg.ChargeI: not writable"), std::string::npos) << log_.str();

    // At the end the device is asked to keep what was written, and the status goes offline.
    bridge_->Shutdown();
    EXPECT_NE(WriteLog().find(" SaveConfigToRomNow 131 1"), std::string::npos) << WriteLog();
    EXPECT_EQ(link_->Last(Topic("status")), "offline");
    EXPECT_TRUE(link_->Closed);
}

TEST_F(BridgeWithDevice, ALostDeviceIsSearchedForAndComesBackWithFreshValuesOnly)
{
    StartBridge({"--names", "Adc.U_Accu", "--writable", "Reg.bForceLoadOff,Reg.ChargeMaxU"});
    ASSERT_TRUE(Published("status", "online"));
    link_->Receive(Topic("set/Reg.ChargeMaxU"), "14.2");
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.2")) << log_.str();
    EXPECT_EQ(manager_.Stats().Reconnections, 0u);
    sim_.Stop();
    // Eleven timeouts in a row end the link; the bridge goes on looking. They pass on the
    // test's clock, 50 ms a turn; from then on the clock keeps pace with the loop's sleeps.
    testutil::FakeClock clock(GetTickCount32());
    g_clock = &clock;
    SetSleepSink(&SleepAndAdvance);
    ASSERT_TRUE(testutil::WaitUntil([&] { return link_->Last(Topic("status")) == "searching"; }, 15000,
                                    [&] {
                                        bridge_->Step();
                                        clock.Advance(50);
                                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                    }))
        << log_.str();
    EXPECT_EQ(bridge_->CurrentPhase(), MqttBridge::Phase::Searching);
    link_->Receive(Topic("set/Reg.bForceLoadOff"), "1");
    ASSERT_TRUE(Published("result/Reg.bForceLoadOff", "failed: the device is offline"));
    // A broker that restarts meanwhile hears that the device is away.
    link_->ConnectionCount = 2;
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("status")) == 3; }));
    EXPECT_EQ(link_->Last(Topic("status")), "searching");
    const size_t away = link_->Published.size();

    // A fresh stand-in holds the default set-point again: what was read before the loss
    // must not come back as current.
    ASSERT_TRUE(sim_.Start(simArgs_)) << sim_.Stderr();
    ASSERT_TRUE(Published("status", "online", 15000)) << log_.str();
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.4")) << log_.str();
    for (size_t i = away; i < link_->Published.size(); ++i)
        EXPECT_NE(link_->Published[i].Payload, "14.2") << link_->Published[i].Topic;
    EXPECT_EQ(links_.size(), 1u);  // the same device: the same link
    EXPECT_EQ(link_->Count(Topic("status")), 4u);
    EXPECT_EQ(manager_.Stats().Reconnections, 1u);  // counted as the window and the cli count it
    EXPECT_EQ(WriteLog().find("Reg.bForceLoadOff"), std::string::npos);
}

// Sits on the line between the bridge and the stand-in and damages the last byte of the
// reply to the next write once armed: the reply is still ours by its head, but its check fails.
class DamagingLine {
public:
    DamagingLine(const std::string &device, const std::string &link) : link_(link)
    {
        if (!pty_.HoldSlave())
            return;
        master_ = pty_.MasterFd();
        device_ = open(device.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(device_, &t);
        cfmakeraw(&t);
        tcsetattr(device_, TCSANOW, &t);
        if (symlink(pty_.SlavePath().c_str(), link.c_str()) != 0 || device_ < 0)
            return;
        thread_ = std::thread([this] { Relay(); });
    }
    ~DamagingLine()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (device_ >= 0)
            close(device_);
        unlink(link_.c_str());
    }
    bool Ready() const { return thread_.joinable(); }
    void ArmForNextWrite() { armed_ = true; }
    int Damaged() const { return damaged_; }

private:
    void Relay()
    {
        size_t requestBytes = 0;
        size_t replyBytes = 0;
        bool writeSent = false;
        while (!stop_) {
            pollfd p[2] = {{master_, POLLIN, 0}, {device_, POLLIN, 0}};
            if (poll(p, 2, 20) <= 0)
                continue;
            uint8_t buf[256];
            if (p[0].revents & POLLIN) {
                const ssize_t n = read(master_, buf, sizeof buf);
                for (ssize_t i = 0; i < n; ++i, ++requestBytes)
                    if (requestBytes == 1 && (buf[i] == 6 || buf[i] == 16)) {
                        writeSent = armed_;
                        replyBytes = 0;
                    }
                if (n > 0 && write(device_, buf, size_t(n)) != n)
                    return;
            }
            if (p[1].revents & POLLIN) {
                const ssize_t n = read(device_, buf, sizeof buf);
                // A write's acknowledgement is 8 bytes, however the device cuts it into
                // pieces: its last CRC byte is damaged.
                for (ssize_t i = 0; i < n && writeSent; ++i, ++replyBytes) {
                    if (replyBytes == 7) {
                        buf[i] ^= 0x5A;
                        writeSent = false;
                        armed_ = false;
                        ++damaged_;
                    }
                }
                if (n > 0)
                    requestBytes = 0;
                if (n > 0 && write(master_, buf, size_t(n)) != n)
                    return;
            }
        }
    }

    std::string link_;
    testkit::Pty pty_;
    int master_ = -1, device_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false}, armed_{false};
    std::atomic<int> damaged_{0};
};

TEST_F(BridgeWithDevice, AWriteWhoseReplyWasDamagedIsUnknownAtOnceAndReadBack)
{
    DamagingLine line(sim_.Path(), dir_.File("damaging"));
    ASSERT_TRUE(line.Ready());
    SetExplicitPorts({dir_.File("damaging")});
    // The bridge's clock moves only with the test's steps, so its bound on the answer is
    // the bridge's own time, however busy the machine.
    testutil::FakeClock clock(GetTickCount32());
    g_clock = &clock;
    SetSleepSink(&SleepAndAdvance);
    StartBridge({"--names", "DeviceType", "--writable", "Reg.ChargeMaxU"});
    ASSERT_TRUE(Published("Reg.ChargeMaxU", "14.4")) << log_.str();

    line.ArmForNextWrite();
    const uint32_t setAt = clock.Now();
    link_->Receive(Topic("set/Reg.ChargeMaxU"), "14.2");
    ASSERT_TRUE(StepUntil([&] { return link_->Count(Topic("result/Reg.ChargeMaxU")) > 0; })) << log_.str();
    EXPECT_EQ(line.Damaged(), 1);
    EXPECT_EQ(link_->Last(Topic("result/Reg.ChargeMaxU")), "unknown: the reply was damaged");
    EXPECT_LT(clock.Now() - setAt, 1000u);  // not the write's 3 s limit
    // The device did store it, and the read that follows says so.
    EXPECT_TRUE(Published("Reg.ChargeMaxU", "14.2")) << log_.str();
    EXPECT_NE(WriteLog().find(" Reg.ChargeMaxU 2002 14.2"), std::string::npos) << WriteLog();
    bridge_->Shutdown();  // while the line is there
}

}  // namespace
